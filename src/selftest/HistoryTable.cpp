// A history of runs for the operator: a line each, in Chinese, and the count.
#include <cstdio>

#include "MeasurementText.h"
#include "ReportFormats.h"

namespace selftest {
namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

}  // namespace

std::string HistoryTable(const std::vector<RunRecord>& runs) {
  size_t passed = 0;
  for (const RunRecord& run : runs) passed += run.verdict == Verdict::Pass ? 1 : 0;
  return HistoryTableHead() + HistoryTableRows(runs) + HistoryTableEnd(runs.size(), passed);
}

std::string HistoryTableHead() {
  return "开始时间 started         序列号 serial     工位 station   操作员 operator  结论 "
         "verdict\n";
}

std::string HistoryTableRows(const std::vector<RunRecord>& runs) {
  std::string text;
  for (const RunRecord& run : runs) {
    text += run.info.startedIso8601 + "  " + OrDash(run.info.serial) + "  " + run.info.station +
            "  " + OrDash(run.info.operatorName) + "  " + VerdictName(run.verdict);
    const Check* failed = run.FirstFailure();
    if (failed && run.verdict == Verdict::Fail) text += " (" + CheckTitle(*failed) + ")";
    text += "\n";
  }
  return text;
}

std::string HistoryTableEnd(size_t runs, size_t passed) {
  char summary[96];
  std::snprintf(summary, sizeof summary, "共 %zu 次, 通过 %zu 次 (%zu runs, %zu passed)\n", runs,
                passed, runs, passed);
  return summary;
}

}  // namespace selftest
