#include "LineMonitor.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <tuple>

#include "LineFigures.h"
#include "LineStore.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace line {
namespace {

using results::FromQt;
using results::ToQt;

QString Utc(const char* column) {
  return QString("to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')").arg(column);
}

// A run's columns as MonitorRun takes them, in RunOfRow's order.
QString RunColumns() {
  return "id::text, serial, station, " + Utc("started") + ", " + Utc("uploaded") +
         ", verdict, clock_offset_s";
}

MonitorRun RunOfRow(const QSqlQuery& q) {
  return {FromQt(q.value(0)),
          FromQt(q.value(1)),
          FromQt(q.value(2)),
          FromQt(q.value(3)),
          FromQt(q.value(4)),
          FromQt(q.value(5)),
          q.value(6).toDouble(),
          {},
          {},
          {}};
}

// The ids as a PostgreSQL array literal of uuids (each came from the server, and is checked
// by the cast there).
QString IdArray(const std::vector<std::string>& ids) {
  QStringList quoted;
  for (const std::string& id : ids) quoted << ToQt(id);
  return "{" + quoted.join(',') + "}";
}

std::string SinceOf(const std::string& since) {
  return since.empty()        ? std::string("1970-01-01T00:00:00Z")
         : since.size() == 10 ? since + "T00:00:00Z"
                              : since;
}

// The runs in their order: start, then upload.
bool Older(const MonitorRun& a, const MonitorRun& b) {
  return std::tie(a.started, a.uploaded, a.id) < std::tie(b.started, b.uploaded, b.id);
}

bool Before(const spc::Sample& a, const spc::Sample& b) {
  return std::tie(a.started, a.runId) < std::tie(b.started, b.runId);
}

}  // namespace

base::Result<> LineStore::WatchRuns(std::function<void(const std::string& id)> heard) {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  QSqlDriver* driver = db.driver();
  if (!driver->subscribeToNotification(kRunsChannel)) {
    return Failed(results::PostgresWhy(driver->lastError()));
  }
  QObject::connect(driver, &QSqlDriver::notification, driver,
                   [heard = std::move(heard)](const QString& name, QSqlDriver::NotificationSource,
                                              const QVariant& payload) {
                     if (name == kRunsChannel) heard(FromQt(payload));
                   });
  return {};
}

base::Result<MonitorStart> LineStore::MonitorSince(const std::string& since,
                                                   const std::string& figure,
                                                   const std::string& station) const {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  MonitorStart start;
  start.since = SinceOf(since);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  // Each station's newest run and its newest upload, grouped by the server.
  if (!q.exec("SELECT n.station, n.serial, n.verdict, n.started, s.seen, n.clock_offset_s FROM "
              "(SELECT DISTINCT ON (station) station, serial, verdict, " +
              Utc("started") +
              " AS started, clock_offset_s FROM runs ORDER BY station, runs.started DESC, "
              "uploaded DESC) n JOIN (SELECT station, " +
              Utc("max(uploaded)") + " AS seen FROM runs GROUP BY station) s USING (station) " +
              "ORDER BY n.station")) {
    return Failed(results::PostgresWhy(q.lastError()));
  }
  while (q.next()) {
    start.stations.push_back({FromQt(q.value(0)), FromQt(q.value(1)), FromQt(q.value(2)),
                              FromQt(q.value(3)), FromQt(q.value(4)), q.value(5).toDouble()});
  }
  // The span's runs, a few columns each, for the yield (the line report's own count).
  q.prepare("SELECT " + RunColumns() +
            " FROM runs WHERE started >= ?::timestamptz ORDER BY started, uploaded");
  q.addBindValue(ToQt(start.since));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  while (q.next()) start.runs.push_back(RunOfRow(q));
  // The failures, counted by the server.
  q.prepare(
      "SELECT false, c.name, count(*) FROM checks c JOIN runs r ON r.id = c.run_id "
      "WHERE NOT c.passed AND r.started >= ?::timestamptz GROUP BY c.name UNION ALL "
      "SELECT true, m.name, count(*) FROM measurements m JOIN runs r ON r.id = m.run_id "
      "WHERE NOT m.passed AND r.started >= ?::timestamptz GROUP BY m.name");
  q.addBindValue(ToQt(start.since));
  q.addBindValue(ToQt(start.since));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  while (q.next()) {
    start.failures.push_back({q.value(0).toBool(), FromQt(q.value(1)), q.value(2).toInt(), 0});
  }
  q.prepare(
      "SELECT DISTINCT m.name FROM measurements m JOIN runs r ON r.id = m.run_id "
      "WHERE r.started >= ?::timestamptz ORDER BY 1");
  q.addBindValue(ToQt(start.since));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  while (q.next()) start.figureNames.push_back(FromQt(q.value(0)));
  if (!figure.empty()) {
    auto samples = Figures({figure, station, start.since, 0});
    if (!samples) return samples.failure();
    start.chart = std::move(samples.value());
  }
  return start;
}

base::Result<std::vector<MonitorRun>> LineStore::MonitorRuns(const std::vector<std::string>& ids,
                                                             const std::string& figure,
                                                             const std::string& station) const {
  QSqlDatabase db = QSqlDatabase::database(ToQt(connection_), false);
  std::vector<MonitorRun> runs;
  if (ids.empty()) return runs;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare("SELECT " + RunColumns() + " FROM runs WHERE id = ANY(?::uuid[]) ORDER BY started");
  q.addBindValue(IdArray(ids));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  std::map<std::string, size_t> at;
  while (q.next()) {
    at[FromQt(q.value(0))] = runs.size();
    runs.push_back(RunOfRow(q));
  }
  q.prepare(
      "SELECT run_id::text, false, name FROM checks WHERE run_id = ANY(?::uuid[]) AND NOT passed "
      "UNION ALL SELECT run_id::text, true, name FROM measurements "
      "WHERE run_id = ANY(?::uuid[]) AND NOT passed");
  q.addBindValue(IdArray(ids));
  q.addBindValue(IdArray(ids));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  while (q.next()) {
    const auto run = at.find(FromQt(q.value(0)));
    if (run == at.end()) continue;
    MonitorRun& r = runs[run->second];
    (q.value(1).toBool() ? r.failedFigures : r.failedChecks).push_back(FromQt(q.value(2)));
  }
  if (figure.empty()) return runs;
  q.prepare(
      "SELECT m.run_id::text, m.unit, m.value, m.low, m.high FROM measurements m "
      "WHERE m.run_id = ANY(?::uuid[]) AND m.name = ?");
  q.addBindValue(IdArray(ids));
  q.addBindValue(ToQt(figure));
  if (!q.exec()) return Failed(results::PostgresWhy(q.lastError()));
  const auto number = [](const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
  };
  while (q.next()) {
    const auto run = at.find(FromQt(q.value(0)));
    if (run == at.end()) continue;
    MonitorRun& r = runs[run->second];
    if (!station.empty() && r.station != station) continue;
    r.figure = spc::Sample{figure,    FromQt(q.value(1)), r.station,          r.id,
                           r.started, number(q.value(2)), number(q.value(3)), number(q.value(4))};
  }
  return runs;
}

void MonitorModel::Reset(MonitorStart start, const std::string& figure,
                         const std::string& station) {
  since_ = start.since;
  figure_ = figure;
  chartStation_ = station;
  stations_.clear();
  for (StationState& s : start.stations) stations_[s.station] = std::move(s);
  runs_ = std::move(start.runs);
  std::stable_sort(runs_.begin(), runs_.end(), Older);
  ids_.clear();
  for (const MonitorRun& r : runs_) ids_.insert(r.id);
  failures_.clear();
  for (const FailureCount& f : start.failures) failures_[{f.figure, f.name}] += f.count;
  figureNames_ = std::move(start.figureNames);
  chart_ = std::move(start.chart);
  std::stable_sort(chart_.begin(), chart_.end(), Before);
}

bool MonitorModel::Add(const MonitorRun& run) {
  if (!ids_.insert(run.id).second) return false;
  StationState& s = stations_[run.station];
  if (s.station.empty() || std::tie(run.started, run.uploaded) >= std::tie(s.started, s.lastSeen)) {
    s = {run.station, run.serial, run.verdict, run.started, s.lastSeen, run.clockOffsetSeconds};
  }
  s.lastSeen = std::max(s.lastSeen, run.uploaded);
  if (run.started < since_) return true;  // older than the span: its station's state alone
  runs_.insert(std::upper_bound(runs_.begin(), runs_.end(), run, Older), run);
  for (const std::string& name : run.failedChecks) ++failures_[{false, name}];
  for (const std::string& name : run.failedFigures) {
    ++failures_[{true, name}];
  }
  if (run.figure)
    chart_.insert(std::upper_bound(chart_.begin(), chart_.end(), *run.figure, Before), *run.figure);
  return true;
}

std::vector<StationState> MonitorModel::Stations() const {
  std::vector<StationState> states;
  for (const auto& [name, state] : stations_) states.push_back(state);
  return states;
}

std::vector<YieldRow> MonitorModel::Yields() const {
  // The line report's count (selftest::YieldOf) over each group's runs, oldest first.
  std::map<std::pair<std::string, std::string>, std::vector<selftest::RunRecord>> groups;
  std::vector<selftest::RunRecord> all;
  for (const MonitorRun& r : runs_) {
    selftest::RunRecord record;
    record.id = r.id;
    record.info.serial = r.serial;
    record.info.station = r.station;
    record.info.startedIso8601 = r.started;
    record.verdict = selftest::VerdictNamed(r.verdict).value_or(selftest::Verdict::NotRun);
    groups[{r.started.substr(0, 13), r.station}].push_back(record);
    groups[{"", r.station}].push_back(record);
    all.push_back(std::move(record));
  }
  std::vector<YieldRow> rows = {{"", "", selftest::YieldOf(all)}};
  for (const auto& [key, members] : groups) {
    if (key.first.empty()) rows.push_back({"", key.second, selftest::YieldOf(members)});
  }
  // The newest hour first, its stations in name order.
  for (auto group = groups.rbegin(); group != groups.rend() && !group->first.first.empty();) {
    const std::string hour = group->first.first;
    auto end = group;
    while (end != groups.rend() && end->first.first == hour) ++end;
    std::vector<YieldRow> inHour;
    for (auto it = group; it != end; ++it) {
      inHour.push_back({hour, it->first.second, selftest::YieldOf(it->second)});
    }
    rows.insert(rows.end(), inHour.rbegin(), inHour.rend());
    group = end;
  }
  return rows;
}

std::vector<FailureCount> MonitorModel::Pareto() const {
  std::vector<FailureCount> counts;
  for (const auto& [key, count] : failures_) counts.push_back({key.first, key.second, count, 0});
  return ParetoOf(std::move(counts));
}

spc::Analysis MonitorModel::ChartAnalysis() const {
  return spc::Analyse(chart_);
}

std::vector<FailureCount> ParetoOf(std::vector<FailureCount> counts) {
  std::sort(counts.begin(), counts.end(), [](const FailureCount& a, const FailureCount& b) {
    return std::tuple(a.figure, -a.count, a.name) < std::tuple(b.figure, -b.count, b.name);
  });
  for (const bool figure : {false, true}) {
    double total = 0, sum = 0;
    for (const FailureCount& c : counts) total += c.figure == figure ? c.count : 0;
    for (FailureCount& c : counts) {
      if (c.figure != figure) continue;
      sum += c.count;
      c.cumulativeShare = total > 0 ? sum / total : 0;
    }
  }
  return counts;
}

}  // namespace line
