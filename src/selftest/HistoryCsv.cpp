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

// A plain decimal number ("-0.5", "+3", "1e-06"): a spreadsheet reads it as one, and no
// formula starts that way.
bool IsNumber(const std::string& text) {
  size_t at = text.find_first_not_of("+-") == 1 ? 1 : 0;
  size_t digits = 0;
  const auto skipDigits = [&] {
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) ++digits;
  };
  skipDigits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    skipDigits();
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    at += at + 1 < text.size() && (text[at + 1] == '+' || text[at + 1] == '-') ? 2 : 1;
    const size_t exponent = digits;
    skipDigits();
    if (digits == exponent) return false;
  }
  return at == text.size();
}

}  // namespace

std::string CsvCell(const std::string& text) {
  // A cell a spreadsheet would take for a formula ("=HYPERLINK(…)", "@SUM(…)", "-2+3") is
  // shown as text: a quote before it, as spreadsheets write one themselves.
  const bool formula = !text.empty() &&
                       std::string("=+-@\t\r").find(text[0]) != std::string::npos &&
                       !IsNumber(text);
  const std::string cell = formula ? "'" + text : text;
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string HistoryCsvHead() {
  std::string csv = "\xEF\xBB\xBF";
  for (const char* column : kCsvColumns) csv += std::string(csv.size() > 3 ? "," : "") + column;
  return csv + "\r\n";
}

std::string HistoryCsv(const std::vector<RunRecord>& runs) {
  return HistoryCsvHead() + HistoryCsvRows(runs);
}

std::string HistoryCsvRows(const std::vector<RunRecord>& runs) {
  std::string csv;
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
