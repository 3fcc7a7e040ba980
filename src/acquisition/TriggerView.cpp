#include "TriggerView.h"

#include <algorithm>

namespace acquisition {

Trigger::Mode TriggerModeOf(ScopeMode mode) {
  return mode == ScopeMode::Single ? Trigger::Mode::Single : Trigger::Mode::Repeat;
}

TriggerView::TriggerView(ScopeMode mode) : mode_(mode) {}

void TriggerView::SetMode(ScopeMode mode) {
  mode_ = mode;
  Arm();
}

void TriggerView::Arm() {
  armed_ = true;
  firedSinceArm_ = false;
}

void TriggerView::Pass(double seconds) {
  if (seconds > 0) sinceSpan_ += seconds;
}

void TriggerView::Fired() {
  firedSinceArm_ = true;
  capturing_ = true;
  if (mode_ == ScopeMode::Single) armed_ = false;
}

void TriggerView::Captured() {
  capturing_ = false;
  haveSpan_ = true;
  sinceSpan_ = 0;
}

void TriggerView::Stopped() {
  capturing_ = false;
}

// Auto keeps a held span while the next trigger's span is on its way, so a steady train of
// triggers never flickers back to the live blocks between two spans.
bool TriggerView::live() const {
  if (mode_ != ScopeMode::Auto) return false;
  return !haveSpan_ || (!capturing_ && sinceSpan_ >= kAutoLiveSeconds);
}

CapturedSpan JoinSpan(const TriggerCapture& capture) {
  CapturedSpan span;
  span.trigger = capture.trigger;
  span.gap = capture.gap;
  span.shape.channels = capture.channels;
  span.shape.aggregateRate = capture.aggregateRate;
  if (capture.channels <= 0 || capture.points <= 0 || capture.aggregateRate <= 0) return span;
  const double scanSeconds = static_cast<double>(capture.channels) / capture.aggregateRate;
  int scans = 0;
  for (const CapturedBlock& block : capture.blocks) {
    for (int point = 0; point < capture.points; ++point) {
      // A scan starts with channel 0: its time is the scan's.
      const double at = static_cast<double>(block.block * capture.points + point) * scanSeconds;
      if (at < capture.fromSeconds || at > capture.toSeconds) continue;
      if (scans == 0) span.firstSeconds = at;
      const auto from = block.cells.begin() + static_cast<ptrdiff_t>(point) * capture.channels;
      span.cells.insert(span.cells.end(), from, from + capture.channels);
      ++scans;
    }
  }
  span.shape.points = scans;
  return span;
}

}  // namespace acquisition
