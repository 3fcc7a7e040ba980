// What a self-test run says: a short table in Simplified Chinese for the operator, and a JSON
// document for the production line's records.
#pragma once

#include <string>

#include "ProductionCheck.h"
#include "Profile.h"

namespace selftest {

// One line per check, the verdict last; a failing run names its first failing check there.
std::string Table(const Outcome& outcome, const Profile& profile);

struct RunInfo {
  std::string version;
  std::string startedIso8601;  // "2026-12-08T17:29:00Z"
};
std::string Json(const Outcome& outcome, const Profile& profile, const RunInfo& info);

// "PASS", "FAIL", "NOT RUN" or "ABORTED", as the report names them.
const char* VerdictName(Verdict verdict);

// The Chinese name of a check ("identity" is "板卡标识").
std::string CheckTitle(const std::string& name);

}  // namespace selftest
