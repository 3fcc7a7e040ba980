#include "Yield.h"

#include <map>
#include <set>
#include <string>

namespace selftest {

namespace {

bool HasVerdict(const RunRecord& run) {
  return run.verdict == Verdict::Pass || run.verdict == Verdict::Fail;
}

}  // namespace

Yield YieldOf(const std::vector<RunRecord>& runs) {
  struct Unit {
    bool firstPassed = false, lastPassed = false, retested = false;
  };
  Yield y;
  std::map<std::string, Unit> units;
  const std::vector<bool> retests = Retests(runs);
  int anonymous = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    const RunRecord& run = runs[i];
    ++y.runs;
    if (run.verdict == Verdict::Aborted) {
      ++y.aborted;
      continue;
    }
    if (!HasVerdict(run)) {
      ++y.notRun;
      continue;
    }
    const bool passed = run.verdict == Verdict::Pass;
    // An empty serial cannot be told from another: each such run is its own unit.
    std::string key = run.info.serial;
    if (key.empty()) key.append(1, '\n').append(std::to_string(anonymous++));
    const auto [it, first] = units.try_emplace(key);
    Unit& u = it->second;
    if (first) u.firstPassed = passed;
    u.lastPassed = passed;
    u.retested = u.retested || retests[i];
  }
  for (const auto& [serial, u] : units) {
    ++y.units;
    y.firstPass += u.firstPassed ? 1 : 0;
    y.finalPass += u.lastPassed ? 1 : 0;
    y.retested += u.retested ? 1 : 0;
  }
  return y;
}

std::vector<bool> Retests(const std::vector<RunRecord>& runs) {
  std::vector<bool> retest;
  std::set<std::string> judged;  // serials with a PASS or FAIL so far
  for (const RunRecord& run : runs) {
    const bool counts = HasVerdict(run) && !run.info.serial.empty();
    retest.push_back(counts && !judged.insert(run.info.serial).second);
  }
  return retest;
}

}  // namespace selftest
