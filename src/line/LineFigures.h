// The line's figures for process control: each measured figure of each run, as the samples
// the process report judges (spc::Sample), read in one set-based query (LineStore::Figures).
#pragma once

#include <cstddef>
#include <string>

namespace line {

// Which figures: empty fields take every one.
struct FigureFilter {
  std::string figure;   // a measurement's name, "channel 64 SNR"
  std::string station;  // "工位1"
  std::string since;    // "2026-12-09" or "2026-12-09T08:00:00Z" (UTC)
  // Then each series' newest this many runs, cut by the report (0: all of them).
  size_t newestRuns = 0;
};

}  // namespace line
