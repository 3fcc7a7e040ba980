#include "SimClock.h"

#include <chrono>
#include <thread>

namespace simcard {

int64_t SimClock::SteadyMicros() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t SimClock::NowMicros() const {
  if (manual_) return manualMicros_;
  if (pace_ == 1) return SteadyMicros();
  return paceFromCard_ +
         static_cast<int64_t>(static_cast<double>(SteadyMicros() - paceFromSteady_) * pace_);
}

void SimClock::SetPace(double pace) {
  if (pace == pace_) return;
  paceFromCard_ = NowMicros();  // card time goes on from where it was
  paceFromSteady_ = SteadyMicros();
  pace_ = pace;
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
    std::this_thread::sleep_for(
        std::chrono::microseconds(static_cast<int64_t>(static_cast<double>(micros) / pace_)));
  }
}

}  // namespace simcard
