#include "ChannelValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "StartStop.h"

using namespace acquisition;

namespace {

constexpr int kChannels = 64;
constexpr int kPoints = 300;
const VoltageScale kScale = kVoltageScale;

// The averaging in its plainest form, one channel at a time: a float running sum in point
// order. The optimised pass must give the same bits.
void ReferenceAverages(const std::vector<int16_t>& block, int32_t* codes, float* volts) {
  for (int ch = 0; ch < kChannels; ++ch) {
    float sum = 0;
    for (int pt = 0; pt < kPoints; ++pt) {
      int32_t code = block[pt * kChannels + ch];
      if (code < 0) code += 65536;
      sum = sum + static_cast<float>(code);
    }
    double mean = static_cast<double>(sum) / kPoints;
    double rounded = std::floor(mean);
    double rest = mean - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2) != 0)) rounded += 1;
    codes[ch] = static_cast<int32_t>(rounded);
    volts[ch] = static_cast<float>(static_cast<double>(codes[ch] - 32768) / 65535 * 10.0);
  }
}

std::vector<int16_t> BlockWhere(int16_t (*cell)(int pt, int ch)) {
  std::vector<int16_t> block(kChannels * kPoints);
  for (int pt = 0; pt < kPoints; ++pt)
    for (int ch = 0; ch < kChannels; ++ch) block[pt * kChannels + ch] = cell(pt, ch);
  return block;
}

TEST(ChannelAverages, HalvesGoToTheEvenCode) {
  // Channel 0: 150 x 1 and 150 x 2 (1.5 -> 2); channel 1: 150 x 0 and 150 x 1 (0.5 -> 0);
  // channel 2: all cells -1 (the float sum ends at 19660544, the mean 65535.15 -> 65535).
  auto block = BlockWhere([](int pt, int ch) -> int16_t {
    if (ch == 0) return pt < 150 ? 1 : 2;
    if (ch == 1) return pt % 2;
    if (ch == 2) return -1;
    return static_cast<int16_t>(ch);
  });
  int32_t codes[kChannelSlots];
  float volts[kChannelSlots];
  ChannelAverages(BlockView{block.data(), kChannels, kPoints}, kScale, codes, volts);
  EXPECT_EQ(codes[0], 2);
  EXPECT_EQ(codes[1], 0);
  EXPECT_EQ(codes[2], 65535);
  EXPECT_EQ(codes[63], 63);
  EXPECT_FLOAT_EQ(volts[2], 4.9999237f);

  float sum = 0;
  for (int i = 0; i < kPoints; ++i) sum += 65535.0f;
  EXPECT_EQ(sum, 19660544.0f);
}

TEST(ChannelAverages, MatchThePlainLoopBitForBit) {
  std::mt19937 random(7);
  std::vector<std::vector<int16_t>> blocks;
  for (int16_t fill : {int16_t{-1}, int16_t{0}, int16_t{-32768}, int16_t{32767}}) {
    blocks.emplace_back(kChannels * kPoints, fill);
  }
  for (int i = 0; i < 20; ++i) {
    std::vector<int16_t> block(kChannels * kPoints);
    std::uniform_int_distribution<int> any(-32768, 32767), near(-40, 40);
    const int centre = any(random);
    for (auto& cell : block)
      cell = static_cast<int16_t>(i % 2 ? any(random) : centre + near(random));
    blocks.push_back(block);
  }
  for (const auto& block : blocks) {
    int32_t codes[kChannelSlots], expectedCodes[kChannelSlots];
    float volts[kChannelSlots], expectedVolts[kChannelSlots];
    ChannelAverages(BlockView{block.data(), kChannels, kPoints}, kScale, codes, volts);
    ReferenceAverages(block, expectedCodes, expectedVolts);
    for (int ch = 0; ch < kChannels; ++ch) {
      ASSERT_EQ(codes[ch], expectedCodes[ch]) << ch;
      ASSERT_EQ(std::bit_cast<uint32_t>(volts[ch]), std::bit_cast<uint32_t>(expectedVolts[ch]));
    }
  }
}

TEST(LatestSamples, TakeTheLastPointOfEveryChannel) {
  auto block = BlockWhere([](int pt, int ch) -> int16_t {
    return pt == kPoints - 1 ? static_cast<int16_t>(-ch - 1) : 0;
  });
  int32_t codes[kChannelSlots];
  float volts[kChannelSlots];
  LatestSamples(BlockView{block.data(), kChannels, kPoints}, kScale, codes, volts);
  EXPECT_EQ(codes[0], 65535);
  EXPECT_EQ(codes[63], 65536 - 64);
}

TEST(BlockCounter, RestartsPast32000AndStaysInRange) {
  struct Case {
    int16_t counter, count, expected;
  } cases[] = {{31999, 2, 0},   {31999, 1, 32000},   {0, 767, 767},
               {32000, 767, 0}, {0, 32767, 0},       {0, -5, -5},
               {-32768, -1, 0}, {-32000, -32768, 0}, {100, 0, 100}};
  for (const Case& c : cases) {
    EXPECT_EQ(AdvanceBlockCount(c.counter, c.count), c.expected) << c.counter << "+" << c.count;
  }
}

TEST(SaveSettings, AreRoundedAndClamped) {
  struct Case {
    const char* text;
    int16_t min, max;
    std::optional<int16_t> expected;
  } cases[] = {{"3", 1, 20, 3},      {"20", 1, 10, 10},
               {"", 1, 20, 1},       {"abc", 1, 20, 1},
               {"0", 1, 20, 1},      {"-7", 1, 20, 1},
               {"25", 1, 20, 20},    {"2.5", 1, 20, 2},
               {"3.5", 1, 20, 4},    {"99999", 1, 20, std::nullopt},
               {"-32768", 1, 20, 1}, {"-32769", 1, 20, std::nullopt}};
  for (const Case& c : cases)
    EXPECT_EQ(ReadSaveSetting(c.text, c.min, c.max), c.expected) << c.text;
}

}  // namespace
