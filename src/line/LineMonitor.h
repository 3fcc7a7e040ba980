// What the line monitor shows, as plain values: each station's state, the yield per hour and
// per station, the Pareto of failing checks and figures, and one figure's control chart. The
// first picture comes from a few grouped queries (LineStore::MonitorSince); each run the
// server announces afterwards is read alone (LineStore::MonitorRuns) and added here, so the
// whole table is never read again.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Spc.h"
#include "Yield.h"

namespace line {

// The channel on which the line's server names each run it added (its id).
constexpr const char* kRunsChannel = "kzb_runs";

// A run as the monitor needs it: no checks, only the names of those that failed.
struct MonitorRun {
  std::string id, serial, station;
  std::string started, uploaded;  // UTC, "2026-12-09T08:00:00Z"
  std::string verdict;            // PASS, FAIL, NOT RUN, ABORTED
  double clockOffsetSeconds = 0;
  std::vector<std::string> failedChecks, failedFigures;
  std::optional<spc::Sample> figure;  // the chart's figure in this run, where it has one
};

// A station's newest run and when the line last heard from it.
struct StationState {
  std::string station, serial, verdict, started;
  std::string lastSeen;  // the newest upload
  double clockOffsetSeconds = 0;
};

// A failing check ("analog") or figure ("channel 5 gain") and how often it failed.
struct FailureCount {
  bool figure = false;
  std::string name;
  int count = 0;
  double cumulativeShare = 0;  // of all failures of its list, this and those above it, 0..1
};

// The yield of one station (empty: the whole line) in one hour ("2026-12-09T08"; empty: the
// whole span), as the line's report counts it.
struct YieldRow {
  std::string hour, station;
  selftest::Yield yield;
};

// What the monitor read at first: the span's start, the stations, the runs since it (without
// their checks), the failures counted by the server and the figures there are.
struct MonitorStart {
  std::string since;
  std::vector<StationState> stations;
  std::vector<MonitorRun> runs;
  std::vector<FailureCount> failures;
  std::vector<std::string> figureNames;
  std::vector<spc::Sample> chart;  // the chosen figure's samples since then
};

class MonitorModel {
 public:
  // What the monitor shows of `figure` (empty: no chart) at `station` (empty: the line).
  void Reset(MonitorStart start, const std::string& figure, const std::string& station);
  // A run the server announced; false when the monitor has it already.
  bool Add(const MonitorRun& run);

  const std::string& since() const { return since_; }
  const std::string& figure() const { return figure_; }
  const std::string& chartStation() const { return chartStation_; }
  std::vector<StationState> Stations() const;
  // The whole line over the span, each station over it, then each hour (the newest first)
  // per station.
  std::vector<YieldRow> Yields() const;
  // Checks first, then figures, each most frequent first (then by name).
  std::vector<FailureCount> Pareto() const;
  const std::vector<std::string>& FigureNames() const { return figureNames_; }
  // The chart's samples, oldest first, and their judgement.
  const std::vector<spc::Sample>& ChartSamples() const { return chart_; }
  spc::Analysis ChartAnalysis() const;
  size_t RunCount() const { return runs_.size(); }

 private:
  std::string since_, figure_, chartStation_;
  std::map<std::string, StationState> stations_;
  std::vector<MonitorRun> runs_;  // oldest first
  std::set<std::string> ids_;
  std::map<std::pair<bool, std::string>, int> failures_;
  std::vector<std::string> figureNames_;
  std::vector<spc::Sample> chart_;
};

// The counts sorted, each list's cumulative share filled in.
std::vector<FailureCount> ParetoOf(std::vector<FailureCount> counts);

}  // namespace line
