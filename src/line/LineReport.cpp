#include "LineReport.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "NumberForms.h"
#include "ReportFormats.h"
#include "Yield.h"

namespace line {
namespace {

struct Group {
  std::string day, station;  // empty station: the whole line
  selftest::Yield yield;
};

std::string Percent(int part, int whole) {
  if (whole == 0) return "-";
  return numtext::Fixed(100.0 * part / whole, 1) + "%";
}

// What a yield counts a run by: its serial and verdict.
selftest::RunRecord Counted(const selftest::RunRecord& run) {
  selftest::RunRecord counted;
  counted.info.serial = run.info.serial;
  counted.verdict = run.verdict;
  return counted;
}

// Per day and station, then the whole line.
std::vector<Group> Groups(const std::vector<LineRun>& runs) {
  std::map<std::pair<std::string, std::string>, std::vector<selftest::RunRecord>> byGroup;
  std::vector<selftest::RunRecord> all;
  all.reserve(runs.size());
  for (const LineRun& r : runs) {
    byGroup[{r.run.info.startedIso8601.substr(0, 10), r.run.info.station}].push_back(
        Counted(r.run));
    all.push_back(Counted(r.run));
  }
  std::vector<Group> groups;
  for (const auto& [key, members] : byGroup) {
    groups.push_back({key.first, key.second, selftest::YieldOf(members)});
  }
  groups.push_back({"", "", selftest::YieldOf(all)});
  return groups;
}

// Each serial tested more than once: its runs' stations and verdicts, in order.
std::map<std::string, std::vector<const selftest::RunRecord*>> Retested(
    const std::vector<LineRun>& runs) {
  std::map<std::string, std::vector<const selftest::RunRecord*>> bySerial;
  for (const LineRun& r : runs) {
    if (!r.run.info.serial.empty()) bySerial[r.run.info.serial].push_back(&r.run);
  }
  std::erase_if(bySerial, [](const auto& entry) { return entry.second.size() < 2; });
  return bySerial;
}

// The stations whose clock was off the server's by more than the limit: the largest offset
// and how many runs.
std::map<std::string, std::pair<double, int>> ClocksOff(const std::vector<LineRun>& runs) {
  std::map<std::string, std::pair<double, int>> off;
  for (const LineRun& r : runs) {
    if (std::abs(r.clockOffsetSeconds) <= kClockOffLimitSeconds) continue;
    auto& [largest, count] = off[r.run.info.station];
    if (std::abs(r.clockOffsetSeconds) > std::abs(largest)) largest = r.clockOffsetSeconds;
    ++count;
  }
  return off;
}

}  // namespace

LineRun ForReport(LineRun&& run) {
  LineRun kept;
  kept.run.info.startedIso8601 = std::move(run.run.info.startedIso8601);
  kept.run.info.station = std::move(run.run.info.station);
  kept.run.info.serial = std::move(run.run.info.serial);
  kept.run.verdict = run.run.verdict;
  kept.clockOffsetSeconds = run.clockOffsetSeconds;
  return kept;
}

std::string LineReportTable(const std::vector<LineRun>& runs) {
  std::string text =
      "日期 day (UTC)  工位 station  次数 runs  板卡 units  一次通过率 first-pass  最终合格率 "
      "final\n";
  char line[512];
  for (const Group& g : Groups(runs)) {
    const auto& y = g.yield;
    std::snprintf(line, sizeof line, "%-14s %-12s %9d %11d %21s %17s\n",
                  g.day.empty() ? "全线 line" : g.day.c_str(), g.station.c_str(), y.runs, y.units,
                  Percent(y.firstPass, y.units).c_str(), Percent(y.finalPass, y.units).c_str());
    text += line;
  }
  const auto retested = Retested(runs);
  if (!retested.empty()) text += "复测 retested:\n";
  for (const auto& [serial, tries] : retested) {
    text += "  " + serial + ":";
    for (size_t i = 0; i < tries.size(); ++i) {
      text += std::string(i ? "," : "") + " " + tries[i]->info.station + " " +
              selftest::VerdictName(tries[i]->verdict);
    }
    text += "\n";
  }
  const auto off = ClocksOff(runs);
  if (!off.empty()) text += "时钟偏差 clocks off the server's:\n";
  for (const auto& [station, worst] : off) {
    const std::string seconds = numtext::Fixed(worst.first, 0);
    text += "  " + station + ": " + (seconds[0] == '-' ? "" : "+") + seconds + " s (" +
            std::to_string(worst.second) + " 次 runs)\n";
  }
  return text;
}

std::string LineReportCsv(const std::vector<LineRun>& runs) {
  std::string csv =
      "\xEF\xBB\xBF"
      "day,station,runs,units,first_pass,final_pass,retested,aborted,not_run\r\n";
  for (const Group& g : Groups(runs)) {
    const auto& y = g.yield;
    csv += selftest::CsvCell(g.day.empty() ? "line" : g.day) + "," + selftest::CsvCell(g.station) +
           "," + std::to_string(y.runs) + "," + std::to_string(y.units) + "," +
           std::to_string(y.firstPass) + "," + std::to_string(y.finalPass) + "," +
           std::to_string(y.retested) + "," + std::to_string(y.aborted) + "," +
           std::to_string(y.notRun) + "\r\n";
  }
  return csv;
}

}  // namespace line
