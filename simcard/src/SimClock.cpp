#include "SimClock.h"

#include <chrono>
#include <thread>

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

void SimClock::Wait(int64_t micros) {
  if (micros <= 0) return;
  if (manual_) {
    manualMicros_ += micros;
  } else {
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
  }
}

}  // namespace simcard
