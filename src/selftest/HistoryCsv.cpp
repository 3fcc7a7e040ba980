// A history of runs for a spreadsheet: CSV with a byte-order mark, a row each.
#include "ReportFormats.h"
#include "RunFacts.h"

namespace selftest {
namespace {

// The CSV's columns, in the order a spreadsheet has always had them.
constexpr const char* kCsvColumns[] = {
    "run_id",           "started",      "ended",   "duration_s",    "serial",
    "station",          "operator",     "verdict", "first_failure", "profile",
    "profile_checksum", "card_library", "version"};

}  // namespace

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string HistoryCsv(const std::vector<RunRecord>& runs) {
  std::string csv = "\xEF\xBB\xBF";
  for (const char* column : kCsvColumns) csv += std::string(csv.size() > 3 ? "," : "") + column;
  csv += "\r\n";
  for (const RunRecord& run : runs) {
    for (const char* column : kCsvColumns) {
      if (column != kCsvColumns[0]) csv += ',';
      csv += CsvCell(FactText(Fact(column).get(run)));
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace selftest
