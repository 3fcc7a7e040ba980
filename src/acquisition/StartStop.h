// Starting and stopping interrupt-mode acquisition.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Failure.h"

class DllDef;

namespace acquisition {

// The start's parameters: 64 channels sampled in turn, 50,000 samples a second in all.
inline constexpr int16_t kStartChannels = 64;
inline constexpr int32_t kStartSampleRateHz = 50000;
// Samples a second of one channel (781.25): a tone is measurable only below half of it.
inline constexpr double kChannelSampleRateHz =
    static_cast<double>(kStartSampleRateHz) / kStartChannels;

// A save setting as typed: numeric reading, rounded half to even, clamped to min..max.
// Empty when the rounded value lies outside the 16-bit range: the start is then abandoned.
std::optional<int16_t> ReadSaveSetting(std::string_view text, int16_t min, int16_t max);

struct StartOutcome {
  bool started = false;
  int32_t errorNumber = 0;  // GetLastADError after a refusal
};

// Fixes the parameters, stops and initialises the card, sizes and clears the block buffer
// and the ring, and starts acquisition. A missing card library or entry point, or too
// little memory for the buffers, ends it where it happened, keeping what was done so far.
base::Result<StartOutcome> StartAcquisition(DllDef& dll);

base::Result<> StopAcquisition(DllDef& dll);

// "Error=-3": what lblBlock shows after a refusal.
std::string RefusalText(int32_t errorNumber);

// Seconds the card takes for one block at the start parameters (64 x 300 points at 50,000
// samples a second: 0.384 s).
double BlockPeriodSeconds(const DllDef& dll);

// True once a start has sized the buffers for the current parameters.
bool BuffersReady(const DllDef& dll);

}  // namespace acquisition
