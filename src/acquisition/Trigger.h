// A trigger on one channel, fed the acquisition's blocks in the card's order (a BlockFeed
// subscriber): it fires when the channel crosses its level (or a window's end) after
// arming, timed between the two samples either side, and captures the blocks around it.
//
// Time is card time from the acquisition's start, counted in blocks as the recording counts
// them (lost blocks included, as many as the loss watch found): the first block the trigger
// hears is block 0 unless StartAt says which it is (a trigger armed while the card runs),
// and after a stop the next start's first block is 0 again. The card scans the channels
// in turn, one every 1 / aggregate rate (20 us at 50,000 a second), so channel k of scan n is
// sampled at (n x channels + k) / aggregate rate, that is n x 1.28 ms + k x 20 us: each sample
// is timed at its own place in the scan, so no skew between channels is left in a trigger's
// time. The crossing is interpolated linearly between the channel's two samples either side
// (1.28 ms apart).
//
// Arming: rising arms below level - hysteresis and fires on reaching the level; falling arms
// above level + hysteresis and fires on reaching the level; either does both; entering
// arms outside low..high by the hysteresis and fires on reaching the window; leaving arms
// inside it by the hysteresis and fires on stepping out of low..high. A crossing that comes
// while the trigger may not fire (within holdoff of the last trigger, before the last
// capture's post time has passed unless it fires on every crossing, after a single shot) is
// passed over and disarms it.
//
// A gap (blocks lost before a block) is never interpolated across: when the channel is
// first seen crossed just after a gap, the trigger fires marked `gap`, its time the sample
// after the gap and `earliestSeconds` the sample before it: the crossing lies somewhere
// between, never at a time made up. A stop ends the acquisition: a capture still waiting for
// its post time is handed over cut short, and the next start counts from 0 again.
//
// Pre-trigger comes from a ring of whole blocks, sized once from the pre time (at 60 s, 158
// blocks of 64 x 300 samples, 6.1 MB) when the first block shows the blocks' shape.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "Block.h"
#include "BlockFeed.h"
#include "TriggerSetup.h"

namespace acquisition {

enum class TriggerEdge { Rising, Falling, Enter, Leave };

// A trigger that fired: what the recording's event keeps.
struct FiredTrigger {
  int channel = 0;  // 0-based
  TriggerEdge edge = TriggerEdge::Rising;
  double levelVolts = 0;  // the level crossed: for a window, the end crossed
  double seconds = 0;     // the crossing, from the acquisition's start
  // The crossing lies in lost blocks: `seconds` is the first sample after the gap, and
  // `earliestSeconds` the last before it. Without a gap the two are the same.
  bool gap = false;
  double earliestSeconds = 0;
  int64_t block = 0;  // the block whose span holds `seconds`, counted from the start
};

struct CapturedBlock {
  int64_t block = 0;      // counted from the start, lost blocks included
  bool afterGap = false;  // blocks were lost just before it
  std::vector<int16_t> cells;
};

// The blocks around a trigger: the whole blocks that hold fromSeconds..toSeconds, as far as
// the acquisition had them (not before its start, none of the lost ones), and after the
// trigger at most kTriggerMostKeptPostSeconds.
struct TriggerCapture {
  FiredTrigger trigger;
  double fromSeconds = 0, toSeconds = 0;  // trigger - pre .. trigger + post
  int channels = 0, points = 0;
  int32_t aggregateRate = 0;
  std::vector<CapturedBlock> blocks;
  bool gap = false;       // blocks were lost within the span
  bool cutShort = false;  // the acquisition stopped before the post time had passed
};
inline constexpr double kTriggerMostKeptPostSeconds = 60.0;

struct TriggerHandlers {
  // At the block that holds the crossing.
  std::function<void(const FiredTrigger&)> fired;
  // When the post time has passed, or the acquisition stopped first. Without it the trigger
  // keeps no ring and copies no block: it only fires.
  std::function<void(TriggerCapture&&)> captured;
};

class Trigger {
 public:
  // Repeat arms again once a capture's post time has passed; Every fires on each crossing
  // after holdoff, whatever captures are waiting (their spans may overlap); Single fires
  // once, until Arm.
  enum class Mode { Repeat, Every, Single };

  Trigger(const TriggerSetup& setup, Mode mode, TriggerHandlers handlers);
  // Its subscriber points at it: it stays where it was made.
  Trigger(const Trigger&) = delete;
  Trigger& operator=(const Trigger&) = delete;

  // Each delivered block, after the `lostBefore` blocks found lost before it.
  void Feed(const BlockView& block, int lostBefore);
  // The acquisition stopped: a capture still waiting is handed over cut short.
  void Stopped();
  // A single shot that fired may fire again.
  void Arm();
  // The next block fed is block `block` of the acquisition (before any is fed, or after a
  // stop): times then count from the acquisition's start, not from when the trigger came.
  void StartAt(int64_t block);

  // Feed and Stopped as a feed's subscriber; the trigger outlives the subscription.
  FeedSubscriber Subscriber();

  const TriggerSetup& setup() const { return setup_; }
  // Triggers fired since construction: 0 says none came.
  int64_t firedCount() const { return firedCount_; }
  // Waiting for a capture's post time to pass.
  bool capturing() const { return !pending_.empty(); }
  // A single shot fired: no trigger until Arm.
  bool spent() const { return spent_; }

 private:
  // A sample of the channel, and its cell's index in the acquisition (its time once divided
  // by the aggregate rate, worked out only when a trigger fires).
  struct Sample {
    double volts = 0;
    int64_t cell = 0;
  };
  void Size(const BlockView& block);
  void Ring(const BlockView& block, bool afterGap);
  void Scan(const BlockView& block);
  // The edge crossed from `before` to `now`, and its level, when the trigger is armed for it;
  // arms or disarms on `now` too.
  bool Crossed(double before, double now, TriggerEdge& edge, double& level);
  void Fire(const Sample& before, const Sample& now, TriggerEdge edge, double level);
  void Capture(const FiredTrigger& fired);
  void Extend(const BlockView& block, bool afterGap);
  void HandOver(bool stopped);
  double BlockEnd(int64_t block) const;

  TriggerSetup setup_;
  Mode mode_;
  TriggerHandlers handlers_;
  double voltsPerCode_ = 0;
  int32_t zeroCode_ = 0;

  // The blocks' shape, as the first block showed it.
  int channels_ = 0, points_ = 0;
  int32_t aggregateRate_ = 0;
  int64_t block_ = -1;  // the latest block's number, counted from the start
  // The ring: `slots_` whole blocks, the latest at `head_`.
  std::vector<int16_t> ring_;
  std::vector<int64_t> ringBlock_;  // -1: empty
  std::vector<bool> ringAfterGap_;
  int slots_ = 0, head_ = -1;

  bool havePrevious_ = false, gapSincePrevious_ = false;
  Sample previous_;
  bool armedLow_ = false, armedHigh_ = false;  // armed from below / from above (or inside)
  double quietUntil_ = -std::numeric_limits<double>::infinity();  // no trigger before this
  bool spent_ = false;
  int64_t firedCount_ = 0;
  std::vector<TriggerCapture> pending_;  // oldest first
};

}  // namespace acquisition
