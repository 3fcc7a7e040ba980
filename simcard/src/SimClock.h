// The simulated card's time base: the machine's steady clock (run faster by a pace, for
// long recordings in short tests), or a manual clock that moves only when a test says so.
#pragma once

#include <cstdint>

namespace simcard {

class SimClock {
 public:
  int64_t NowMicros() const;
  void SetManual(bool on);
  // Card time runs `pace` times as fast as the steady clock from now on.
  void SetPace(double pace);
  double pace() const { return pace_; }
  void AdvanceMs(int32_t ms);
  // Lets `micros` of card time pass: sleeps on the steady clock, moves the manual one.
  void Wait(int64_t micros);

 private:
  int64_t SteadyMicros() const;

  bool manual_ = false;
  int64_t manualMicros_ = 0;
  double pace_ = 1;
  int64_t paceFromSteady_ = 0, paceFromCard_ = 0;  // where the pace last changed
};

}  // namespace simcard
