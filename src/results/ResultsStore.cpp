#include "ResultsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "RunFacts.h"
#include "RunId.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace results {

using Cause = base::Failure::Cause;
namespace {

// 2: a measurement may have no value (a figure that could not be measured).
// 3: which runs have reached the line's database (line_uploads).
// 4: the runs the line refused for reasons of their own, set aside (line_refusals).
constexpr int kSchemaVersion = 4;

// A run that has reached the line: when, and the station's clock against the server's then.
#define KZB_LINE_UPLOADS                                                              \
  "CREATE TABLE line_uploads (run_id TEXT PRIMARY KEY REFERENCES runs(id), uploaded " \
  "TEXT NOT NULL, clock_offset_s REAL NOT NULL)"

// A run the line's server refused for a reason of its own (a constraint, its data): set
// aside, with the server's words and when, so that the runs behind it go on.
#define KZB_LINE_REFUSALS                                                            \
  "CREATE TABLE line_refusals (run_id TEXT PRIMARY KEY REFERENCES runs(id), reason " \
  "TEXT NOT NULL, refused TEXT NOT NULL)"

#define KZB_MEASUREMENT_COLUMNS                                                          \
  " (run_id TEXT NOT NULL, check_position INTEGER NOT NULL, position INTEGER NOT NULL, " \
  "name TEXT NOT NULL, value REAL, unit TEXT NOT NULL, low REAL, high REAL, "            \
  "passed INTEGER NOT NULL, PRIMARY KEY (run_id, check_position, position))"

// "CREATE TABLE runs (id TEXT PRIMARY KEY, serial TEXT NOT NULL, …)": a column for each
// fact kept, the run's id its key. A fact kept anew needs a new schema version and the
// upgrade that adds its column.
std::string RunsTable() {
  std::string columns;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    columns += std::string(columns.empty() ? "" : ", ") + fact.column +
               (columns.empty() ? " TEXT PRIMARY KEY"
                : fact.number   ? " REAL NOT NULL"
                                : " TEXT NOT NULL");
  }
  return "CREATE TABLE runs (" + columns + ")";
}

const std::vector<std::string> kSchema = {
    RunsTable(),
    "CREATE TABLE checks (run_id TEXT NOT NULL REFERENCES runs(id), position INTEGER NOT NULL, "
    "name TEXT NOT NULL, passed INTEGER NOT NULL, measured TEXT NOT NULL, limits TEXT NOT NULL, "
    "detail TEXT NOT NULL, PRIMARY KEY (run_id, position))",
    "CREATE TABLE measurements" KZB_MEASUREMENT_COLUMNS,
    "CREATE INDEX runs_by_serial ON runs (serial, started)",
    "CREATE INDEX runs_by_start ON runs (started)",
    KZB_LINE_UPLOADS,
    KZB_LINE_REFUSALS,
};

// A database of schema 1 keeps every run: its measurements move to a table whose value may
// be empty.
const std::vector<std::string> kUpgradeFrom1 = {
    "CREATE TABLE measurements_2" KZB_MEASUREMENT_COLUMNS,
    "INSERT INTO measurements_2 SELECT * FROM measurements",
    "DROP TABLE measurements",
    "ALTER TABLE measurements_2 RENAME TO measurements",
};
// Schema 2 to 3: no run has reached a line yet.
const std::vector<std::string> kUpgradeFrom2 = {KZB_LINE_UPLOADS};
// Schema 3 to 4: the line has refused no run yet.
const std::vector<std::string> kUpgradeFrom3 = {KZB_LINE_REFUSALS};
// The upgrades in order: the first takes schema 1 to 2.
const std::vector<std::string>* const kUpgrades[] = {&kUpgradeFrom1, &kUpgradeFrom2,
                                                     &kUpgradeFrom3};
#undef KZB_MEASUREMENT_COLUMNS
#undef KZB_LINE_UPLOADS
#undef KZB_LINE_REFUSALS

}  // namespace

ResultsStore::ResultsStore(std::string path, std::string connection)
    : path_(std::move(path)), connection_(std::move(connection)) {}

ResultsStore::~ResultsStore() {
  QSqlDatabase::database(ToQt(connection_), false).close();
  QSqlDatabase::removeDatabase(ToQt(connection_));
}

base::Failure ResultsStore::Failed(const SqlWhy& why) const {
  // Qt gives some failures (a full disk among them) without a text; a failure still says so.
  return base::Failure{base::Failure::Kind::ResultsNotStored, path_,
                       why.text.empty() ? "the database refused it without a reason" : why.text,
                       why.cause};
}

void ResultsStore::LoadDriver() {
  const QString probe = "kzb7310-driver";
  QSqlDatabase::addDatabase("QSQLITE", probe);
  QSqlDatabase::removeDatabase(probe);
}

bool IsSinceTime(const std::string& since) {
  const QString text = ToQt(since);
  if (text.size() == 10) return QDate::fromString(text, "yyyy-MM-dd").isValid();
  return text.size() == 20 && QDateTime::fromString(text, "yyyy-MM-ddTHH:mm:ssZ").isValid();
}

namespace {

// The schema version, or why the database cannot say it ("file is not a database").
base::Result<int> SchemaVersion(QSqlDatabase& db) {
  QSqlQuery query(db);
  if (!query.exec("PRAGMA user_version") || !query.next()) {
    const SqlWhy why = SqliteWhy(query.lastError());
    return base::Failure{base::Failure::Kind::ResultsNotStored, {}, why.text, why.cause};
  }
  return query.value(0).toInt();
}

}  // namespace

namespace {

// Runs `body` in one transaction: committed when it gives no reason, rolled back when it
// gives one or the commit fails. Gives why not, or nothing. The write lock is taken at the
// start (another writer is waited for, as the busy timeout says): a transaction that read
// first and wrote after another program's write would fail at once, waiting for nothing.
std::optional<SqlWhy> InTransaction(QSqlDatabase& db,
                                    const std::function<std::optional<SqlWhy>(QSqlQuery&)>& body) {
  QSqlQuery query(db);
  if (!query.exec("BEGIN IMMEDIATE")) return SqliteWhy(query.lastError());
  std::optional<SqlWhy> why = body(query);
  if (!why && !db.commit()) why = SqliteWhy(db.lastError());
  if (why) db.rollback();
  return why;
}

// The statements that take a database from schema `from` (0: a new one) to this program's.
std::vector<std::string> UpgradeFrom(int from) {
  if (from == 0) return kSchema;
  std::vector<std::string> statements;
  for (int version = from; version < kSchemaVersion; ++version) {
    const auto& step = *kUpgrades[version - 1];
    statements.insert(statements.end(), step.begin(), step.end());
  }
  return statements;
}

// Makes the schema of a new database or upgrades an older one, in one transaction; gives
// why not, or nothing. The version is read again under the write lock: two programs that
// open a new database at once make its schema once.
std::optional<SqlWhy> Upgrade(QSqlDatabase& db) {
  return InTransaction(db, [&](QSqlQuery& query) -> std::optional<SqlWhy> {
    if (!query.exec("PRAGMA user_version") || !query.next()) {
      return SqliteWhy(query.lastError());
    }
    const int from = query.value(0).toInt();
    query.finish();
    if (from >= kSchemaVersion) return std::nullopt;  // another program made it meanwhile
    std::vector<std::string> statements = UpgradeFrom(from);
    statements.push_back("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    for (const std::string& statement : statements) {
      if (!query.exec(ToQt(statement))) return SqliteWhy(query.lastError());
    }
    return std::nullopt;
  });
}

}  // namespace

base::Result<std::unique_ptr<ResultsStore>> ResultsStore::Open(const std::string& path) {
  return OpenAs(path, false);
}

base::Result<std::unique_ptr<ResultsStore>> ResultsStore::OpenForReading(const std::string& path) {
  return OpenAs(path, true);
}

base::Result<std::unique_ptr<ResultsStore>> ResultsStore::OpenAs(const std::string& path,
                                                                 bool reading) {
  static std::atomic<int> opened{0};
  std::unique_ptr<ResultsStore> store(
      new ResultsStore(path, "kzb7310-results-" + std::to_string(++opened)));
  const QFileInfo file(ToQt(path));
  if (reading && !file.isFile()) return store->Failed({"no such database", Cause::NotFound});
  if (!reading && !QDir().mkpath(file.absolutePath())) {
    return store->Failed({"its folder cannot be made", Cause::FolderNotMade});
  }
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", ToQt(store->connection_));
  if (!db.isValid()) return store->Failed({"Qt has no SQLite driver (the sqldrivers plugin)"});
  db.setDatabaseName(file.absoluteFilePath());
  // Another program writing for a moment is waited for; a database held longer is an error.
  db.setConnectOptions(reading ? "QSQLITE_BUSY_TIMEOUT=3000;QSQLITE_OPEN_READONLY"
                               : "QSQLITE_BUSY_TIMEOUT=3000");
  if (!db.open()) return store->Failed(SqliteWhy(db.lastError()));
  auto version = SchemaVersion(db);
  if (!version && reading) {
    // A database in WAL mode on a read-only file system cannot make its shared-memory file:
    // nothing can change it there, so it is read as immutable.
    db.close();
    db.setDatabaseName(QUrl::fromLocalFile(file.absoluteFilePath()).toString() + "?immutable=1");
    db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    if (db.open()) version = SchemaVersion(db);
  }
  if (!version) return store->Failed({version.failure().reason, version.failure().cause});
  if (version.value() > kSchemaVersion) {
    return store->Failed(
        {"written by a newer program (schema " + std::to_string(version.value()) + ")",
         Cause::DatabaseNewer});
  }
  if (reading) {
    if (version.value() == 0) {
      return store->Failed({"not a results database (no schema)", Cause::NotADatabase});
    }
    return store;
  }
  QSqlQuery query(db);
  // Turning a new database to WAL takes it whole for a moment, and SQLite says "locked" at
  // once to another program doing the same instead of waiting: it is tried again for as
  // long as the busy timeout would wait.
  bool wal = query.exec("PRAGMA journal_mode = WAL");
  for (int tries = 0;
       !wal && tries < 60 && SqliteWhy(query.lastError()).cause == Cause::DatabaseBusy; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    wal = query.exec("PRAGMA journal_mode = WAL");
  }
  if (!wal) return store->Failed(SqliteWhy(query.lastError()));
  query.finish();  // its answer read: no statement stays open across the upgrade
  if (version.value() < kSchemaVersion) {
    if (auto why = Upgrade(db)) return store->Failed(*why);
  }
  return store;
}

namespace {

QVariant Kept(const selftest::FactValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return ToQt(*text);
  return std::get<double>(value);
}

// "INSERT INTO runs (id, serial, …) VALUES (?, ?, …)": the facts the database keeps.
QString InsertRun() {
  QStringList columns, places;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    columns << fact.column;
    places << "?";
  }
  return "INSERT INTO runs (" + columns.join(", ") + ") VALUES (" + places.join(", ") + ")";
}

}  // namespace

std::optional<base::Failure> ResultsStore::Insert(const std::string& id,
                                                  const selftest::RunRecord& run) {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  const auto failed = [&] { return Failed(SqliteWhy(query.lastError())); };
  selftest::RunRecord kept = run;
  kept.id = id;
  query.prepare(InsertRun());
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (fact.column) query.addBindValue(Kept(fact.get(kept)));
  }
  if (!query.exec()) return failed();
  for (size_t c = 0; c < run.checks.size(); ++c) {
    const selftest::Check& check = run.checks[c];
    query.prepare("INSERT INTO checks VALUES (?, ?, ?, ?, ?, ?, ?)");
    for (const QVariant& v :
         {QVariant(ToQt(id)), QVariant(qlonglong(c)), QVariant(selftest::CheckName(check.kind)),
          QVariant(check.passed ? 1 : 0), QVariant(ToQt(check.measured)),
          QVariant(ToQt(check.limits)), QVariant(ToQt(check.detail))}) {
      query.addBindValue(v);
    }
    if (!query.exec()) return failed();
    for (size_t m = 0; m < check.measurements.size(); ++m) {
      const selftest::Measurement& x = check.measurements[m];
      query.prepare("INSERT INTO measurements VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
      for (const QVariant& v :
           {QVariant(ToQt(id)), QVariant(qlonglong(c)), QVariant(qlonglong(m)),
            QVariant(ToQt(x.id.Name())), Optional(x.value), QVariant(ToQt(x.unit)), Optional(x.low),
            Optional(x.high), QVariant(x.passed ? 1 : 0)}) {
        query.addBindValue(v);
      }
      if (!query.exec()) return failed();
    }
  }
  return std::nullopt;
}

base::Result<std::string> ResultsStore::Save(const selftest::RunRecord& run) {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  const std::string id = run.id.empty() ? selftest::NewRunId() : run.id;
  std::optional<base::Failure> refused;
  const auto why = InTransaction(db, [&](QSqlQuery& query) -> std::optional<SqlWhy> {
    // A run saved again (a held copy whose first save did land) changes nothing.
    query.prepare("SELECT 1 FROM runs WHERE id = ?");
    query.addBindValue(ToQt(id));
    const bool known = query.exec() && query.next();
    if (!query.isActive()) return SqliteWhy(query.lastError());
    query.finish();
    if (known) return std::nullopt;
    refused = Insert(id, run);
    return refused ? std::optional(SqlWhy{refused->reason, refused->cause}) : std::nullopt;
  });
  if (refused) return *refused;
  if (why) return Failed(*why);
  return id;
}

base::Result<> ResultsStore::Forget(const std::string& id) {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  const auto why = InTransaction(db, [&](QSqlQuery& query) -> std::optional<SqlWhy> {
    for (const char* statement :
         {"DELETE FROM line_uploads WHERE run_id = ?", "DELETE FROM line_refusals WHERE run_id = ?",
          "DELETE FROM measurements WHERE run_id = ?", "DELETE FROM checks WHERE run_id = ?",
          "DELETE FROM runs WHERE id = ?"}) {
      query.prepare(statement);
      query.addBindValue(ToQt(id));
      if (!query.exec()) return SqliteWhy(query.lastError());
    }
    return std::nullopt;
  });
  if (why) return Failed(*why);
  return {};
}

std::optional<base::Failure> ResultsStore::ReadChecks(selftest::RunRecord& run) const {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  QSqlQuery checks(db), measurements(db);
  checks.prepare("SELECT * FROM checks WHERE run_id = ? ORDER BY position");
  measurements.prepare(
      "SELECT * FROM measurements WHERE run_id = ? AND check_position = ? ORDER BY position");
  checks.addBindValue(ToQt(run.id));
  if (!checks.exec()) return Failed(SqliteWhy(checks.lastError()));
  while (checks.next()) {
    selftest::Check& check = run.checks.emplace_back();
    std::string unknown;
    if (!CheckOfRow(checks, check, unknown)) {
      return Failed({"a check this program does not know: " + unknown});
    }
    measurements.addBindValue(ToQt(run.id));
    measurements.addBindValue(checks.value("position"));
    if (!measurements.exec()) return Failed(SqliteWhy(measurements.lastError()));
    while (measurements.next()) check.measurements.push_back(MeasurementOfRow(measurements));
  }
  return std::nullopt;
}

base::Result<std::vector<selftest::RunRecord>> ResultsStore::Runs(const Filter& filter,
                                                                  RunDepth depth) const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  query.setForwardOnly(true);
  // The newest N, then put oldest first.
  const QString firstFailure =
      depth == RunDepth::FirstFailure
          ? ", (SELECT name FROM checks c WHERE c.run_id = runs.id AND NOT c.passed ORDER BY "
            "position LIMIT 1) AS first_failure"
          : "";
  query.prepare("SELECT * FROM (SELECT rowid AS n, *" + firstFailure +
                " FROM runs WHERE (:serial = '' OR serial = :serial) AND started >= :since "
                "ORDER BY started DESC, n DESC LIMIT :limit) ORDER BY started, n");
  query.bindValue(":serial", ToQt(filter.serial));
  query.bindValue(":since", ToQt(filter.since));
  query.bindValue(":limit", filter.newest > 0 ? filter.newest : -1);
  return Read(query, depth);
}

base::Result<std::vector<selftest::RunRecord>> ResultsStore::Waiting(int most) const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  query.prepare(
      "SELECT rowid AS n, * FROM runs WHERE id NOT IN (SELECT run_id FROM line_uploads) "
      "AND id NOT IN (SELECT run_id FROM line_refusals) ORDER BY started, n LIMIT :limit");
  query.bindValue(":limit", most > 0 ? most : -1);
  return Read(query);
}

base::Result<int> ResultsStore::CountWaiting() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec("SELECT count(*) FROM runs WHERE id NOT IN (SELECT run_id FROM line_uploads) "
                  "AND id NOT IN (SELECT run_id FROM line_refusals)") ||
      !query.next()) {
    return Failed(SqliteWhy(query.lastError()));
  }
  return query.value(0).toInt();
}

base::Result<> ResultsStore::MarkUploaded(const std::vector<std::string>& ids,
                                          const std::string& uploaded, double clockOffsetSeconds) {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  // One transaction for them all: a disk's flush for a batch, not for each run.
  const auto why = InTransaction(db, [&](QSqlQuery& query) -> std::optional<SqlWhy> {
    query.prepare("INSERT OR IGNORE INTO line_uploads VALUES (?, ?, ?)");
    for (const std::string& id : ids) {
      query.addBindValue(ToQt(id));
      query.addBindValue(ToQt(uploaded));
      query.addBindValue(clockOffsetSeconds);
      if (!query.exec()) return SqliteWhy(query.lastError());
    }
    return std::nullopt;
  });
  if (why) return Failed(*why);
  return {};
}

base::Result<> ResultsStore::SetAside(const std::string& id, const std::string& reason,
                                      const std::string& refusedIso8601) {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  query.prepare("INSERT OR REPLACE INTO line_refusals VALUES (?, ?, ?)");
  for (const std::string& value : {id, reason, refusedIso8601}) query.addBindValue(ToQt(value));
  if (!query.exec()) return Failed(SqliteWhy(query.lastError()));
  return {};
}

namespace {

base::Result<std::vector<OutboxRun>> Named(QSqlQuery& query) {
  std::vector<OutboxRun> runs;
  while (query.next()) {
    runs.push_back({FromQt(query.value(0)), FromQt(query.value(1)), FromQt(query.value(2)),
                    FromQt(query.value(3)), FromQt(query.value(4))});
  }
  return runs;
}

}  // namespace

base::Result<std::vector<OutboxRun>> ResultsStore::WaitingNames() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec("SELECT serial, id, started, '', '' FROM runs WHERE id NOT IN (SELECT run_id "
                  "FROM line_uploads) AND id NOT IN (SELECT run_id FROM line_refusals) "
                  "ORDER BY started, rowid")) {
    return Failed(SqliteWhy(query.lastError()));
  }
  return Named(query);
}

base::Result<std::vector<OutboxRun>> ResultsStore::SetAsideRuns() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec("SELECT r.serial, r.id, r.started, f.reason, f.refused FROM line_refusals f "
                  "JOIN runs r ON r.id = f.run_id WHERE r.id NOT IN (SELECT run_id FROM "
                  "line_uploads) ORDER BY r.started, r.rowid")) {
    return Failed(SqliteWhy(query.lastError()));
  }
  return Named(query);
}

base::Result<int> ResultsStore::ReleaseSetAside() {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec("DELETE FROM line_refusals")) return Failed(SqliteWhy(query.lastError()));
  return query.numRowsAffected();
}

base::Result<std::vector<selftest::RunRecord>> ResultsStore::Read(QSqlQuery& query,
                                                                  RunDepth depth) const {
  if (!query.exec()) return Failed(SqliteWhy(query.lastError()));
  // Each column's place, once: a place found by name costs a look at the whole row.
  const QSqlRecord columns = query.record();
  std::vector<int> factAt;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    factAt.push_back(fact.column ? columns.indexOf(fact.column) : -1);
  }
  const int failureAt = columns.indexOf("first_failure");
  std::vector<selftest::RunRecord> runs;
  while (query.next()) {
    selftest::RunRecord& run = runs.emplace_back();
    for (size_t f = 0; f < factAt.size(); ++f) {
      const selftest::RunFact& fact = selftest::RunFacts()[f];
      if (!fact.column) continue;
      const QVariant value = query.value(factAt[f]);
      if (!fact.set(run, fact.number ? selftest::FactValue(value.toDouble())
                                     : selftest::FactValue(FromQt(value)))) {
        return Failed(
            {std::string("a ") + fact.column + " this program does not know: " + FromQt(value)});
      }
    }
    if (depth != RunDepth::FirstFailure) continue;
    // A list that shows only the first failing check gets that check alone.
    if (const QVariant name = query.value(failureAt); !name.isNull()) {
      selftest::Check& failing = run.checks.emplace_back();
      const std::string text = FromQt(name);
      if (const auto kind = selftest::CheckNamed(text)) {
        failing.kind = *kind;
      } else {
        failing.unknownName = text;
      }
    }
  }
  if (depth == RunDepth::FirstFailure) return runs;
  for (selftest::RunRecord& run : runs) {
    if (auto failure = ReadChecks(run)) return *failure;
  }
  return runs;
}

}  // namespace results
