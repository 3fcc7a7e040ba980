#include "SimClock.h"

#include <chrono>

namespace simcard {

int64_t SimClock::NowMicros() const {
  if (manual_) return manualMicros_;
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SimClock::SetManual(bool on) {
  if (on && !manual_) manualMicros_ = NowMicros();  // time goes on from where it was
  manual_ = on;
}

void SimClock::AdvanceMs(int32_t ms) {
  if (ms > 0) manualMicros_ += int64_t{ms} * 1000;
}

}  // namespace simcard
