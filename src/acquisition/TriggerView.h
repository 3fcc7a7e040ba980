// What the waveform window shows of a trigger, as an oscilloscope's modes decide it:
//   auto    the live blocks while no trigger comes; a captured span when one does, held
//           until the next, or until kAutoLiveSeconds of card time pass with none, when the
//           live blocks show again;
//   normal  only captured spans, the last held until the next;
//   single  armed once: the one span it captured is held, and no trigger fires, until the
//           operator arms it again.
// Time is card time, the blocks' spans as the view hears them (lost ones included), so the
// rule does not depend on the window's pace. And the captured span as one block of scans,
// for the plot, the figures and the values.
#pragma once

#include <cstdint>
#include <vector>

#include "Block.h"
#include "Trigger.h"

namespace acquisition {

enum class ScopeMode { Auto, Normal, Single };

// The trigger's own mode for a scope mode: auto and normal arm again after each capture.
Trigger::Mode TriggerModeOf(ScopeMode mode);

class TriggerView {
 public:
  // Auto shows the live blocks again after this much card time without a new capture.
  static constexpr double kAutoLiveSeconds = 1.0;

  explicit TriggerView(ScopeMode mode = ScopeMode::Auto);

  // Another mode: armed anew, any span held stays until the next trigger (or auto's wait).
  void SetMode(ScopeMode mode);
  // Armed anew (a single shot may fire again); a held span stays on view until the next.
  void Arm();
  // Card time passed: `seconds` of blocks, lost ones included.
  void Pass(double seconds);
  // The trigger fired; its span comes once its post time has passed.
  void Fired();
  // The span of the last trigger came: it is the one held.
  void Captured();
  // The acquisition stopped: no span is on its way any more.
  void Stopped();

  ScopeMode mode() const { return mode_; }
  // The live blocks are on view (auto alone, with no span held).
  bool live() const;
  // A captured span is on view.
  bool holdsSpan() const { return haveSpan_ && !live(); }
  // Armed, and nothing fired since: "等待触发…" (auto shows live blocks meanwhile).
  bool waiting() const { return mode_ != ScopeMode::Auto && armed_ && !firedSinceArm_; }
  // The trigger may fire: not after a single shot until armed again.
  bool armed() const { return armed_; }
  // A trigger fired and its span is still on its way.
  bool capturing() const { return capturing_; }

 private:
  ScopeMode mode_;
  bool armed_ = true;
  bool firedSinceArm_ = false;
  bool capturing_ = false;
  bool haveSpan_ = false;
  double sinceSpan_ = 0;  // card time since the held span came
};

// The scans of a capture timed within its fromSeconds..toSeconds, its blocks' cells joined
// (blocks lost in between are left out: `gap` says so).
struct CapturedSpan {
  std::vector<int16_t> cells;
  BlockView shape;          // channels, scans (as points) and rate; no cells
  double firstSeconds = 0;  // the first scan's time from the acquisition's start
  FiredTrigger trigger;
  bool gap = false;
};
CapturedSpan JoinSpan(const TriggerCapture& capture);

}  // namespace acquisition
