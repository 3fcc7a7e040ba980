// A history of runs: a table for the operator and CSV for a spreadsheet.
#include <cstdio>

#include "MeasurementText.h"
#include "ReportFormats.h"
#include "RunFacts.h"

namespace selftest {
namespace {

// The CSV's columns, in the order a spreadsheet has always had them.
constexpr const char* kCsvColumns[] = {
    "run_id",           "started",      "ended",   "duration_s",    "serial",
    "station",          "operator",     "verdict", "first_failure", "profile",
    "profile_checksum", "card_library", "version"};

// A cell as a spreadsheet reads it: quoted when it holds a comma, a quote or a line end.
std::string Cell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

}  // namespace

std::string HistoryTable(const std::vector<RunRecord>& runs) {
  std::string text =
      "开始时间 started         序列号 serial     工位 station   操作员 operator  结论 verdict\n";
  size_t passed = 0;
  for (const RunRecord& run : runs) {
    passed += run.verdict == Verdict::Pass ? 1 : 0;
    text += run.info.startedIso8601 + "  " + OrDash(run.info.serial) + "  " + run.info.station +
            "  " + OrDash(run.info.operatorName) + "  " + VerdictName(run.verdict);
    const Check* failed = run.FirstFailure();
    if (failed && run.verdict == Verdict::Fail) text += " (" + CheckTitle(failed->kind) + ")";
    text += "\n";
  }
  char summary[96];
  std::snprintf(summary, sizeof summary, "共 %zu 次, 通过 %zu 次 (%zu runs, %zu passed)\n",
                runs.size(), passed, runs.size(), passed);
  return text + summary;
}

std::string HistoryCsv(const std::vector<RunRecord>& runs) {
  std::string csv = "\xEF\xBB\xBF";
  for (const char* column : kCsvColumns) csv += std::string(csv.size() > 3 ? "," : "") + column;
  csv += "\r\n";
  for (const RunRecord& run : runs) {
    for (const char* column : kCsvColumns) {
      if (column != kCsvColumns[0]) csv += ',';
      csv += Cell(FactText(Fact(column).get(run)));
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace selftest
