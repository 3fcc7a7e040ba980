#include "TriggeredRecording.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace recording {

const char* TriggeredKeepName(TriggeredKeep keep) {
  return keep == TriggeredKeep::Spans ? "spans" : "all";
}

EventFacts EventOf(const acquisition::FiredTrigger& fired, int64_t lastBlock, double blockSeconds) {
  EventEdge edge = EventEdge::Rising;
  switch (fired.edge) {
    case acquisition::TriggerEdge::Rising:
      edge = EventEdge::Rising;
      break;
    case acquisition::TriggerEdge::Falling:
      edge = EventEdge::Falling;
      break;
    case acquisition::TriggerEdge::Enter:
      edge = EventEdge::Entering;
      break;
    case acquisition::TriggerEdge::Leave:
      edge = EventEdge::Leaving;
      break;
  }
  return {.channel = fired.channel,
          .edge = edge,
          .levelVolts = fired.levelVolts,
          .secondsAfterLastBlock = fired.seconds - static_cast<double>(lastBlock) * blockSeconds,
          .gap = fired.gap};
}

BlockSpan BlocksOf(double fromSeconds, double toSeconds, double blockSeconds) {
  const auto first = static_cast<int64_t>(std::floor(fromSeconds / blockSeconds));
  // A span that ends exactly where a block starts does not reach into it.
  const auto last = std::max(first, static_cast<int64_t>(std::ceil(toSeconds / blockSeconds)) - 1);
  return {first, last};
}

std::vector<BlockSpan> JoinSpans(std::vector<BlockSpan> spans) {
  std::sort(spans.begin(), spans.end(),
            [](const BlockSpan& a, const BlockSpan& b) { return a.first < b.first; });
  std::vector<BlockSpan> joined;
  for (BlockSpan s : spans) {
    if (s.last < 0) continue;
    s.first = std::max<int64_t>(s.first, 0);
    if (!joined.empty() && s.first <= joined.back().last + 1) {
      joined.back().last = std::max(joined.back().last, s.last);
    } else {
      joined.push_back(s);
    }
  }
  return joined;
}

TriggeredRecording::TriggeredRecording(Recorder& recorder, const acquisition::TriggerSetup& setup,
                                       TriggeredKeep keep)
    : recorder_(recorder), keep_(keep), preSeconds_(setup.preSeconds) {
  acquisition::TriggerHandlers handlers;
  handlers.fired = [this](const acquisition::FiredTrigger& fired) { Fired(fired); };
  if (keep == TriggeredKeep::Spans) {
    handlers.captured = [this](acquisition::TriggerCapture&& capture) {
      Captured(std::move(capture));
    };
  }
  // Every trigger is an event: none is passed over while a span is still being kept.
  trigger_ = std::make_unique<acquisition::Trigger>(setup, acquisition::Trigger::Mode::Every,
                                                    std::move(handlers));
}

bool TriggeredRecording::Add(const acquisition::BlockView& block, int lostBefore) {
  if (!going_) return false;
  if (block.empty() || block.aggregateRate <= 0) return true;
  blockSeconds_ = static_cast<double>(block.cellCount()) / block.aggregateRate;
  // The acquisition's first block: the recording's time (or a pause's end) is its arrival,
  // whenever the blocks kept around it are written.
  if (keep_ == TriggeredKeep::Spans && delivered_ < 0 && !recorder_.Skip(0)) going_ = false;
  if (!going_) return false;
  delivered_ += 1 + std::max(lostBefore, 0);
  if (keep_ == TriggeredKeep::All) {
    going_ = recorder_.Add(block, lostBefore);
    next_ = delivered_ + 1;
    if (going_) trigger_->Feed(block, lostBefore);  // its events after the block that holds them
    return going_;
  }
  if (lostBefore > 0) lostBefore_[delivered_] = lostBefore;
  trigger_->Feed(block, lostBefore);
  // A trigger still to come lies at the earliest in the block before the next one (its
  // crossing between the two), so its pre time reaches no further back than this.
  int64_t wanted = delivered_ - 1 - static_cast<int64_t>(std::ceil(preSeconds_ / blockSeconds_));
  if (!waiting_.empty()) wanted = std::min(wanted, waiting_.front());
  SkipBefore(wanted);
  return going_;
}

// The next start counts its blocks from 0 again, as the trigger does; the recorder's own
// numbers run on after the pause's gap.
void TriggeredRecording::Stopped() {
  trigger_->Stopped();
  if (keep_ == TriggeredKeep::Spans) SkipBefore(delivered_ + 1);
  delivered_ = -1;
  next_ = 0;
  lostBefore_.clear();
  waiting_.clear();
}

void TriggeredRecording::Fired(const acquisition::FiredTrigger& fired) {
  if (keep_ == TriggeredKeep::All) {
    if (going_) (void)recorder_.AddEvent(EventOf(fired, next_ - 1, blockSeconds_));
    return;
  }
  waiting_.push_back(BlocksOf(fired.seconds - preSeconds_, fired.seconds, blockSeconds_).first);
}

// A span's blocks not written yet (an earlier span may hold its first ones), then its event.
void TriggeredRecording::Captured(acquisition::TriggerCapture&& capture) {
  if (!waiting_.empty()) waiting_.pop_front();
  size_t fresh = 0;
  for (const acquisition::CapturedBlock& b : capture.blocks) fresh += b.block >= next_ ? 1 : 0;
  recorder_.Handover(fresh);  // a span comes at once: up to pre + post of blocks
  for (const acquisition::CapturedBlock& b : capture.blocks) {
    if (!going_ || b.block < next_) continue;
    const auto lost = lostBefore_.find(b.block);
    const int64_t lostBlocks =
        lost == lostBefore_.end() ? 0 : std::min<int64_t>(lost->second, b.block - next_);
    if (b.block - lostBlocks > next_) going_ = recorder_.Skip(b.block - lostBlocks - next_);
    if (!going_) break;
    going_ = recorder_.Add({.cells = b.cells.data(),
                            .channels = capture.channels,
                            .points = capture.points,
                            .aggregateRate = capture.aggregateRate},
                           static_cast<int>(lostBlocks));
    next_ = b.block + 1;
    lostBefore_.erase(lostBefore_.begin(), lostBefore_.upper_bound(b.block));
  }
  if (going_ && next_ > 0) {
    (void)recorder_.AddEvent(EventOf(capture.trigger, next_ - 1, blockSeconds_));
  }
}

// Blocks before `block` that no span wants: skipped, and losses among them with them (nothing
// was to be kept there).
void TriggeredRecording::SkipBefore(int64_t block) {
  if (!going_ || block <= next_) return;
  going_ = recorder_.Skip(static_cast<uint64_t>(block - next_));
  next_ = block;
  lostBefore_.erase(lostBefore_.begin(), lostBefore_.lower_bound(block));
}

}  // namespace recording
