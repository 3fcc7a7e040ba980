// The station's Chinese rows: a figure's name, value and limits, and what a check's row shows.
#include "MeasurementText.h"

#include <gtest/gtest.h>

using namespace selftest;

TEST(MeasurementText, NamesValuesAndLimits) {
  struct Row {
    Measurement m;
    const char *title, *value, *limits;
  };
  const Row rows[] = {
      {{"channel 64 SNR", 85.23, "dB", 80.0, std::nullopt, true},
       "通道64 SNR",
       "85.2 dB",
       "≥ 80.0 dB"},
      {{"channel 1 mean", 0.50123, "V", 0.48, 0.52, true},
       "通道1 均值",
       "0.5012 V",
       "0.4800 … 0.5200 V"},
      {{"lost blocks", 3, "blocks", std::nullopt, 0.0, false}, "丢失数据块", "3 块", "≤ 0 块"},
      {{"output bit 15 patterns misread", 2, "patterns", std::nullopt, 0.0, false},
       "输出位15 读错次数",
       "2 次",
       "≤ 0 次"},
      {{"channel 64 frequency", std::nullopt, "Hz", 39.9, 40.1, false},
       "通道64 频率",
       "无信号",
       "39.90 … 40.10 Hz"},
      {{"channel 7 flicker", 1.5, "furlongs", std::nullopt, std::nullopt, true},
       "通道7 flicker",
       "1.500 furlongs",
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.m.id.Name());
    EXPECT_EQ(MeasurementTitle(row.m.id), row.title);
    EXPECT_EQ(ValueText(row.m.value, row.m.unit), row.value);
    EXPECT_EQ(LimitsText(row.m), row.limits);
  }
}

TEST(MeasurementText, ACheckRowShowsItsFirstFailureOrItsFigures) {
  Check acquisition;
  acquisition.kind = CheckKind::Acquisition;
  acquisition.passed = true;
  acquisition.measurements = {{"blocks received", 20, "blocks", 20.0, std::nullopt, true},
                              {"lost blocks", 0, "blocks", std::nullopt, 0.0, true}};
  const CheckLine passed = CheckLineOf(acquisition);
  EXPECT_EQ(passed.measured, "收到数据块 20 块，丢失数据块 0 块");
  EXPECT_EQ(passed.limits, "≥ 20 块，≤ 0 块");

  Check analog;
  analog.kind = CheckKind::Analog;
  for (int ch = 1; ch <= 4; ++ch) {
    analog.measurements.push_back(
        {"channel " + std::to_string(ch) + " noise", 0.002, "V", std::nullopt, 0.001, ch < 3});
  }
  const CheckLine failed = CheckLineOf(analog);
  EXPECT_EQ(failed.measured, "通道3 噪声 0.0020 V");
  EXPECT_EQ(failed.limits, "≤ 0.0010 V");
  analog.measurements.resize(2);
  analog.measurements.push_back(analog.measurements[0]);
  analog.measurements.push_back(analog.measurements[0]);
  analog.passed = true;
  EXPECT_EQ(CheckLineOf(analog).measured, "4 项测量均在限值内");
}

// A check's reasons in Chinese; a system's own reason it quotes stays as it is.
TEST(MeasurementText, ADetailReadsInChinese) {
  const std::pair<const char*, const char*> rows[] = {
      {"interrupted", "测试被中断"},
      {"3 blocks the card finished never arrived", "3 个板卡已完成的数据块没有收到"},
      {"channel 64 SNR 55.80 dB; at least 80.00\nchannel 64 SINAD not measured; at least 78.00",
       "通道64 SNR 55.80 dB；应不小于 80.00\n通道64 SINAD 无信号；应不小于 78.00"},
      {"walking 1 on output 3: input 3 reads 0, expected 1 (stuck)",
       "走 1 输出位 3：输入位 3 读到 0，应为 1 (固定不变)"},
      {"channel 64 frequency 0.00 Hz; expected 39.90 .. 40.10 (no tone found)",
       "通道64 频率 0.00 Hz；应为 39.90 .. 40.10 (无信号)"},
      {"channel 64 THD no signal; at most -85.00", "通道64 THD 无信号；应不大于 -85.00"},
      {"StartIntr: error 5", "StartIntr: error 5"},
      {"", ""},
  };
  for (const auto& [english, chinese] : rows) EXPECT_EQ(DetailText(english), chinese) << english;
}
