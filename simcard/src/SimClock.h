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
  // Lets `micros` of card time pass: sleeps on the steady clock, moves the manual one.
  void Wait(int64_t micros);

 private:
  bool manual_ = false;
  int64_t manualMicros_ = 0;
};

}  // namespace simcard
