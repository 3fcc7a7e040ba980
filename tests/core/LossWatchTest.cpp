// Lost blocks inferred from the poll times alone, against a model card (blocks finish every
// period from its phase on, a queue of 64 drops the oldest, and the program polls every
// 200 ms with some jitter except while it is stalled), then on the simulated card.
#include "LossWatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "BlockCapture.h"
#include "BlockPolling.h"
#include "DllDef.h"
#include "SimCardControl.h"
#include "StartStop.h"

namespace {

using acquisition::LossWatch;

constexpr double kNominal = 19200.0 / 50000.0;  // 64 x 300 points at 50,000 samples a second

struct CardRun {
  double rate = 1.0;        // the card's real rate over its nominal one
  double phase = 0.01;      // when its block 0 would have finished
  double stallFrom = -1;    // the program stops polling from here ...
  double stallSeconds = 0;  // ... for this long
  double jitter = 0.005;    // poll timing noise, seconds
  double queryDelay = 0;    // the card takes this long to answer a query ...
  double queryJitter = 0;   // ... plus up to this, and counts at a moment within
  double seconds = 120;
  unsigned seed = 11;
  bool exact = true;  // false: a stall before the card's pace is known is counted at most
};

// Returns {blocks the card dropped, blocks the watch found lost}.
std::pair<int64_t, int64_t> Simulate(const CardRun& r) {
  const double period = kNominal / r.rate;
  std::mt19937 random(r.seed);
  std::uniform_real_distribution<double> noise(0, r.jitter), took(0, r.queryJitter), within(0, 1);
  LossWatch watch;
  watch.Begin(kNominal);
  int64_t fetched = 0, dropped = 0;
  for (double tick = 0.2; tick < r.seconds; tick += 0.2) {
    if (tick >= r.stallFrom && tick < r.stallFrom + r.stallSeconds) continue;
    const double asked = tick + noise(random);
    const double answered = asked + r.queryDelay + took(random);
    const double counted = asked + within(random) * (answered - asked);
    const auto finished = static_cast<int64_t>(std::floor((counted - r.phase) / period)) + 1;
    if (finished - fetched > 64) {
      dropped += finished - fetched - 64;
      fetched = finished - 64;
    }
    const int waiting = static_cast<int>(std::max<int64_t>(0, finished - fetched));
    watch.Account(asked, answered, waiting);
    fetched += waiting;
  }
  return {dropped, watch.lost()};
}

TEST(LossWatch, CountsWhatTheCardDroppedAndRaisesNoFalseAlarm) {
  struct Case {
    const char* what;
    CardRun run;
  } cases[] = {
      {"steady at the nominal rate", {}},
      {"a card 3 % fast", {.rate = 1.03}},
      {"a card 3 % slow", {.rate = 0.97}},
      {"noisy polls", {.jitter = 0.04}},
      {"a 20 s stall the queue rides out", {.stallFrom = 30, .stallSeconds = 20}},
      {"a 32 s stall", {.stallFrom = 30, .stallSeconds = 32}},
      {"a 32 s stall of a card 2 % slow", {.rate = 0.98, .stallFrom = 40, .stallSeconds = 32}},
      {"two stalls", {.phase = 0.3, .stallFrom = 20, .stallSeconds = 60, .seconds = 200}},
      {"a stall 20 s into the run", {.stallFrom = 20, .stallSeconds = 30}},
      {"a stall before the card is known", {.stallFrom = 1, .stallSeconds = 30, .exact = false}},
      {"a slow card's 32 s stall",
       {.stallFrom = 30, .stallSeconds = 32, .queryDelay = 0.06, .queryJitter = 0.04}},
      {"a slow card's two stalls",
       {.phase = 0.2, .stallFrom = 20, .stallSeconds = 60, .queryDelay = 0.1, .seconds = 200}},
  };
  for (const Case& c : cases) {
    const auto [dropped, found] = Simulate(c.run);
    if (c.run.exact) {
      EXPECT_EQ(found, dropped) << c.what;
    } else {
      EXPECT_LE(found, dropped) << c.what;
    }
  }
}

// A card on a slow bus answers up to 100 ms late and counts somewhere within: over many
// cards, paces and phases, never an alarm where nothing was lost.
TEST(LossWatch, ASlowQueryRaisesNoFalseAlarm) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0, 1);
  int alarms = 0;
  for (unsigned run = 0; run < 3000; ++run) {
    CardRun r{.rate = 0.97 + 0.06 * unit(random),
              .phase = kNominal * unit(random),
              .jitter = 0.02 * unit(random),
              .queryDelay = 0.1 * unit(random),
              .seconds = 60,
              .seed = run};
    r.queryJitter = (0.1 - r.queryDelay) * unit(random);
    const auto [dropped, found] = Simulate(r);
    ASSERT_EQ(dropped, 0);
    if (found != 0) ++alarms;
  }
  EXPECT_EQ(alarms, 0);
}

// Scripted blocks come when a test says, not when a clock says: nothing is judged.
TEST(LossWatch, AnUnsteadySourceIsNeverJudged) {
  LossWatch watch;
  watch.Begin(kNominal);
  double t = 0;
  for (int burst = 0; burst < 30; ++burst) {
    for (const auto& [after, count] : {std::pair{0.01, 5}, {2.0, 0}, {0.2, 1}}) {
      t += after;
      watch.Account(t, t, count);
    }
  }
  EXPECT_EQ(watch.lost(), 0);
  EXPECT_TRUE(watch.events().empty());
}

}  // namespace

// Through the program's own poll, on the simulated card told to stall, answering at once and
// on a slow bus: the count found is exactly what the card dropped.
TEST(LossWatch, FindsExactlyWhatTheSimulatedCardDropped) {
  for (const int delayMs : {0, 70}) {
    SimCard_Reset();
    SimCard_SetManualClock(1);
    SimCard_DelayQueries(delayMs, 30);
    DllDef dll(ADCARD_PATH);
    dll.RingBlockCount = 20;
    ASSERT_TRUE(acquisition::StartAcquisition(dll).value().started);
    acquisition::ChannelValues values;
    acquisition::BlockCapture capture(std::filesystem::temp_directory_path().string());
    capture.BeginRun(1, 1);
    capture.BlocksPerFile = 10;
    capture.SaveBlockIndex = 0;
    LossWatch losses;
    losses.Begin(acquisition::BlockPeriodSeconds(dll));
    int found = 0;
    for (int tick = 1; tick <= 400; ++tick) {  // 80 s of polls every 200 ms
      SimCard_AdvanceMs(200);
      if (tick == 150) SimCard_StallQueries(32000);
      const auto poll = acquisition::PollBlocks(dll, values, capture, losses, false,
                                                [] { return SimCard_NowMicros() * 1e-6; });
      ASSERT_TRUE(poll);
      found += poll.value().lostBlocks;
    }
    EXPECT_GT(SimCard_OverrunCount(), 0) << delayMs;
    EXPECT_EQ(found, SimCard_OverrunCount()) << delayMs;
    EXPECT_EQ(losses.lost(), SimCard_OverrunCount()) << delayMs;
  }
}
