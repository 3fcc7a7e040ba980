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

}  // namespace line
