// A day's yield as a line counts it: over units (the serials tested), not over runs. A unit's
// first run with a verdict decides its first-pass yield and its last one its final yield;
// an aborted run or one that could not run says nothing of the card and counts in neither.
// A retest is a verdict of a unit that already had one: the yield counts those units, and a
// list of runs marks those runs, by the one rule of `Retests`.
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

// For each run (oldest first), whether it is a PASS or FAIL of a serial that had a PASS or
// FAIL earlier in `runs`, however many runs lie between. Aborted runs, runs that could not
// run and runs without a serial are never retests, nor make a later run one.
std::vector<bool> Retests(const std::vector<RunRecord>& runs);

}  // namespace selftest
