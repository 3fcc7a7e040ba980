// What a self-test run says: a short table in Simplified Chinese for the operator, and a JSON
// document for the production line's records.
#pragma once

#include <string>
#include <vector>

#include "ProductionCheck.h"
#include "Profile.h"

namespace selftest {

// One line per check, the verdict last; a failing run names its first failing check there.
std::string Table(const Outcome& outcome, const Profile& profile);

// Who ran the test, where, on what and when, as a line's records need it.
struct RunInfo {
  std::string runId;  // NewRunId's, given when the run ends; the same in every record of it
  std::string version;
  std::string startedIso8601;  // "2026-12-08T17:29:00Z"
  std::string endedIso8601;
  double durationSeconds = 0;
  std::string serial;   // of the card under test; empty when none was given
  std::string station;  // the profile's station, or the host's name
  std::string operatorName;
  std::string cardLibrary;  // the path of the library that answered
};
std::string Json(const Outcome& outcome, const Profile& profile, const RunInfo& info);

// A run as the results database keeps it: its facts, verdict and checks.
struct RunRecord {
  std::string id;  // the run's id (RunInfo::runId)
  RunInfo info;
  std::string profileName, profileChecksum;
  std::string card;     // the identity line
  std::string verdict;  // as VerdictName gives it
  std::string whyNot;   // of a run that could not run
  std::vector<Check> checks;
  // The first failing check's name, or empty.
  std::string FirstFailure() const;
};
RunRecord RecordOf(const Outcome& outcome, const Profile& profile, const RunInfo& info);

// Runs as JUnit XML, which CI servers and test dashboards read: a test suite per run named
// by its serial number, the run's facts as its properties, one test case per check; a
// failed check is a failure (its detail, and each failing measurement with its value and
// limits), an interrupted one an error, and a run that could not run one erroring case.
std::string JUnitXml(const std::vector<RunRecord>& runs);
std::string JUnitXml(const Outcome& outcome, const Profile& profile, const RunInfo& info);

// A history of runs for the operator (a line each, in Chinese) and for a spreadsheet (CSV
// with a byte-order mark, a row each).
std::string HistoryTable(const std::vector<RunRecord>& runs);
std::string HistoryCsv(const std::vector<RunRecord>& runs);

// "PASS", "FAIL", "NOT RUN" or "ABORTED", as the report names them.
const char* VerdictName(Verdict verdict);

// The Chinese name of a check ("identity" is "板卡标识") and of a verdict ("PASS" is "通过").
std::string CheckTitle(const std::string& name);
std::string VerdictTitle(const std::string& verdictName);

}  // namespace selftest
