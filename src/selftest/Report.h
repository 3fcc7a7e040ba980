// What a self-test run says: a short table in Simplified Chinese for the operator, and a JSON
// document for the production line's records.
#pragma once

#include <string>

#include "ProductionCheck.h"
#include "Profile.h"

namespace selftest {

// One line per check, the verdict last; a failing run names its first failing check there.
std::string Table(const Outcome& outcome, const Profile& profile);

// Who ran the test, where, on what and when, as a line's records need it.
struct RunInfo {
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

// The run as JUnit XML, which CI servers and test dashboards read: one test suite named by
// the serial number, the run's facts as its properties, one test case per check; a failed
// check is a failure (its detail, and each failing measurement with its value and limits),
// an interrupted one an error, and a run that could not run one erroring case.
std::string JUnitXml(const Outcome& outcome, const Profile& profile, const RunInfo& info);

// "PASS", "FAIL", "NOT RUN" or "ABORTED", as the report names them.
const char* VerdictName(Verdict verdict);

// The Chinese name of a check ("identity" is "板卡标识").
std::string CheckTitle(const std::string& name);

}  // namespace selftest
