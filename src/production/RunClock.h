// A run's times from one clock: its start and end in UTC as the records write them
// ("2026-12-08T17:29:00Z"), its length from the steady clock, which no clock change moves.
#pragma once

#include <chrono>
#include <string>

#include "RunRecord.h"

namespace production {

// Now, in UTC, to the second.
std::string UtcNowIso8601();

// Who tested which card with what: the facts a station adds to a run.
struct StationFacts {
  std::string serial;  // empty when none was given
  std::string operatorName;
  std::string cardLibrary;  // the path of the library that answered
};

// Started when made; `Record` ends the run and gives it its id, times and the station's facts.
class RunClock {
 public:
  RunClock();
  selftest::RunRecord Record(const selftest::Outcome& outcome, const selftest::Profile& profile,
                             const StationFacts& facts) const;

 private:
  std::string started_;
  std::chrono::steady_clock::time_point startedAt_;
};

}  // namespace production
