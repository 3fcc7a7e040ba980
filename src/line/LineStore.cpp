#include "LineStore.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "LineReach.h"
#include "LineSocket.h"
#include "PassFile.h"
#include "RunFacts.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace line {
namespace {

using results::FromQt;
using results::ToQt;

using results::PostgresWhy;
using results::SqlWhy;
using Cause = base::Failure::Cause;

// How long the network is given to say why a connection failed.
constexpr std::chrono::milliseconds kReachWait{3000};

// How the line's columns take a fact's text (LineReading gives it back).
QString Into(const char* column) {
  const std::string name = column;
  if (name == "id") return "?::uuid";
  if (name == "started" || name == "ended") return "?::timestamptz";
  return "?";
}

// An element of a PostgreSQL array literal: text quoted with its quotes and backslashes
// escaped, a number exactly (17 digits), NULL for a figure without one.
QString Element(const std::string& text) {
  QString quoted = "\"";
  for (const QChar c : ToQt(text)) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}
QString Element(const std::optional<double>& value) {
  return value ? QString::number(*value, 'g', 17) : QString("NULL");
}

// The run's figures as the eight array literals of their columns: check, position, name,
// value, unit, low, high, passed.
std::array<QString, 8> FigureColumns(const selftest::RunRecord& run) {
  std::array<QStringList, 8> columns;
  for (size_t c = 0; c < run.checks.size(); ++c) {
    const auto& figures = run.checks[c].measurements;
    for (size_t m = 0; m < figures.size(); ++m) {
      const selftest::Measurement& x = figures[m];
      columns[0] << QString::number(c);
      columns[1] << QString::number(m);
      columns[2] << Element(x.id.Name());
      columns[3] << Element(x.value);
      columns[4] << Element(x.unit);
      columns[5] << Element(x.low);
      columns[6] << Element(x.high);
      columns[7] << (x.passed ? "t" : "f");
    }
  }
  std::array<QString, 8> literals;
  for (size_t i = 0; i < columns.size(); ++i) literals[i] = "{" + columns[i].join(',') + "}";
  return literals;
}

QString InsertRun() {
  QStringList columns, places;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    columns << fact.column;
    places << Into(fact.column);
  }
  return "INSERT INTO runs (" + columns.join(", ") + ", clock_offset_s) VALUES (" +
         places.join(", ") + ", ?) ON CONFLICT (id) DO NOTHING RETURNING id";
}

// The settings as libpq's connection options (its keywords, one word each: the profile's
// reader refuses anything else). The connection's wait is bounded (libpq's connect_timeout),
// and a peer gone silent over TCP is found (keepalives after 5 s idle, three missed 2 s
// apart; data unacknowledged for 10 s). A statement is bounded where the caller asks
// (BoundStatements), and a server process that stops answering altogether is cut from
// outside (Cut).
QString Options(const selftest::LineSettings& s) {
  QStringList options = {"connect_timeout=" + QString::number(kConnectWait.count()),
                         "application_name=kzb7310",
                         "keepalives=1",
                         "keepalives_idle=5",
                         "keepalives_interval=2",
                         "keepalives_count=3",
                         "tcp_user_timeout=10000"};
  if (!s.sslmode.empty()) options << ToQt("sslmode=" + s.sslmode);
  if (!s.service.empty()) options << ToQt("service=" + s.service);
  return options.join(';');
}

}  // namespace

std::string Where(const selftest::LineSettings& s) {
  std::string where = s.service.empty() ? "" : "service " + s.service + " ";
  where += (s.host.empty() ? "localhost" : s.host) + ":" +
           (s.port ? std::to_string(s.port) : std::string("5432")) + "/" +
           (s.database.empty() ? std::string("(default)") : s.database);
  if (!s.user.empty()) where += " as " + s.user;
  return where;
}

LineStore::LineStore(std::string connection, std::string where)
    : connection_(std::move(connection)), where_(std::move(where)) {}

LineStore::~LineStore() {
  QSqlDatabase::database(ToQt(connection_), false).close();
  QSqlDatabase::removeDatabase(ToQt(connection_));
}

void LineStore::LoadDriver() {
  const QString probe = "kzb7310-line-driver";
  QSqlDatabase::addDatabase("QPSQL", probe);
  QSqlDatabase::removeDatabase(probe);
}

base::Failure LineStore::Failed(const SqlWhy& why) const {
  return base::Failure{base::Failure::Kind::ResultsNotStored, where_,
                       why.text.empty() ? "the server refused it without a reason" : why.text,
                       why.cause};
}

base::Result<std::unique_ptr<LineStore>> LineStore::Open(const selftest::LineSettings& settings) {
  static std::atomic<int> opened{0};
  std::unique_ptr<LineStore> store(
      new LineStore("kzb7310-line-" + std::to_string(++opened), Where(settings)));
  if (auto problem = PassFileProblem()) return store->Failed({*problem, Cause::PassFileOpen});
  QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", ToQt(store->connection_));
  if (!db.isValid()) return store->Failed({"Qt has no PostgreSQL driver (the sqldrivers plugin)"});
  if (!settings.host.empty()) db.setHostName(ToQt(settings.host));
  if (settings.port) db.setPort(settings.port);
  if (!settings.database.empty()) db.setDatabaseName(ToQt(settings.database));
  if (!settings.user.empty()) db.setUserName(ToQt(settings.user));
  db.setConnectOptions(Options(settings));
  const auto connecting = std::chrono::steady_clock::now();
  if (!db.open()) {
    // A connection that never reached a server has no SQLSTATE: the network says why, or
    // the time it took: one that ran out of its time found a server that does not answer.
    SqlWhy why = PostgresWhy(db.lastError());
    if (why.cause == Cause::Other &&
        std::chrono::steady_clock::now() - connecting >= kConnectWait) {
      why.cause = Cause::LineNoAnswer;
    }
    if (why.cause == Cause::Other && settings.service.empty()) {
      const bool tls = settings.sslmode == "require" || settings.sslmode == "verify-ca" ||
                       settings.sslmode == "verify-full";
      // Where the profile names no host or port, libpq takes them from its environment.
      const char* host = std::getenv("PGHOST");
      const char* port = std::getenv("PGPORT");
      why.cause = UnreachableCause(!settings.host.empty() ? settings.host
                                   : host                 ? host
                                                          : "",
                                   settings.port ? settings.port
                                   : port        ? std::atoi(port)
                                                 : 0,
                                   tls, kReachWait);
    }
    return store->Failed(why);
  }
  const QVariant handle = db.driver()->handle();
  if (handle.isValid() && handle.constData()) {
    store->socket_ = SocketOf(*static_cast<void* const*>(handle.constData()));
  }
  QSqlQuery query(db);
  if (!query.exec("SELECT max(version) FROM kzb_schema") || !query.next()) {
    const SqlWhy why = PostgresWhy(query.lastError());
    // A missing table is a database without the schema; a refused read is a missing grant.
    return store->Failed({"not a line database (" + why.text + "): apply line-schema.sql",
                          why.cause == Cause::Other ? Cause::LineNoSchema : why.cause});
  }
  const int version = query.value(0).toInt();
  if (version > kLineSchemaVersion) {
    return store->Failed({"the line's schema " + std::to_string(version) +
                              " is newer than this program knows (" +
                              std::to_string(kLineSchemaVersion) + "): update the program",
                          Cause::LineNewer});
  }
  return store;
}

base::Result<> LineStore::BoundStatements() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec(QString("SET statement_timeout = %1").arg(kStatementWait.count() * 1000))) {
    return Failed(PostgresWhy(query.lastError()));
  }
  return {};
}

bool LineStore::Answers() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  return query.exec("SELECT 1") && query.next();
}

void LineStore::Cut() const {
  ShutDown(socket_);
}

base::Result<double> LineStore::ClockOffsetSeconds() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  const auto before = std::chrono::system_clock::now();
  if (!query.exec("SELECT extract(epoch FROM clock_timestamp())::float8") || !query.next()) {
    return Failed(PostgresWhy(query.lastError()));
  }
  const auto after = std::chrono::system_clock::now();
  const double ours =
      std::chrono::duration<double>((before + (after - before) / 2).time_since_epoch()).count();
  return query.value(0).toDouble() - ours;
}

std::optional<base::Failure> LineStore::Insert(const selftest::RunRecord& run,
                                               double clockOffsetSeconds, bool& added) {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  query.prepare(InsertRun());
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    const selftest::FactValue value = fact.get(run);
    query.addBindValue(fact.number ? QVariant(std::get<double>(value))
                                   : QVariant(ToQt(std::get<std::string>(value))));
  }
  query.addBindValue(clockOffsetSeconds);
  if (!query.exec()) return Failed(PostgresWhy(query.lastError()));
  added = query.next();  // nothing returned: the line has the run already
  if (!added) return std::nullopt;
  // The checks in one statement and the measurements in another: a run is three round trips
  // to the server, whatever its figures.
  QStringList checkRows;
  bool figures = false;
  for (const selftest::Check& check : run.checks) {
    checkRows << "(?::uuid, ?, ?, ?, ?, ?, ?)";
    figures = figures || !check.measurements.empty();
  }
  if (checkRows.isEmpty()) return std::nullopt;
  query.prepare("INSERT INTO checks VALUES " + checkRows.join(", "));
  for (size_t c = 0; c < run.checks.size(); ++c) {
    const selftest::Check& check = run.checks[c];
    for (const QVariant& v :
         {QVariant(ToQt(run.id)), QVariant(int(c)), QVariant(selftest::CheckName(check.kind)),
          QVariant(check.passed), QVariant(ToQt(check.measured)), QVariant(ToQt(check.limits)),
          QVariant(ToQt(check.detail))}) {
      query.addBindValue(v);
    }
  }
  if (!query.exec()) return Failed(PostgresWhy(query.lastError()));
  if (!figures) return std::nullopt;
  // The figures as eight arrays, one per column: a few parameters, however many figures.
  query.prepare(
      "INSERT INTO measurements SELECT ?::uuid, c, p, n, v, u, l, h, ok FROM unnest(?::int[], "
      "?::int[], ?::text[], ?::float8[], ?::text[], ?::float8[], ?::float8[], ?::bool[]) "
      "AS m(c, p, n, v, u, l, h, ok)");
  query.addBindValue(ToQt(run.id));
  for (const QString& column : FigureColumns(run)) query.addBindValue(column);
  if (!query.exec()) return Failed(PostgresWhy(query.lastError()));
  return std::nullopt;
}

base::Result<bool> LineStore::Upload(const selftest::RunRecord& run, double clockOffsetSeconds) {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  if (!db.transaction()) return Failed(PostgresWhy(db.lastError()));
  bool added = false;
  if (auto failure = Insert(run, clockOffsetSeconds, added)) {
    db.rollback();
    return *failure;
  }
  if (!db.commit()) {
    const SqlWhy why = PostgresWhy(db.lastError());
    db.rollback();
    return Failed(why);
  }
  return added;
}

}  // namespace line
