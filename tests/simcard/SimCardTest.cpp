// The simulated card on its own: pacing, the bounded queue, loopback and scripting.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "DllDef.h"
#include "FixtureFile.h"
#include "SignalGenerator.h"
#include "SimCardControl.h"

namespace {

// The card maker's entry points of the simulated card, bound by name as the program binds
// them (its 32-bit exports are decorated, so they are not linked directly).
DllDef& Card() {
  static DllDef dll(ADCARD_PATH);
  return dll;
}
#define BIND(name, ...)          \
  template <typename... Args>    \
  auto name(Args... args) {      \
    return Card().name(args...); \
  }
ADCARD_ENTRY_POINTS(BIND)
#undef BIND

constexpr int kBlockCells = 64 * 300;

class SimCard : public ::testing::Test {
 protected:
  void SetUp() override {
    SimCard_Reset();
    SimCard_SetManualClock(1);
  }
  void Start() {
    ASSERT_EQ(Initial(0, 0, 0, 0), 1);
    ASSERT_EQ(StartIntr(10, 300, 0, 64, 50000, 0, 1), 1);
  }
  std::vector<int16_t> buffer = std::vector<int16_t>(kBlockCells + 2, 0);
};

TEST_F(SimCard, ReportsNoBlocksUntilStartedAndAfterStop) {
  EXPECT_EQ(QueryBuf(), 0);
  EXPECT_EQ(StopIntr(), 1);
  EXPECT_EQ(StopIntr(), 1);
  SimCard_AdvanceMs(5000);
  EXPECT_EQ(QueryBuf(), 0);
  Start();
  SimCard_AdvanceMs(1000);
  EXPECT_EQ(QueryBuf(), 2);
  StopIntr();
  EXPECT_EQ(QueryBuf(), 0);
  EXPECT_EQ(ADResult(buffer.data()), 0);
}

TEST_F(SimCard, PacesBlocksAtTheAggregateRate) {
  Start();
  // 64 x 300 samples at 50000 per second: one block every 384 ms.
  struct Step {
    int advanceMs;
    int waiting;
  } steps[] = {{383, 0}, {1, 1}, {383, 1}, {1, 2}, {3840, 12}};
  for (const Step& s : steps) {
    SimCard_AdvanceMs(s.advanceMs);
    EXPECT_EQ(QueryBuf(), s.waiting);
  }
  EXPECT_EQ(ADResult(buffer.data()), 1);
  EXPECT_EQ(QueryBuf(), 11);
}

TEST_F(SimCard, FetchWithNothingWaitingCopiesNothing) {
  Start();
  buffer.assign(buffer.size(), 7);
  EXPECT_EQ(ADResult(buffer.data()), 0);
  EXPECT_EQ(std::set<int16_t>(buffer.begin(), buffer.end()), std::set<int16_t>{7});
}

TEST_F(SimCard, DropsTheOldestBlocksWhenNobodyFetches) {
  Start();
  SimCard_AdvanceMs(38400);  // 100 blocks
  EXPECT_EQ(QueryBuf(), 64);
  EXPECT_EQ(SimCard_OverrunCount(), 36);
}

TEST_F(SimCard, BlocksFillOnlyTheirCellsAndShowTheSignals) {
  Start();
  SimCard_AdvanceMs(400);
  buffer.front() = 1234;
  buffer.back() = 4321;
  ASSERT_EQ(ADResult(buffer.data()), 1);
  EXPECT_EQ(buffer.front(), 1234);
  EXPECT_EQ(buffer.back(), 4321);
  // The staircase channels rise from channel to channel; the last carries the test tone,
  // 4 V at 40 Hz: some 15 periods a block.
  auto code = [&](int pt, int ch) { return static_cast<uint16_t>(buffer[1 + pt * 64 + ch]); };
  for (int ch = 5; ch < 63; ++ch) EXPECT_GT(code(0, ch), code(0, ch - 1) + 500) << ch;
  uint16_t low = 65535, high = 0;
  for (int pt = 0; pt < 300; ++pt) {
    low = std::min(low, code(pt, 63));
    high = std::max(high, code(pt, 63));
  }
  EXPECT_LT(low, 32768 - 26000);
  EXPECT_GT(high, 32768 + 26000);
  SimCard_SetTone(63, 0, 0, 0, 0, 0);  // back on the staircase
  SimCard_AdvanceMs(384);
  ASSERT_EQ(ADResult(buffer.data()), 1);
  EXPECT_GT(code(0, 63), code(0, 62) + 500);
  // The last samples of the waveform channels, which the live labels show, move from
  // block to block.
  std::set<uint16_t> seen[4];
  for (int block = 0; block < 10; ++block) {
    SimCard_AdvanceMs(384);
    ASSERT_EQ(ADResult(buffer.data()), 1);
    for (int ch = 0; ch < 4; ++ch) seen[ch].insert(code(299, ch));
  }
  for (int ch = 0; ch < 4; ++ch) EXPECT_GT(seen[ch].size(), 1u) << ch;
}

TEST_F(SimCard, CodesAreOffsetBinary) {
  EXPECT_EQ(simcard::CellOfVolts(0.0), -32768);
  EXPECT_EQ(simcard::CellOfVolts(-5.0000763), 0);
  EXPECT_EQ(simcard::CellOfVolts(4.9999237), -1);
  EXPECT_EQ(simcard::CellOfVolts(99), -1);
  EXPECT_EQ(simcard::CellOfVolts(-99), 0);
}

TEST_F(SimCard, OutputsLoopBackToTheInputs) {
  int16_t words[129] = {};
  EXPECT_EQ(Kzb_DO(1, 0x1A5), 1);  // only the low byte counts
  EXPECT_EQ(Kzb_DOBit(3, 1), 1);
  EXPECT_EQ(Kzb_DOBit(15, 1), 1);
  EXPECT_EQ(Kzb_DOBit(16, 1), 0);
  Kzb_DI(2, words);
  EXPECT_EQ(words[0], 0x08);
  EXPECT_EQ(words[1], 0xA5 | 0x80);
  Kzb_DOBit(3, 0);
  Kzb_DI(2, words);
  EXPECT_EQ(words[0], 0);
}

TEST_F(SimCard, InputsCanBeFixedOrSilent) {
  int16_t words[2] = {};
  SimCard_SetInputs(0x00A5, -1);
  Kzb_DO(0, 0x33);
  Kzb_DI(2, words);
  EXPECT_EQ(words[0], 0xA5);
  EXPECT_EQ(words[1], -1);
  SimCard_SetInputsSilent(1);
  words[0] = words[1] = 5;
  Kzb_DI(2, words);
  EXPECT_EQ(words[0], 5);
  EXPECT_EQ(words[1], 5);
}

TEST_F(SimCard, ScriptedCallsComeFirst) {
  SimCard_ScriptQuery(-3);
  SimCard_ScriptQuery(0);
  EXPECT_EQ(QueryBuf(), -3);
  EXPECT_EQ(QueryBuf(), 0);

  std::vector<int16_t> cells(kBlockCells, 42);
  SimCard_ScriptFetch(0, nullptr);
  SimCard_ScriptFetch(1, cells.data());
  Start();
  SimCard_AdvanceMs(400);
  EXPECT_EQ(ADResult(buffer.data()), 0);
  EXPECT_EQ(buffer[1], 0);
  EXPECT_EQ(ADResult(buffer.data()), 1);
  EXPECT_EQ(buffer[1], 42);
  EXPECT_EQ(buffer[kBlockCells], 42);
  EXPECT_EQ(buffer[kBlockCells + 1], 0);
  EXPECT_EQ(QueryBuf(), 1);  // the paced block is still there
}

TEST_F(SimCard, ScriptedRefusals) {
  SimCard_FailNext("Initial", -3);
  EXPECT_EQ(Initial(0, 0, 0, 0), 0);
  EXPECT_EQ(GetLastADError(), -3);
  EXPECT_EQ(Initial(0, 0, 0, 0), 1);
  SimCard_FailNext("StartIntr", 77);
  EXPECT_EQ(StartIntr(10, 300, 0, 64, 50000, 0, 1), 0);
  EXPECT_EQ(GetLastADError(), 77);
  EXPECT_EQ(StartIntr(10, 300, 0, 64, 50000, 0, 1), 1);
}

TEST_F(SimCard, StartWithoutInitialIsRefused) {
  EXPECT_EQ(StartIntr(10, 300, 0, 64, 50000, 0, 1), 0);
  EXPECT_NE(GetLastADError(), 0);
}

TEST_F(SimCard, IdentityAndCallLog) {
  uint8_t request[3] = {70, 64, 0};
  uint8_t reply[5] = {};
  const uint8_t identity[5] = {1, 2, 3, 4, 5};
  SimCard_SetIdentity(identity);
  EXPECT_EQ(IOCtl(100, request, 100, reply), 1);
  EXPECT_EQ(std::vector<uint8_t>(reply, reply + 5), std::vector<uint8_t>(identity, identity + 5));

  Kzb_DOBit(-1, 1);
  int32_t args[8];
  SimCard_LastArgs("Kzb_DOBit", args);
  EXPECT_EQ(args[0], -1);  // 16-bit arguments are sign-extended
  SimCard_LastArgs("IOCtl", args);
  EXPECT_EQ((std::vector<int32_t>(args, args + 4)), (std::vector<int32_t>{100, 1, 100, 1}));
  EXPECT_EQ(SimCard_CallCount("IOCtl"), 1);
  EXPECT_EQ(SimCard_CallCount("NoSuchEntry"), 0);
  SimCard_Reset();
  EXPECT_EQ(SimCard_CallCount("IOCtl"), 0);
}

}  // namespace

// A pace line runs the card's clock faster; a pace it cannot take changes nothing.
TEST(FixtureFile, PaceLineSetsTheClocksPace) {
  const std::pair<const char*, double> rows[] = {
      {"", 1},
      {"pace 20\n", 20},
      {"pace 0.5\n", 1},
      {"pace 2000\n", 1},
      {"pace 20\npace 5\n", 5},
      {"pace twenty\n", 1},
  };
  for (const auto& [text, pace] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(simcard::FixturePace(text), pace);
  }
}

// A fixture file's lines change the power-on tones; what it cannot read changes nothing.
TEST(FixtureFile, LinesSetTonesOverThePowerOnOnes) {
  struct Row {
    const char* text;
    std::vector<std::pair<int, double>> tones;  // channel, noise
  };
  const double quiet = simcard::DefaultTone().noiseCodes;
  const Row rows[] = {
      {"", {{63, quiet}}},
      {"tone 63 40 4 30 -90 -96\n", {{63, 30}}},
      {"tone 0 50 1 2 -200 -200\ntone 63 0 0 0 0 0\n", {{0, 2}}},
      {"tone 64 40 4 30 -90 -96\ntone 5 forty\n# tone 1 1 1 1 1 1\n", {{63, quiet}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::vector<std::pair<int, double>> got;
    for (const simcard::Tone& t : simcard::FixtureTones(row.text)) {
      got.emplace_back(t.channel, t.noiseCodes);
    }
    EXPECT_EQ(got, row.tones);
  }
}

// Pulse, step, burst and random pulse lines; a line it cannot read adds nothing.
TEST(FixtureFile, PulseLinesAddPulses) {
  struct Row {
    const char* text;
    std::vector<std::tuple<int, double, double, double, double, int, double>> pulses;
  };
  const Row rows[] = {
      {"", {}},
      {"pulse 5 1.5 2 0.01\n", {{5, 1.5, 2, 0.01, 0, 1, 0}}},
      {"pulse 5 1.5 2 0.01 0.002\n", {{5, 1.5, 2, 0.01, 0.002, 1, 0}}},
      {"step 63 3 -1\n", {{63, 3, -1, 0, 0, 1, 0}}},
      {"burst 0 1 4 0.005 10 0.02 0.001\n", {{0, 1, 4, 0.005, 0.001, 10, 0.02}}},
      {"tone 5 50 1 1 -200 -200\npace 2\nstep 1 2 3\n", {{1, 2, 3, 0, 0, 1, 0}}},
      {"pulse 64 1 1 1\npulse 1 -1 1 1\nstep 1 x 1\nburst 1 1 1 1 0 1\npulse 1 1 1 1 edge\n", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::vector<std::tuple<int, double, double, double, double, int, double>> got;
    for (const simcard::Pulse& p : simcard::FixturePulses(row.text)) {
      got.emplace_back(p.channel, p.atSeconds, p.volts, p.widthSeconds, p.edgeSeconds, p.count,
                       p.periodSeconds);
    }
    EXPECT_EQ(got, row.pulses);
  }
  const std::vector<simcard::Pulse> random = simcard::FixturePulses("pulses 20 7 0 100 2 0.01\n");
  ASSERT_EQ(random.size(), 20u);
}

// A pulse crosses half its height at the middle of each edge; a step stays; a burst repeats.
TEST(SignalGenerator, PulsesStepsAndBurstsRiseAndFallWhereTold) {
  const simcard::Pulse pulse{
      .channel = 1, .atSeconds = 1, .volts = 2, .widthSeconds = 0.1, .edgeSeconds = 0.01};
  simcard::Pulse step = pulse, burst = pulse;
  step.widthSeconds = 0;
  burst.count = 3;
  burst.periodSeconds = 0.5;
  const std::tuple<const char*, simcard::Pulse, double, double> rows[] = {
      {"before", pulse, 0.99, 0},        {"edge's start", pulse, 0.995, 0},
      {"edge's middle", pulse, 1.0, 1},  {"edge's end", pulse, 1.005, 2},
      {"top", pulse, 1.05, 2},           {"falling middle", pulse, 1.1, 1},
      {"after", pulse, 1.2, 0},          {"step after", step, 100, 2},
      {"burst's third", burst, 2.05, 2}, {"burst's end", burst, 2.2, 0},
      {"between bursts", burst, 1.3, 0},
  };
  for (const auto& [name, p, seconds, volts] : rows) {
    SCOPED_TRACE(name);
    EXPECT_NEAR(simcard::PulseVolts(p, seconds), volts, 1e-9);
  }
}

// Random pulses lie one in each slot, the same for a seed, elsewhere for another; the card
// tells where each went.
TEST_F(SimCard, RandomPulsesFallOneInEachSlotAndAreTold) {
  const auto a = simcard::RandomPulses(50, 7, 10, 60, 2, 0.2, 0.01);
  const auto b = simcard::RandomPulses(50, 7, 10, 60, 2, 0.2, 0.01);
  const auto c = simcard::RandomPulses(50, 8, 10, 60, 2, 0.2, 0.01);
  ASSERT_EQ(a.size(), 50u);
  std::set<int> channels;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_GE(a[i].atSeconds - 0.005, 10 + i * 1.0);
    EXPECT_LE(a[i].atSeconds + 0.2 + 0.005, 10 + (i + 1) * 1.0);
    EXPECT_EQ(a[i].atSeconds, b[i].atSeconds);
    channels.insert(a[i].channel);
  }
  EXPECT_GT(channels.size(), 20u);
  EXPECT_NE(a[0].atSeconds, c[0].atSeconds);

  SimCard_AddRandomPulses(50, 7, 10, 60, 2, 0.2, 0.01);
  SimCard_AddPulses(3, 1.5, 1, 0, 0, 1, 0);
  ASSERT_EQ(SimCard_PulseCount(), 51);
  int32_t channel = -1;
  double at = -1;
  SimCard_PulseAt(49, &channel, &at);
  EXPECT_EQ(channel, a[49].channel);
  EXPECT_EQ(at, a[49].atSeconds);
  SimCard_PulseAt(50, &channel, &at);
  EXPECT_EQ(channel, 3);
  EXPECT_EQ(at, 1.5);
  SimCard_Reset();
  EXPECT_EQ(SimCard_PulseCount(), 0);
}

// A pulse reaches the fetched blocks on its channel alone, at its time.
TEST_F(SimCard, APulseShowsInTheFetchedBlock) {
  SimCard_AddPulses(10, 0.2, 2, 0.05, 0, 1, 0);
  Start();
  SimCard_AdvanceMs(400);
  std::vector<int16_t> buffer(kBlockCells + 1);
  ASSERT_EQ(ADResult(buffer.data()), 1);
  std::vector<int16_t> plain(kBlockCells);
  simcard::FillBlock(plain.data(), 64, 300, 0, 50000, {simcard::DefaultTone()});
  const int during = static_cast<int>(0.22 * 50000 / 64);  // a scan within the pulse
  for (int pt : {0, during}) {
    for (int ch : {9, 10, 11}) {
      const int cell = pt * 64 + ch;
      const int rise = static_cast<uint16_t>(buffer[cell + 1]) - static_cast<uint16_t>(plain[cell]);
      EXPECT_EQ(rise, pt == during && ch == 10 ? 13107 : 0) << pt << " " << ch;
    }
  }
}
