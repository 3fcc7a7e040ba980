// The trigger's rules on blocks made from known signals: each edge and window kind, the
// hysteresis against noise, holdoff, the crossing's time, the spans kept around it, re-arming,
// gaps, a trigger that never comes; and on the simulated card through a block feed.
#include "Trigger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "BlockFeed.h"
#include "DllDef.h"
#include "SignalGenerator.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "TempDirTest.h"
#include "TriggerSetup.h"

namespace {

using acquisition::FiredTrigger;
using acquisition::Trigger;
using acquisition::TriggerCapture;
using acquisition::TriggerEdge;

constexpr int kChannels = 64, kPoints = 300;
constexpr int32_t kRate = 50000;
constexpr double kBlockSeconds = static_cast<double>(kChannels) * kPoints / kRate;  // 0.384
constexpr double kCode = 10.0 / 65535;                                              // volts

using Signal = std::function<double(double seconds)>;

// Block `number` of an acquisition whose channel `channel` follows `signal`, sampled where
// the card samples it (channel k of scan n at (n x 64 + k) / rate); the others at 0 V.
std::vector<int16_t> MadeBlock(int64_t number, int channel, const Signal& signal) {
  std::vector<int16_t> cells(static_cast<size_t>(kChannels) * kPoints, simcard::CellOfVolts(0));
  for (int point = 0; point < kPoints; ++point) {
    const int64_t index = (number * kPoints + point) * kChannels + channel;
    cells[static_cast<size_t>(point) * kChannels + channel] =
        simcard::CellOfVolts(signal(static_cast<double>(index) / kRate));
  }
  return cells;
}

struct Heard {
  std::vector<FiredTrigger> fired;
  std::vector<TriggerCapture> captures;
  acquisition::TriggerHandlers Handlers() {
    return {.fired = [this](const FiredTrigger& f) { fired.push_back(f); },
            .captured = [this](TriggerCapture&& c) { captures.push_back(std::move(c)); }};
  }
  std::vector<double> Times() const {
    std::vector<double> times;
    for (const FiredTrigger& f : fired) times.push_back(f.seconds);
    return times;
  }
};

acquisition::TriggerSetup Triggering(const char* text, const char* pre = "",
                                     const char* post = "") {
  const base::Result<acquisition::TriggerSetup> setup =
      acquisition::ParseTriggerSetup(text, pre, post);
  EXPECT_TRUE(setup) << text;
  return setup.value_or({});
}

// Feeds blocks 0..count-1 of `signal` on the setup's channel, `lost` blocks left out.
void FeedBlocks(Trigger& trigger, int count, const Signal& signal,
                const std::vector<int>& lost = {}) {
  int lostBefore = 0;
  for (int b = 0; b < count; ++b) {
    if (std::find(lost.begin(), lost.end(), b) != lost.end()) {
      ++lostBefore;
      continue;
    }
    const std::vector<int16_t> cells = MadeBlock(b, trigger.setup().channel, signal);
    trigger.Feed({cells.data(), kChannels, kPoints, kRate}, lostBefore);
    lostBefore = 0;
  }
}

// From -4 V to 4 V (or back) at 100 V/s, starting at `from`.
Signal Ramp(double from, double voltsPerSecond) {
  return [=](double t) {
    const double v = voltsPerSecond > 0 ? -4 : 4;
    return std::clamp(v + voltsPerSecond * (t - from), -4.0, 4.0);
  };
}
Signal Sine(double hz, double volts) {
  return [=](double t) { return volts * std::sin(2 * 3.14159265358979323846 * hz * t); };
}

// The crossing on a straight edge is found to within half a code either side at both
// samples, which moves the line's crossing by at most half a code over the slope: on the
// 100 V/s ramp 0.76 us. A sine crosses zero at its steepest and straightest (2 V at 10 Hz:
// 126 V/s, its bend there costs under 0.1 us): 1 us holds for both.
constexpr double kStraightEdgeTolerance = 1e-6;

// Each kind fires where its signal crosses, and only there.
TEST(Trigger, EachKindFiresAtItsCrossings) {
  struct Row {
    const char* name;
    const char* setup;
    Signal signal;
    std::vector<double> times;
    std::vector<TriggerEdge> edges;
    double level;  // of the first
  };
  const Row rows[] = {
      {"rising", "ch6,rising,1.5V", Ramp(1.0, 100), {1.055}, {TriggerEdge::Rising}, 1.5},
      {"rising on the scan's last channel",
       "ch64,rising,1.5V",
       Ramp(1.0, 100),
       {1.055},
       {TriggerEdge::Rising},
       1.5},
      // Channel 6's last sample of block 0 is at 0.38282 s, its first of block 1 at 0.38410 s.
      {"rising between two blocks",
       "ch6,rising,1.5V",
       Ramp(0.3285, 100),
       {0.3835},
       {TriggerEdge::Rising},
       1.5},
      {"rising not on a falling edge", "ch6,rising,1.5V", Ramp(1.0, -100), {}, {}, 0},
      {"falling", "ch6,falling,-500mV", Ramp(1.0, -100), {1.045}, {TriggerEdge::Falling}, -0.5},
      {"either: up then down",
       "ch2,either,0V",
       [](double t) { return t < 1.2 ? Ramp(1.0, 100)(t) : Ramp(1.2, -100)(t); },
       {1.04, 1.24},
       {TriggerEdge::Rising, TriggerEdge::Falling},
       0},
      {"entering from below",
       "ch6,enter,-1V..1V",
       Ramp(1.0, 100),
       {1.03},
       {TriggerEdge::Enter},
       -1},
      {"entering from above",
       "ch6,enter,-1V..1V",
       Ramp(1.0, -100),
       {1.03},
       {TriggerEdge::Enter},
       1},
      {"leaving upwards", "ch6,leave,-1V..1V", Ramp(1.0, 100), {1.05}, {TriggerEdge::Leave}, 1},
      {"leaving downwards", "ch6,leave,-1V..1V", Ramp(1.0, -100), {1.05}, {TriggerEdge::Leave}, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Heard heard;
    Trigger trigger(Triggering(row.setup, "1s", "1ms"), Trigger::Mode::Repeat, heard.Handlers());
    FeedBlocks(trigger, 4, row.signal);
    ASSERT_EQ(heard.fired.size(), row.times.size());
    for (size_t i = 0; i < row.times.size(); ++i) {
      EXPECT_NEAR(heard.fired[i].seconds, row.times[i], kStraightEdgeTolerance);
      EXPECT_EQ(heard.fired[i].edge, row.edges[i]);
      EXPECT_FALSE(heard.fired[i].gap);
    }
    if (!row.times.empty()) {
      EXPECT_DOUBLE_EQ(heard.fired[0].levelVolts, row.level);
    }
    EXPECT_EQ(trigger.firedCount(), static_cast<int64_t>(row.times.size()));
  }
}

// Noise about the level fires only when the hysteresis is narrower than the noise; holdoff
// passes over the crossings that come too soon after the last.
TEST(Trigger, HysteresisAndHoldoffPassOverCrossings) {
  // 1.5 V and 40 codes (6.1 mV) over or under it, sample by sample in turn.
  const Signal noisy = [](double t) {
    return 1.5 + (std::lround(t * kRate / kChannels) % 2 ? 40 : -40) * kCode;
  };
  struct Row {
    const char* name;
    const char* setup;
    Signal signal;
    std::vector<double> times;  // empty with `some` > 0: only how many counts
    size_t some;
  };
  const Row rows[] = {
      {"hysteresis wider than the noise", "ch3,rising,1.5V,hyst=10mV", noisy, {}, 0},
      {"no hysteresis", "ch3,rising,1.5V,hyst=0V", noisy, {}, 200},
      {"holdoff off", "ch3,rising,0V,hyst=0.1V", Sine(10, 2), {0.1, 0.2, 0.3, 0.4, 0.5}, 0},
      {"holdoff 250 ms", "ch3,rising,0V,hyst=0.1V,holdoff=250ms", Sine(10, 2), {0.1, 0.4}, 0},
      {"holdoff just short of the period",
       "ch3,rising,0V,hyst=0.1V,holdoff=99.9ms",
       Sine(10, 2),
       {0.1, 0.2, 0.3, 0.4, 0.5},
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Heard heard;
    Trigger trigger(Triggering(row.setup, "1s", "1ms"), Trigger::Mode::Repeat, heard.Handlers());
    FeedBlocks(trigger, 2, [&](double t) { return t < 0.55 ? row.signal(t) : -3.0; });
    if (row.some > 0) {
      EXPECT_GT(heard.fired.size(), row.some);
      continue;
    }
    ASSERT_EQ(heard.fired.size(), row.times.size());
    for (size_t i = 0; i < row.times.size(); ++i) {
      EXPECT_NEAR(heard.fired[i].seconds, row.times[i], kStraightEdgeTolerance);
    }
  }
}

// The capture holds the whole blocks from pre before the trigger to post after it, across
// block boundaries, from the ring: no block from before the start, the trigger's own block,
// and is handed over once the post time has passed.
TEST(Trigger, CapturesThePreAndPostSpansInWholeBlocks) {
  struct Row {
    const char* name;
    const char* pre;
    const char* post;
    int fed;                      // blocks fed
    std::vector<int64_t> blocks;  // captured; empty: not yet complete
  };
  // The ramp crosses 1.5 V at 1.055 s, in block 2 (0.768 to 1.152 s).
  const Row rows[] = {
      {"within the trigger's block", "100ms", "50ms", 3, {2}},
      {"the block before and the next", "500ms", "200ms", 4, {1, 2, 3}},
      {"post not yet passed", "500ms", "200ms", 3, {}},
      {"pre reaching before the start", "10s", "1s", 6, {0, 1, 2, 3, 4, 5}},
      {"pre ending just after a block's start", "286ms", "1ms", 3, {2}},
      {"pre ending just before it", "288ms", "1ms", 3, {1, 2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Heard heard;
    const acquisition::TriggerSetup setup = Triggering("ch6,rising,1.5V", row.pre, row.post);
    Trigger trigger(setup, Trigger::Mode::Repeat, heard.Handlers());
    FeedBlocks(trigger, row.fed, Ramp(1.0, 100));
    ASSERT_EQ(heard.fired.size(), 1u);
    EXPECT_EQ(heard.fired[0].block, 2);
    if (row.blocks.empty()) {
      EXPECT_TRUE(heard.captures.empty());
      EXPECT_TRUE(trigger.capturing());
      continue;
    }
    ASSERT_EQ(heard.captures.size(), 1u);
    const TriggerCapture& c = heard.captures[0];
    std::vector<int64_t> numbers;
    for (const acquisition::CapturedBlock& b : c.blocks) {
      numbers.push_back(b.block);
      EXPECT_EQ(b.cells, MadeBlock(b.block, setup.channel, Ramp(1.0, 100)));
    }
    EXPECT_EQ(numbers, row.blocks);
    EXPECT_NEAR(c.fromSeconds, 1.055 - setup.preSeconds, kStraightEdgeTolerance);
    EXPECT_NEAR(c.toSeconds, 1.055 + setup.postSeconds, kStraightEdgeTolerance);
    EXPECT_FALSE(c.gap);
    EXPECT_FALSE(c.cutShort);
    EXPECT_FALSE(trigger.capturing());
  }
}

// Repeat arms again once the capture is over, Every at once; a single shot fires once until
// armed again.
TEST(Trigger, RearmsAfterTheCaptureOrOnlyWhenArmed) {
  struct Row {
    const char* name;
    Trigger::Mode mode;
    const char* post;
    bool armAgainAfterFirst;
    std::vector<double> times;
  };
  const Row rows[] = {
      {"repeat, short post", Trigger::Mode::Repeat, "1ms", false, {0.1, 0.2, 0.3, 0.4, 0.5}},
      {"repeat, post over two periods", Trigger::Mode::Repeat, "250ms", false, {0.1, 0.4}},
      {"every crossing, captures overlapping",
       Trigger::Mode::Every,
       "250ms",
       false,
       {0.1, 0.2, 0.3, 0.4, 0.5}},
      {"single", Trigger::Mode::Single, "1ms", false, {0.1}},
      {"single armed again", Trigger::Mode::Single, "1ms", true, {0.1, 0.2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Heard heard;
    Trigger* self = nullptr;
    acquisition::TriggerHandlers handlers = heard.Handlers();
    handlers.captured = [&](TriggerCapture&& c) {
      heard.captures.push_back(std::move(c));
      if (row.armAgainAfterFirst && heard.captures.size() == 1) self->Arm();
    };
    Trigger trigger(Triggering("ch3,rising,0V,hyst=0.1V", "1s", row.post), row.mode, handlers);
    self = &trigger;
    FeedBlocks(trigger, 2, [](double t) { return t < 0.55 ? Sine(10, 2)(t) : -3; });
    ASSERT_EQ(heard.fired.size(), row.times.size());
    for (size_t i = 0; i < row.times.size(); ++i) {
      EXPECT_NEAR(heard.fired[i].seconds, row.times[i], kStraightEdgeTolerance);
    }
    EXPECT_EQ(heard.captures.size(), row.times.size());
    EXPECT_EQ(trigger.spent(), row.mode == Trigger::Mode::Single);
  }
}

// Lost blocks: a crossing inside them fires marked with the gap's span and never a made-up
// time; one after them is timed as usual on the count of blocks with the lost ones; a capture
// over them says so; a trigger that never comes fires nothing; a stop hands the capture over
// cut short and the next acquisition counts from 0; one armed late counts from the start.
TEST(Trigger, GapsStopsAndNoTrigger) {
  // Crossing 1.5 V at 1.055 s (block 2) on the ramp.
  struct Row {
    const char* name;
    Signal signal;
    std::vector<int> lost;
    size_t fired;
    bool gap;
    double seconds, earliest;
    bool captureGap;
  };
  const double lastOfBlock1 = (1.0 * kPoints * 2 - 1) * kChannels / kRate + 5.0 / kRate;
  const double firstOfBlock3 = (3.0 * kPoints * kChannels + 5) / kRate;
  const Row rows[] = {
      {"crossing in the lost block",
       Ramp(1.0, 100),
       {2},
       1,
       true,
       firstOfBlock3,
       lastOfBlock1,
       true},
      {"crossing after the gap", Ramp(1.0, 100), {0}, 1, false, 1.055, 1.055, true},
      {"gap after the capture", Ramp(1.0, 100), {5}, 1, false, 1.055, 1.055, false},
      {"no crossing at all", [](double) { return 0.3; }, {}, 0, false, 0, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Heard heard;
    Trigger trigger(Triggering("ch6,rising,1.5V", "1s", "200ms"), Trigger::Mode::Repeat,
                    heard.Handlers());
    FeedBlocks(trigger, 6, row.signal, row.lost);
    ASSERT_EQ(heard.fired.size(), row.fired);
    EXPECT_EQ(trigger.firedCount(), static_cast<int64_t>(row.fired));
    if (row.fired == 0) {
      EXPECT_TRUE(heard.captures.empty());
      continue;
    }
    EXPECT_EQ(heard.fired[0].gap, row.gap);
    EXPECT_NEAR(heard.fired[0].seconds, row.seconds, kStraightEdgeTolerance);
    EXPECT_NEAR(heard.fired[0].earliestSeconds, row.earliest, kStraightEdgeTolerance);
    ASSERT_EQ(heard.captures.size(), 1u);
    EXPECT_EQ(heard.captures[0].gap, row.captureGap);
  }

  Heard heard;
  Trigger trigger(Triggering("ch6,rising,1.5V", "1s", "10s"), Trigger::Mode::Repeat,
                  heard.Handlers());
  FeedBlocks(trigger, 4, Ramp(1.0, 100));
  trigger.Stopped();
  ASSERT_EQ(heard.captures.size(), 1u);
  EXPECT_TRUE(heard.captures[0].cutShort);
  FeedBlocks(trigger, 4, Ramp(0.5, 100));  // a new start: its time from 0 again
  ASSERT_EQ(heard.fired.size(), 2u);
  EXPECT_NEAR(heard.fired[1].seconds, 0.555, kStraightEdgeTolerance);

  // Armed while the card runs: blocks 2 and 3 of the acquisition are its first.
  Heard late;
  Trigger armedLate(Triggering("ch6,rising,1.5V", "1s", "1ms"), Trigger::Mode::Repeat,
                    late.Handlers());
  armedLate.StartAt(2);
  for (int64_t b : {2, 3}) {
    const std::vector<int16_t> cells = MadeBlock(b, 5, Ramp(1.0, 100));
    armedLate.Feed({cells.data(), kChannels, kPoints, kRate}, 0);
  }
  ASSERT_EQ(late.fired.size(), 1u);
  EXPECT_NEAR(late.fired[0].seconds, 1.055, kStraightEdgeTolerance);
}

// 100 pulses at random times on random channels over 6 minutes of card time, a trigger armed
// on each of the 64 channels (0 to 3 held at 0 V, the others on their staircase levels with
// their noise): each pulse fires its channel's trigger once, and nothing else fires. Each
// trigger is set 0.25 V above its channel's level, so a 2 V pulse with 10 ms edges (200 V/s)
// crosses it 1.25 ms into its edge, also where 5 V clips its top. The channel's noise (3
// codes), its level's rounding and the sample's (half a code each) move the crossing by 4
// codes over the slope at most: 4 x 152.6 uV / 200 V/s = 3.05 us.
TEST(Trigger, RandomPulsesOnEveryChannelFireEachOnceAndNothingElse) {
  constexpr double kTolerance = 3.1e-6;
  constexpr double kEdge = 0.01, kVolts = 2, kAbove = 0.25;
  const std::vector<simcard::Pulse> pulses =
      simcard::RandomPulses(100, 2026, 1, 360, kVolts, 0.05, kEdge);
  std::vector<simcard::Tone> quiet;
  for (int ch = 0; ch < 4; ++ch) {
    quiet.push_back({.channel = ch, .hz = 1, .amplitudeVolts = 0, .noiseCodes = 0});
  }
  std::vector<FiredTrigger> fired;
  std::vector<std::unique_ptr<Trigger>> triggers;
  for (int ch = 0; ch < kChannels; ++ch) {
    const double level = ch < 4 ? 0 : simcard::StaircaseVolts(ch, kChannels);
    triggers.push_back(std::make_unique<Trigger>(
        acquisition::TriggerSetup{.channel = ch, .levelVolts = level + kAbove},
        Trigger::Mode::Every,
        acquisition::TriggerHandlers{.fired = [&](const FiredTrigger& f) { fired.push_back(f); },
                                     .captured = {}}));
  }
  std::vector<int16_t> cells(static_cast<size_t>(kChannels) * kPoints);
  for (int64_t b = 0; b * kBlockSeconds < 361; ++b) {
    simcard::FillBlock(cells.data(), kChannels, kPoints, b, kRate, quiet, pulses);
    for (const auto& trigger : triggers)
      trigger->Feed({cells.data(), kChannels, kPoints, kRate}, 0);
  }
  ASSERT_EQ(fired.size(), pulses.size());
  std::sort(fired.begin(), fired.end(),
            [](const FiredTrigger& a, const FiredTrigger& b) { return a.seconds < b.seconds; });
  for (size_t i = 0; i < pulses.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(fired[i].channel, pulses[i].channel);
    EXPECT_NEAR(fired[i].seconds, pulses[i].atSeconds - kEdge / 2 + kAbove / kVolts * kEdge,
                kTolerance);
  }
}

// On the simulated card through a block feed: a pulse with 10 ms edges of 4 V on a
// staircase channel fires at its rising edge's middle and its falling one's. The channel's
// noise of up to 3 codes and half a code of rounding move a sample by 3.5 codes at most,
// which on a 400 V/s edge moves the line's crossing by 3.5 x 152.6 uV / 400 V/s = 1.34 us.
using TriggerOnTheCard = TempDirTest;

TEST_F(TriggerOnTheCard, FiresAtThePulsesEdges) {
  constexpr double kPulseTolerance = 1.4e-6;
  constexpr int kChannel = 9;  // ch10
  constexpr double kAt = 1.2345, kWidth = 0.05;
  SimCard_Reset();
  SimCard_SetManualClock(1);
  SimCard_AddPulses(kChannel, kAt, 4.0, kWidth, 0.01, 1, 0);
  DllDef dll(ADCARD_PATH);
  dll.RingBlockCount = 20;
  ASSERT_TRUE(acquisition::StartAcquisition(dll).value().started);
  acquisition::BlockFeed feed(dll, dir.string());
  feed.Begin();
  const double middle = simcard::StaircaseVolts(kChannel, kChannels) + 2.0;
  for (const acquisition::TriggerKind kind :
       {acquisition::TriggerKind::Rising, acquisition::TriggerKind::Falling}) {
    SCOPED_TRACE(acquisition::TriggerKindWord(kind));
    acquisition::TriggerSetup setup{.channel = kChannel, .kind = kind, .levelVolts = middle};
    setup.postSeconds = 0.1;
    Heard heard;
    Trigger trigger(setup, Trigger::Mode::Single, heard.Handlers());
    const acquisition::BlockFeed::SubscriberId id = feed.Subscribe(trigger.Subscriber());
    for (int tick = 0; tick < 5; ++tick) {
      SimCard_AdvanceMs(400);
      ASSERT_TRUE(feed.Tick(false, [] { return SimCard_NowMicros() * 1e-6; }));
    }
    feed.Unsubscribe(id);
    ASSERT_EQ(heard.fired.size(), 1u);
    const double expected = kind == acquisition::TriggerKind::Rising ? kAt : kAt + kWidth;
    EXPECT_NEAR(heard.fired[0].seconds, expected, kPulseTolerance);
    EXPECT_EQ(heard.fired[0].block, static_cast<int64_t>(expected / kBlockSeconds));
    ASSERT_EQ(heard.captures.size(), 1u);
    // Back to the start for the other edge.
    ASSERT_TRUE(feed.Stop());
    ASSERT_TRUE(acquisition::StartAcquisition(dll).value().started);
    feed.Begin();
  }
}

}  // namespace
