// What a run says, in each of its forms: a short table in Simplified Chinese for the
// operator, a JSON document and JUnit XML for the line's records, and a history of runs as
// a table and as CSV. Each form is its own file; the run's facts come from RunFacts.
#pragma once

#include <string>
#include <vector>

#include "RunRecord.h"

namespace selftest {

// One line per check, the verdict last; a failing run names its first failing check there.
std::string Table(const Outcome& outcome, const Profile& profile);

// The run as a JSON document.
std::string Json(const RunRecord& run);

// Runs as JUnit XML, which CI servers and test dashboards read: a test suite per run named
// by its serial number, the run's facts as its properties, one test case per check; a
// failed check is a failure (its detail, and each failing measurement with its value and
// limits), an interrupted one an error, and a run that could not run one erroring case.
std::string JUnitXml(const std::vector<RunRecord>& runs);

// A history of runs for the operator (a line each, in Chinese) and for a spreadsheet (CSV
// with a byte-order mark, a row each).
std::string HistoryTable(const std::vector<RunRecord>& runs);
std::string HistoryCsv(const std::vector<RunRecord>& runs);

// The same forms a page of runs at a time, for a history too long to hold at once: what
// comes before the first run, each page's runs, and what comes after the last (the table's
// count of them all).
std::string JUnitXmlHead();
std::string JUnitSuites(const std::vector<RunRecord>& runs);
std::string JUnitXmlEnd();
std::string HistoryTableHead();
std::string HistoryTableRows(const std::vector<RunRecord>& runs);
std::string HistoryTableEnd(size_t runs, size_t passed);
std::string HistoryCsvHead();
std::string HistoryCsvRows(const std::vector<RunRecord>& runs);
// A cell as a spreadsheet reads it: quoted when it holds a comma, a quote or a line end, and
// text a spreadsheet would run as a formula (a first = + - @, tab or carriage return) after
// a single quote; a number stays a number.
std::string CsvCell(const std::string& text);

}  // namespace selftest
