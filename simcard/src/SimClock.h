// The simulated card's time base: the machine's steady clock, or a manual clock that moves
// only when a test says so.
#pragma once

#include <cstdint>

namespace simcard {

class SimClock {
 public:
  int64_t NowMicros() const;
  void SetManual(bool on);
  void AdvanceMs(int32_t ms);

 private:
  bool manual_ = false;
  int64_t manualMicros_ = 0;
};

}  // namespace simcard
