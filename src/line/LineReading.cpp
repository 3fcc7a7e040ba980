// Reading the line's runs back: a page of runs at a time in one snapshot of the line, each
// page in one statement; where a form shows checks, they and their failing figures come
// from two cursors read alongside, one pass over the line each.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>
#include <unordered_map>

#include "LineStore.h"
#include "RunFacts.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace line {
namespace {

using results::FromQt;
using results::PostgresWhy;
using results::ToQt;

// Runs read at once: enough that a statement's round trip is small beside its rows, few
// enough that a page of runs with their checks stays a few megabytes.
constexpr int kPageRuns = 2000;

// A fact's column as the records write it: the id as text, times in UTC to the second.
QString OutOf(const char* column) {
  const std::string name = column;
  if (name == "id") return "r.id::text AS id";
  if (name == "started" || name == "ended") {
    return QString("to_char(r.%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') AS %1")
        .arg(column);
  }
  return "r." + QString(column);
}

// The runs of the filter after the last page's last run, in the order (started, id), which
// no two runs share. `first_failure` is the name of a run's first failing check.
QString SelectPage(LineDepth depth, bool newest) {
  QStringList columns;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (fact.column) columns << OutOf(fact.column);
  }
  columns << "r.clock_offset_s"
          << "r.started::text AS page_key";
  if (depth == LineDepth::FirstFailure) columns << "f.name AS first_failure";
  const QString filter = "(?::text = '' OR serial = ?::text) AND started >= ?::timestamptz";
  QString sql = "SELECT " + columns.join(", ") + " FROM runs r";
  if (depth == LineDepth::FirstFailure) {
    sql +=
        " LEFT JOIN LATERAL (SELECT c.name FROM checks c WHERE c.run_id = r.id AND NOT c.passed "
        "ORDER BY c.position LIMIT 1) f ON true";
  }
  sql += " WHERE " + filter + " AND (r.started, r.id) > (?::timestamptz, ?::uuid)";
  if (newest) {
    sql += " AND r.id IN (SELECT id FROM runs WHERE " + filter +
           " ORDER BY started DESC, id DESC LIMIT ?::bigint)";
  }
  return sql + " ORDER BY r.started, r.id LIMIT " + QString::number(kPageRuns);
}

// A check of the row, its name at `first`; one this program does not know keeps its name
// and says so.
selftest::Check CheckOf(const QSqlQuery& row, int first) {
  selftest::Check check;
  std::string unknown;
  if (!results::CheckOfRow(row, first, check, unknown)) check.unknownName = unknown;
  return check;
}

// The rows of a cursor, fetched a batch at a time and read in step with the pages of runs.
class CursorRows {
 public:
  CursorRows(const QSqlDatabase& db, QString cursor) : query_(db), cursor_(std::move(cursor)) {}
  // The row to read next; null once the cursor is done, or failed (`error`).
  const QSqlQuery* Row() {
    if (!valid_ && !ended_) {
      if (!query_.exec("FETCH " + QString::number(kFetchRows) + " FROM " + cursor_)) {
        error_ = query_.lastError();
        ended_ = true;
      } else {
        valid_ = query_.next();
        ended_ = !valid_;
      }
    }
    return valid_ ? &query_ : nullptr;
  }
  void Next() { valid_ = query_.next(); }
  const std::optional<QSqlError>& error() const { return error_; }

 private:
  static constexpr int kFetchRows = 10000;
  QSqlQuery query_;
  QString cursor_;
  bool valid_ = false, ended_ = false;
  std::optional<QSqlError> error_;
};

// The runs of the filter as the transaction's settings hold it (set_config), `r` in the
// query's FROM: a cursor cannot be given parameters.
QString CursorFilter(bool newest) {
  const auto filter = [](const QString& runs) {
    return "(current_setting('kzb7310.serial') = '' OR " + runs +
           ".serial = current_setting('kzb7310.serial')) AND " + runs +
           ".started >= current_setting('kzb7310.since')::timestamptz";
  };
  QString sql = filter("r");
  if (newest) {
    sql += " AND r.id IN (SELECT n.id FROM runs n WHERE " + filter("n") +
           " ORDER BY n.started DESC, n.id DESC LIMIT current_setting('kzb7310.newest')::bigint)";
  }
  return sql;
}

// Every check of the filter's runs, and the failing figures of the failing checks (no form
// that reads them shows others), as two cursors in the pages' order: each read in one pass
// over the line, not looked up run by run.
std::optional<QSqlError> DeclareChecks(QSqlDatabase& db, bool newest) {
  QSqlQuery query(db);
  const QString filter = CursorFilter(newest);
  // The filter's selectivity is opaque to the planner, which would look each run's checks
  // up one by one: the checks are joined whole instead, and the figures looked up for the
  // failing checks alone.
  for (const QString& statement :
       {QString("SET LOCAL cursor_tuple_fraction = 1"), QString("SET LOCAL enable_nestloop = off"),
        "DECLARE kzb_checks NO SCROLL CURSOR FOR SELECT r.id::text, c.position, c.name, "
        "c.passed, c.measured, c.limits, c.detail FROM runs r JOIN checks c ON c.run_id = r.id "
        "WHERE " +
            filter + " ORDER BY r.started, r.id, c.position",
        QString("SET LOCAL enable_nestloop = on"),
        "DECLARE kzb_figures NO SCROLL CURSOR FOR WITH f AS MATERIALIZED (SELECT run_id, "
        "position FROM checks WHERE NOT passed) SELECT r.id::text, m.check_position, m.name, "
        "m.value, m.unit, m.low, m.high, m.passed FROM f JOIN runs r ON r.id = f.run_id JOIN "
        "measurements m ON m.run_id = f.run_id AND m.check_position = f.position AND NOT "
        "m.passed WHERE " +
            filter + " ORDER BY r.started, r.id, m.check_position, m.position"}) {
    if (!query.exec(statement)) return query.lastError();
  }
  return std::nullopt;
}

// The page's checks and failing figures from the cursors, which hold them first.
std::optional<QSqlError> ReadChecks(std::vector<LineRun>& page, CursorRows& checks,
                                    CursorRows& figures) {
  std::unordered_map<std::string, selftest::RunRecord*> byId;
  for (LineRun& r : page) byId[r.run.id] = &r.run;
  std::unordered_map<const selftest::RunRecord*, std::vector<int>> positions;
  for (const QSqlQuery* row; (row = checks.Row()) != nullptr; checks.Next()) {
    const auto run = byId.find(FromQt(row->value(0)));
    if (run == byId.end()) break;  // the next page's
    positions[run->second].push_back(row->value(1).toInt());
    run->second->checks.push_back(CheckOf(*row, 2));
  }
  for (const QSqlQuery* row; (row = figures.Row()) != nullptr; figures.Next()) {
    const auto run = byId.find(FromQt(row->value(0)));
    if (run == byId.end()) break;
    const std::vector<int>& at = positions[run->second];
    for (size_t c = 0; c < at.size(); ++c) {
      if (at[c] == row->value(1).toInt()) {
        run->second->checks[c].measurements.push_back(results::MeasurementOfRow(*row, 2));
      }
    }
  }
  return checks.error() ? checks.error() : figures.error();
}

// The page's query, its values bound: the runs after the last page's last (by its key and
// id), the newest alone when the filter asks for them.
void PreparePage(QSqlQuery& query, const QString& sql, const results::Filter& filter,
                 const std::string& since, const QString& afterStarted, const QString& afterId) {
  query.setForwardOnly(true);
  query.prepare(sql);
  for (const std::string& value : {filter.serial, filter.serial, since}) {
    query.addBindValue(ToQt(value));
  }
  query.addBindValue(afterStarted);
  query.addBindValue(afterId);
  if (filter.newest > 0) {
    for (const std::string& value : {filter.serial, filter.serial, since}) {
      query.addBindValue(ToQt(value));
    }
    query.addBindValue(qlonglong(filter.newest));
  }
}

// The page's runs, read into `runs`, and the key of its last run; gives what was read that
// this program does not know, if anything.
std::optional<std::string> ReadPage(QSqlQuery& query, LineDepth depth, std::vector<LineRun>& runs,
                                    QString& afterStarted, QString& afterId) {
  // Each column's place, once a page: a place found by name costs a look at the whole row.
  const QSqlRecord columns = query.record();
  std::vector<int> factAt;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    factAt.push_back(fact.column ? columns.indexOf(fact.column) : -1);
  }
  const int clockAt = columns.indexOf("clock_offset_s"), keyAt = columns.indexOf("page_key");
  const int failureAt = columns.indexOf("first_failure");
  while (query.next()) {
    LineRun& row = runs.emplace_back();
    for (size_t f = 0; f < factAt.size(); ++f) {
      const selftest::RunFact& fact = selftest::RunFacts()[f];
      if (!fact.column) continue;
      const QVariant value = query.value(factAt[f]);
      if (!fact.set(row.run, fact.number ? selftest::FactValue(value.toDouble())
                                         : selftest::FactValue(FromQt(value)))) {
        return std::string("a ") + fact.column + " this program does not know: " + FromQt(value);
      }
    }
    row.clockOffsetSeconds = query.value(clockAt).toDouble();
    afterStarted = query.value(keyAt).toString();
    afterId = ToQt(row.run.id);
    if (depth != LineDepth::FirstFailure) continue;
    // The forms that show only the first failing check get that check alone.
    if (const QVariant name = query.value(failureAt); !name.isNull()) {
      selftest::Check& failing = row.run.checks.emplace_back();
      std::string unknown = FromQt(name);
      if (const auto kind = selftest::CheckNamed(unknown)) {
        failing.kind = *kind;
      } else {
        failing.unknownName = unknown;
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<base::Failure> LineStore::EachPage(
    const results::Filter& filter, LineDepth depth,
    const std::function<void(std::vector<LineRun>& page)>& page) const {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  // One snapshot for every page: a run arriving meanwhile is in none of them or its page.
  if (!db.transaction()) return Failed(PostgresWhy(db.lastError()));
  const auto failed = [&](const QSqlError& error) {
    const auto failure = Failed(PostgresWhy(error));
    db.rollback();
    return failure;
  };
  QSqlQuery query(db);
  if (!query.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY")) {
    return failed(query.lastError());
  }
  // --since's date is a day in UTC.
  const std::string since = filter.since.empty()        ? std::string("1970-01-01T00:00:00Z")
                            : filter.since.size() == 10 ? filter.since + "T00:00:00Z"
                                                        : filter.since;
  const QString sql = SelectPage(depth, filter.newest > 0);
  CursorRows checks(db, "kzb_checks"), figures(db, "kzb_figures");
  if (depth == LineDepth::Failures) {
    query.prepare(
        "SELECT set_config('kzb7310.serial', ?, true), set_config('kzb7310.since', ?, true), "
        "set_config('kzb7310.newest', ?, true)");
    query.addBindValue(ToQt(filter.serial));
    query.addBindValue(ToQt(since));
    query.addBindValue(QString::number(filter.newest));
    if (!query.exec()) return failed(query.lastError());
    if (const auto error = DeclareChecks(db, filter.newest > 0)) return failed(*error);
  }
  QString afterStarted = "-infinity";
  QString afterId = "00000000-0000-0000-0000-000000000000";
  for (;;) {
    PreparePage(query, sql, filter, since, afterStarted, afterId);
    if (!query.exec()) return failed(query.lastError());
    std::vector<LineRun> runs;
    if (auto unknown = ReadPage(query, depth, runs, afterStarted, afterId)) {
      const auto failure = Failed({*unknown});
      db.rollback();
      return failure;
    }
    query.finish();
    if (runs.empty()) break;
    if (depth == LineDepth::Failures) {
      if (const auto error = ReadChecks(runs, checks, figures)) return failed(*error);
    }
    const bool last = runs.size() < size_t{kPageRuns};
    page(runs);
    if (last) break;
  }
  db.commit();
  return std::nullopt;
}

base::Result<std::vector<LineRun>> LineStore::Runs(const results::Filter& filter,
                                                   LineDepth depth) const {
  std::vector<LineRun> runs;
  const auto failure = EachPage(filter, depth, [&](std::vector<LineRun>& page) {
    runs.insert(runs.end(), std::make_move_iterator(page.begin()),
                std::make_move_iterator(page.end()));
  });
  if (failure) return *failure;
  return runs;
}

}  // namespace line
