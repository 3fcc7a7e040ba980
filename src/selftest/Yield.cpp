#include "Yield.h"

#include <map>
#include <set>
#include <string>

namespace selftest {

Yield YieldOf(const std::vector<RunRecord>& runs) {
  struct Unit {
    bool firstPassed = false, lastPassed = false;
    int verdicts = 0;
  };
  Yield y;
  std::map<std::string, Unit> units;
  int anonymous = 0;
  for (const RunRecord& run : runs) {
    ++y.runs;
    if (run.verdict == Verdict::Aborted) {
      ++y.aborted;
      continue;
    }
    if (run.verdict != Verdict::Pass && run.verdict != Verdict::Fail) {
      ++y.notRun;
      continue;
    }
    const bool passed = run.verdict == Verdict::Pass;
    // An empty serial cannot be told from another: each such run is its own unit.
    std::string key = run.info.serial;
    if (key.empty()) key.append(1, '\n').append(std::to_string(anonymous++));
    Unit& u = units[key];
    if (u.verdicts++ == 0) u.firstPassed = passed;
    u.lastPassed = passed;
  }
  for (const auto& [serial, u] : units) {
    ++y.units;
    y.firstPass += u.firstPassed ? 1 : 0;
    y.finalPass += u.lastPassed ? 1 : 0;
    y.retested += u.verdicts > 1 ? 1 : 0;
  }
  return y;
}

std::vector<bool> Retests(const std::vector<RunRecord>& runs) {
  std::vector<bool> retest;
  std::set<std::string> seen;
  for (const RunRecord& run : runs) {
    retest.push_back(!run.info.serial.empty() && !seen.insert(run.info.serial).second);
  }
  return retest;
}

}  // namespace selftest
