// A day's yield as a line counts it: over units (the serials tested), not over runs. A unit's
// first run with a verdict decides its first-pass yield and its last one its final yield;
// an aborted run or one that could not run says nothing of the card and counts in neither.
#pragma once

#include <vector>

#include "RunRecord.h"

namespace selftest {

struct Yield {
  int runs = 0;       // every run
  int units = 0;      // serials with at least one PASS or FAIL
  int firstPass = 0;  // units whose first verdict was PASS
  int finalPass = 0;  // units whose last verdict was PASS
  int retested = 0;   // units with more than one PASS or FAIL
  int aborted = 0;
  int notRun = 0;
};

// `runs` oldest first. A run without a serial is a unit of its own.
Yield YieldOf(const std::vector<RunRecord>& runs);

// For each run (oldest first), whether an earlier run of `runs` had the same serial.
std::vector<bool> Retests(const std::vector<RunRecord>& runs);

}  // namespace selftest
