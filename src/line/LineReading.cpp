// Reading the line's runs back: a page of runs at a time in one snapshot of the line, each
// page in one statement for its runs and, where a form shows them, one for their checks and
// one for their failing figures, whatever the number of runs.
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

// The page's run ids as a PostgreSQL array literal.
QString Ids(const std::vector<LineRun>& page) {
  QStringList ids;
  for (const LineRun& r : page) ids << ToQt(r.run.id);
  return "{" + ids.join(',') + "}";
}

}  // namespace

std::optional<base::Failure> LineStore::ReadChecks(std::vector<LineRun>& page) const {
  std::unordered_map<std::string, selftest::RunRecord*> byId;
  for (LineRun& r : page) byId[r.run.id] = &r.run;
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  query.setForwardOnly(true);
  query.prepare(
      "SELECT run_id::text AS run_id, position, name, passed, measured, limits, detail "
      "FROM checks WHERE run_id = ANY(?::uuid[]) ORDER BY run_id, position");
  query.addBindValue(Ids(page));
  if (!query.exec()) return Failed(PostgresWhy(query.lastError()));
  // Where each check of the page is, by its run and position.
  std::unordered_map<std::string, std::vector<std::pair<int, size_t>>> positions;
  while (query.next()) {
    selftest::RunRecord& run = *byId.at(FromQt(query.value(0)));
    positions[run.id].emplace_back(query.value(1).toInt(), run.checks.size());
    run.checks.push_back(CheckOf(query, 2));
  }
  // The figures only of the failing checks, and of those only the failing ones: no form
  // read page by page shows others.
  query.prepare(
      "SELECT m.run_id::text AS run_id, m.check_position, m.name, m.value, m.unit, m.low, "
      "m.high, m.passed FROM checks c JOIN measurements m ON m.run_id = c.run_id AND "
      "m.check_position = c.position WHERE c.run_id = ANY(?::uuid[]) AND NOT c.passed AND "
      "NOT m.passed ORDER BY m.run_id, m.check_position, m.position");
  query.addBindValue(Ids(page));
  if (!query.exec()) return Failed(PostgresWhy(query.lastError()));
  while (query.next()) {
    const std::string id = FromQt(query.value(0));
    const int position = query.value(1).toInt();
    selftest::RunRecord& run = *byId.at(id);
    for (const auto& [at, index] : positions[id]) {
      if (at == position)
        run.checks[index].measurements.push_back(results::MeasurementOfRow(query, 2));
    }
  }
  return std::nullopt;
}

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
  QString afterStarted = "-infinity";
  QString afterId = "00000000-0000-0000-0000-000000000000";
  for (;;) {
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
    if (!query.exec()) return failed(query.lastError());
    // Each column's place, once a page: a place found by name costs a look at the whole row.
    const QSqlRecord columns = query.record();
    std::vector<int> factAt;
    for (const selftest::RunFact& fact : selftest::RunFacts()) {
      factAt.push_back(fact.column ? columns.indexOf(fact.column) : -1);
    }
    const int clockAt = columns.indexOf("clock_offset_s"), keyAt = columns.indexOf("page_key");
    const int failureAt = columns.indexOf("first_failure");
    std::vector<LineRun> runs;
    while (query.next()) {
      LineRun& row = runs.emplace_back();
      for (size_t f = 0; f < factAt.size(); ++f) {
        const selftest::RunFact& fact = selftest::RunFacts()[f];
        if (!fact.column) continue;
        const QVariant value = query.value(factAt[f]);
        if (!fact.set(row.run, fact.number ? selftest::FactValue(value.toDouble())
                                           : selftest::FactValue(FromQt(value)))) {
          const auto failure = Failed(
              {std::string("a ") + fact.column + " this program does not know: " + FromQt(value)});
          db.rollback();
          return failure;
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
    query.finish();
    if (runs.empty()) break;
    if (depth == LineDepth::Failures) {
      if (auto failure = ReadChecks(runs)) {
        db.rollback();
        return failure;
      }
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
