// What the station's list shows of a check and of each figure, in Chinese: the figure's
// name, its value with its unit, and the limits it was held to.
#pragma once

#include <optional>
#include <string>

#include "ProductionCheck.h"

namespace selftest {

// The Chinese name of a check (identity is "板卡标识") and of a verdict (Pass is "通过").
std::string CheckTitle(CheckKind kind);
// A check's title; one this program does not know is "未知检查" and its own name.
std::string CheckTitle(const Check& check);
std::string VerdictTitle(Verdict verdict);

// "channel 64 SNR" is "通道64 SNR"; a figure it does not know keeps its own name.
std::string MeasurementTitle(const FigureId& id);
// "85.2 dB", "0.5012 V", "3 块": as many decimals as the unit is read to; "无信号" for a
// figure that could not be measured.
std::string ValueText(std::optional<double> value, const std::string& unit);
// "≥ 80.0 dB", "≤ 0 块", "0.4800 … 0.5200 V"; empty when the figure has no limits.
std::string LimitsText(const Measurement& m);

// A check's row: a failing check shows its first failing figure and that figure's limits;
// a passing one its few figures, or how many passed.
struct CheckLine {
  std::string measured, limits;
};
CheckLine CheckLineOf(const Check& check);

// A check's detail (its reasons, a line each) as the operator reads it: the check's own
// phrases in Chinese; a system's reason it quotes ("StartIntr: error 5") stays as it is.
std::string DetailText(const std::string& detail);

}  // namespace selftest
