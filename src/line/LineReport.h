// The line's report over its runs: per day (UTC) and station the runs, the first-pass yield
// (each serial's first run there) and the final yield; the whole line's; the serials tested
// more than once, with each run's station and verdict; and the stations whose clocks were
// off the server's. As a table for people and as CSV (with a byte-order mark) for a
// spreadsheet.
#pragma once

#include <string>
#include <vector>

#include "LineStore.h"

namespace line {

std::string LineReportTable(const std::vector<LineRun>& runs);
std::string LineReportCsv(const std::vector<LineRun>& runs);
// The run with only what the report counts it by (its start, station, serial, verdict and
// clock): a long line's runs held for the report in little memory.
LineRun ForReport(LineRun&& run);

}  // namespace line
