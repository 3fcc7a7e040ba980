// The process report over the line's figures: each figure's series per station and for the
// whole line, judged by Spc.h, as a table for people, as CSV (with a byte-order mark) for a
// spreadsheet and as JSON for other programs. Numbers carry a point whatever the locale; CSV
// and JSON give them exactly as computed (the shortest text that reads back the same); a figure
// without a value is an empty cell, null, or "-" in the table, never 0.
#pragma once

#include <string>
#include <vector>

#include "Spc.h"

namespace spc {

// A figure's series at one station, or at the whole line (station empty).
struct Series {
  std::string figure, unit, station;
  std::vector<const Sample*> samples;  // oldest first, pointing into the report's samples
  Analysis analysis;
};

// The samples and their series, which point into them: kept whole, moved but never copied.
struct Report {
  std::vector<Sample> samples;
  std::vector<Series> series;
  Report() = default;
  Report(Report&&) = default;
  Report& operator=(Report&&) = default;
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;
};

// The samples grouped by figure and, within a figure, by station (each in name order) and
// then the whole line's, each series in its runs' order (their start, to the second, then
// their id; whatever order the samples came in) and cut to its newest `runs` runs where above
// 0; the line's series only where `withLine`. A sample is held once, whatever series take it.
Report SeriesOf(std::vector<Sample> samples, size_t runs, bool withLine);

// "2 三点中两点超出2σ (2 of 3 beyond 2 sigma, same side)".
std::string RuleText(int rule);

std::string SpcTable(const std::vector<Series>& series);
std::string SpcCsv(const std::vector<Series>& series);
// With each series' points (run, start, value, moving range) where `withPoints`.
std::string SpcJson(const std::vector<Series>& series, bool withPoints);

}  // namespace spc
