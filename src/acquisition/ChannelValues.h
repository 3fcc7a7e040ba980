// Window-level acquisition state, and the arithmetic that turns sample cells into codes,
// volts and channel averages.
#pragma once

#include <array>
#include <cstdint>

#include "Block.h"

namespace acquisition {

// The program's per-channel arrays ChanCode and ChanVolt are declared with indices 0 to 65:
// two cells of room beyond the card's 64 channels. A block fills the first ChannelCount.
constexpr int kChannelSlots = 66;

struct VoltageScale {
  int32_t FullScaleCount = 0;
  int32_t ZeroCode = 0;
  float SpanVolts = 0.0f;
};

// The scale start-up sets: code 32768 is 0 V, and 65535 codes span 10 V.
inline constexpr VoltageScale kVoltageScale{
    .FullScaleCount = 65535, .ZeroCode = 32768, .SpanVolts = 10.0f};

struct ChannelValues {
  int16_t BlocksReceived = 0;
  VoltageScale Scale;  // FullScaleCount, ZeroCode and SpanVolts, set at start-up
  std::array<int32_t, kChannelSlots> ChanCode{};
  std::array<float, kChannelSlots> ChanVolt{};
};

// A cell holds the card's 16-bit word as a signed value; its code is 0..65535.
inline int32_t UnsignedCode(int16_t cell) {
  return static_cast<uint16_t>(cell);
}

// The difference in 32-bit integers, divided and scaled in double precision, kept as float.
inline float VoltsOfCode(int32_t code, const VoltageScale& s) {
  return static_cast<float>(static_cast<double>(code - s.ZeroCode) / s.FullScaleCount *
                            static_cast<double>(s.SpanVolts));
}

// The block counter after a tick that reported `count` blocks: it restarts at 0 past 32000,
// and a true sum below the 16-bit range (repeated negative counts) restarts it at 0 as well.
int16_t AdvanceBlockCount(int16_t counter, int16_t count);

// The volts of one sample cell.
inline float VoltsOfCell(int16_t cell, const VoltageScale& s) {
  return VoltsOfCode(UnsignedCode(cell), s);
}

// Code and volts of the last sample point of every channel.
void LatestSamples(const BlockView& block, const VoltageScale& scale, int32_t* codes, float* volts);

// Every channel's average over the block: a 32-bit float running sum in point order, its
// mean in double precision, rounded half to even.
void ChannelAverages(const BlockView& block, const VoltageScale& scale, int32_t* codes,
                     float* volts);

}  // namespace acquisition
