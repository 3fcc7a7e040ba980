#include "Trigger.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ChannelValues.h"

namespace acquisition {

Trigger::Trigger(const TriggerSetup& setup, Mode mode, TriggerHandlers handlers)
    : setup_(setup),
      mode_(mode),
      handlers_(std::move(handlers)),
      voltsPerCode_(static_cast<double>(kVoltageScale.SpanVolts) / kVoltageScale.FullScaleCount),
      zeroCode_(kVoltageScale.ZeroCode) {}

FeedSubscriber Trigger::Subscriber() {
  return {.block = [this](const BlockView& block, int lostBefore) { Feed(block, lostBefore); },
          .tick = {},
          .stopped = [this] { Stopped(); }};
}

void Trigger::Arm() {
  spent_ = false;
}

void Trigger::StartAt(int64_t block) {
  block_ = block - 1;
}

double Trigger::BlockEnd(int64_t block) const {
  return static_cast<double>((block + 1) * points_ * channels_) / aggregateRate_;
}

void Trigger::Feed(const BlockView& block, int lostBefore) {
  if (block.empty() || block.aggregateRate <= 0) return;
  if (block.channels != channels_ || block.points != points_ ||
      block.aggregateRate != aggregateRate_) {
    Size(block);
  }
  const bool afterGap = lostBefore > 0;
  block_ += 1 + std::max(lostBefore, 0);
  if (afterGap && havePrevious_) gapSincePrevious_ = true;
  Ring(block, afterGap);
  Extend(block, afterGap);
  Scan(block);
}

void Trigger::Stopped() {
  HandOver(true);
  block_ = -1;
  std::fill(ringBlock_.begin(), ringBlock_.end(), -1);
  havePrevious_ = gapSincePrevious_ = false;
  armedLow_ = armedHigh_ = false;
  quietUntil_ = -std::numeric_limits<double>::infinity();
}

// The ring holds every block that may lie within the pre time of a crossing in the latest
// block: the pre time's whole blocks and the latest one. Without captures there is none.
void Trigger::Size(const BlockView& block) {
  channels_ = block.channels;
  points_ = block.points;
  aggregateRate_ = block.aggregateRate;
  const double blockSeconds = static_cast<double>(block.cellCount()) / block.aggregateRate;
  slots_ =
      handlers_.captured ? static_cast<int>(std::ceil(setup_.preSeconds / blockSeconds)) + 1 : 0;
  ring_.assign(static_cast<size_t>(slots_) * block.cellCount(), 0);
  ringBlock_.assign(slots_, -1);
  ringAfterGap_.assign(slots_, false);
  head_ = -1;
}

void Trigger::Ring(const BlockView& block, bool afterGap) {
  if (slots_ == 0) return;
  head_ = (head_ + 1) % slots_;
  std::copy_n(block.cells, block.cellCount(),
              ring_.begin() + static_cast<ptrdiff_t>(head_) * block.cellCount());
  ringBlock_[head_] = block_;
  ringAfterGap_[head_] = afterGap;
}

void Trigger::Scan(const BlockView& block) {
  if (setup_.channel < 0 || setup_.channel >= block.channels) return;
  const int64_t firstCell = block_ * points_ * channels_ + setup_.channel;
  for (int point = 0; point < block.points; ++point) {
    const uint16_t code = static_cast<uint16_t>(block.cell(point, setup_.channel));
    const Sample now{(static_cast<int32_t>(code) - zeroCode_) * voltsPerCode_,
                     firstCell + int64_t{point} * channels_};
    TriggerEdge edge = TriggerEdge::Rising;
    double level = 0;
    if (havePrevious_ && Crossed(previous_.volts, now.volts, edge, level)) {
      Fire(previous_, now, edge, level);
    }
    if (!havePrevious_) Crossed(now.volts, now.volts, edge, level);  // arms only
    previous_ = now;
    havePrevious_ = true;
    gapSincePrevious_ = false;
  }
}

bool Trigger::Crossed(double before, double now, TriggerEdge& edge, double& level) {
  const double h = setup_.hysteresisVolts;
  const double low = setup_.lowVolts, high = setup_.highVolts, at = setup_.levelVolts;
  bool crossed = false;
  switch (setup_.kind) {
    case TriggerKind::Rising:
    case TriggerKind::Falling:
    case TriggerKind::Either: {
      const bool rises = setup_.kind != TriggerKind::Falling;
      const bool falls = setup_.kind != TriggerKind::Rising;
      if (rises && armedLow_ && now >= at) {
        crossed = true;
        edge = TriggerEdge::Rising;
        armedLow_ = false;
      } else if (falls && armedHigh_ && now <= at) {
        crossed = true;
        edge = TriggerEdge::Falling;
        armedHigh_ = false;
      }
      level = at;
      if (rises && now < at - h) armedLow_ = true;
      if (falls && now > at + h) armedHigh_ = true;
      break;
    }
    case TriggerKind::Enter:
      if (armedLow_ && now >= low && now <= high) {
        crossed = true;
        edge = TriggerEdge::Enter;
        level = before < low ? low : high;
        armedLow_ = false;
      }
      if (now < low - h || now > high + h) armedLow_ = true;
      break;
    case TriggerKind::Leave:
      if (armedLow_ && (now < low || now > high)) {
        crossed = true;
        edge = TriggerEdge::Leave;
        level = now < low ? low : high;
        armedLow_ = false;
      }
      if (now >= low + h && now <= high - h) armedLow_ = true;
      break;
  }
  return crossed;
}

// The crossing timed between the samples either side; across a gap, only as the gap's span.
void Trigger::Fire(const Sample& before, const Sample& now, TriggerEdge edge, double level) {
  FiredTrigger fired{.channel = setup_.channel,
                     .edge = edge,
                     .levelVolts = level,
                     .seconds = static_cast<double>(now.cell) / aggregateRate_,
                     .gap = gapSincePrevious_,
                     .earliestSeconds = static_cast<double>(before.cell) / aggregateRate_,
                     .block = block_};
  if (!fired.gap) {
    const double part =
        now.volts == before.volts ? 1.0 : (level - before.volts) / (now.volts - before.volts);
    const double cell = static_cast<double>(before.cell) +
                        std::clamp(part, 0.0, 1.0) * static_cast<double>(now.cell - before.cell);
    fired.seconds = fired.earliestSeconds = cell / aggregateRate_;
    // The crossing may lie in the block before the sample that showed it.
    fired.block =
        static_cast<int64_t>(std::floor(cell / (static_cast<double>(points_) * channels_)));
  }
  // A crossing the trigger may not fire on is passed over: it has disarmed it all the same.
  if (spent_ || fired.seconds < quietUntil_) return;
  ++firedCount_;
  quietUntil_ =
      fired.seconds + (mode_ == Mode::Every ? setup_.holdoffSeconds
                                            : std::max(setup_.holdoffSeconds, setup_.postSeconds));
  if (mode_ == Mode::Single) spent_ = true;
  if (handlers_.fired) handlers_.fired(fired);
  if (handlers_.captured) Capture(fired);
}

// The capture starts with the ring's blocks that reach into the pre time, this one the last.
void Trigger::Capture(const FiredTrigger& fired) {
  TriggerCapture capture{.trigger = fired,
                         .fromSeconds = fired.seconds - setup_.preSeconds,
                         .toSeconds = fired.seconds + setup_.postSeconds,
                         .channels = channels_,
                         .points = points_,
                         .aggregateRate = aggregateRate_,
                         .blocks = {}};
  const size_t cells = static_cast<size_t>(channels_) * points_;
  bool first = true;
  for (int back = slots_ - 1; back >= 0; --back) {
    const int slot = (head_ - back + slots_) % slots_;
    const int64_t number = ringBlock_[slot];
    if (number < 0 || BlockEnd(number) <= capture.fromSeconds) continue;
    // Blocks lost before the first one kept lie within the span only when it starts later.
    if (ringAfterGap_[slot] && (!first || BlockEnd(number - 1) > capture.fromSeconds)) {
      capture.gap = true;
    }
    first = false;
    const auto from = ring_.begin() + static_cast<ptrdiff_t>(slot) * cells;
    capture.blocks.push_back(
        {number, ringAfterGap_[slot], std::vector<int16_t>(from, from + cells)});
  }
  pending_.push_back(std::move(capture));
  HandOver(false);
}

void Trigger::Extend(const BlockView& block, bool afterGap) {
  for (TriggerCapture& capture : pending_) {
    capture.gap = capture.gap || afterGap;
    if (BlockEnd(block_ - 1) < capture.trigger.seconds + kTriggerMostKeptPostSeconds) {
      capture.blocks.push_back(
          {block_, afterGap, std::vector<int16_t>(block.cells, block.cells + block.cellCount())});
    }
  }
  HandOver(false);
}

// Hands over, oldest first, the captures whose post time the latest block reached (all of
// them, cut short, when the acquisition stopped).
void Trigger::HandOver(bool stopped) {
  while (!pending_.empty() && (stopped || BlockEnd(block_) >= pending_.front().toSeconds)) {
    TriggerCapture capture = std::move(pending_.front());
    pending_.erase(pending_.begin());
    capture.cutShort = stopped;
    handlers_.captured(std::move(capture));
  }
}

}  // namespace acquisition
