#include "Waveform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

using namespace acquisition;

namespace {

const VoltageScale kScale = kVoltageScale;
constexpr double kIntervalMs = 1.28;  // 50,000 samples a second over 64 channels

TEST(Waveform, PointIntervalFollowsTheRateAndChannels) {
  EXPECT_DOUBLE_EQ(PointIntervalMs(50000, 64), 1.28);
  EXPECT_DOUBLE_EQ(PointIntervalMs(50000, 64) * 300, 384.0);
  EXPECT_DOUBLE_EQ(PointIntervalMs(0, 64), 0.0);
  EXPECT_DOUBLE_EQ(PointIntervalMs(50000, 0), 0.0);
}

// The cells of one channel reach the trace with the live labels' arithmetic, the extreme
// codes included, and only that channel's cells are read.
TEST(Waveform, TraceTakesItsChannelsCellsInVolts) {
  std::vector<int16_t> block(64 * 300, 1234);
  const int16_t cells[] = {0, -1, -32768, 32767};
  for (int pt = 0; pt < 4; ++pt) block[pt * 64 + 5] = cells[pt];
  Trace trace;
  ExtractTrace(BlockView{block.data(), 64, 300, 50000}, 5, kScale, trace);
  ASSERT_EQ(trace.volts.size(), 300u);
  EXPECT_EQ(trace.channel, 5);
  for (int pt = 0; pt < 4; ++pt) {
    EXPECT_EQ(trace.volts[pt], VoltsOfCode(UnsignedCode(cells[pt]), kScale)) << pt;
  }
  EXPECT_FLOAT_EQ(trace.volts[0], -5.0000763f);
  EXPECT_FLOAT_EQ(trace.volts[1], 4.9999237f);
  EXPECT_FLOAT_EQ(trace.volts[2], 0.0f);
  EXPECT_EQ(trace.volts[299], VoltsOfCode(1234, kScale));
  EXPECT_FLOAT_EQ(trace.stats.minimum, -5.0000763f);
  EXPECT_FLOAT_EQ(trace.stats.maximum, 4.9999237f);
}

TEST(Waveform, FiguresOfKnownSignals) {
  struct Case {
    const char* what;
    std::function<double(double ms)> volts;
    float mean, rms, minimum, maximum;
    std::optional<double> hz;
  } cases[] = {
      {"a level", [](double) { return 1.5; }, 1.5f, 1.5f, 1.5f, 1.5f, std::nullopt},
      // Whole periods in the block's 384 ms, so the mean is the signal's own.
      {"a sine of 5 periods",
       [](double ms) { return 2 * std::sin(2 * std::numbers::pi * ms / 76.8); }, 0.0f, 1.4142f,
       -2.0f, 2.0f, 1000 / 76.8},
      {"a square of 10 periods", [](double ms) { return std::fmod(ms, 38.4) < 19.1 ? 1.0 : -1.0; },
       0.0f, 1.0f, -1.0f, 1.0f, 1000 / 38.4},
      {"a level with noise", [](double ms) { return 0.3 + 0.002 * std::sin(ms * 77.7); }, 0.3f,
       0.3f, 0.298f, 0.302f, std::nullopt},
      {"half a period", [](double ms) { return std::sin(2 * std::numbers::pi * ms / 768); }, 0.637f,
       0.707f, 0.0f, 1.0f, std::nullopt},
  };
  for (const Case& c : cases) {
    std::vector<float> volts(300);
    for (int pt = 0; pt < 300; ++pt) volts[pt] = static_cast<float>(c.volts(pt * kIntervalMs));
    const TraceStats stats = StatsOf(volts, kIntervalMs);
    EXPECT_NEAR(stats.mean, c.mean, 0.02) << c.what;
    EXPECT_NEAR(stats.rms, c.rms, 0.02) << c.what;
    EXPECT_NEAR(stats.minimum, c.minimum, 0.02) << c.what;
    EXPECT_NEAR(stats.maximum, c.maximum, 0.02) << c.what;
    ASSERT_EQ(stats.frequencyHz.has_value(), c.hz.has_value()) << c.what;
    if (c.hz) {
      EXPECT_NEAR(*stats.frequencyHz, *c.hz, *c.hz * 0.01) << c.what;
    }
  }
}

// One code apart (0.153 mV) stays apart in the text; both numberings name a trace.
TEST(Waveform, CsvOpensRightInASpreadsheet) {
  Trace a{.channel = 0, .volts = {1.0f, -0.5f}, .stats = {}};
  Trace b{.channel = 63, .volts = {4.9999237f, 4.9997711f}, .stats = {}};
  EXPECT_EQ(TracesCsv({a, b}, kIntervalMs, 1234, "2026-12-09 12:03:05"),
            "\xEF\xBB\xBF数据块,1234,时间,2026-12-09 12:03:05\r\n"
            "时间(ms),通道1 (Ch 0) (V),通道64 (Ch 63) (V)\r\n"
            "0.00,1.00000,4.99992\r\n"
            "1.28,-0.50000,4.99977\r\n");
  EXPECT_EQ(TracesCsv({}, kIntervalMs, -32768, ""),
            "\xEF\xBB\xBF数据块,-32768,时间,\r\n时间(ms)\r\n");
}

}  // namespace
