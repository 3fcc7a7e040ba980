#include "ChannelValues.h"

#include "BlockKernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace acquisition {

int16_t AdvanceBlockCount(int16_t counter, int16_t count) {
  int32_t sum = int32_t{counter} + count;
  if (sum > 32000 || sum < INT16_MIN) return 0;
  return static_cast<int16_t>(sum);
}

void LatestSamples(const int16_t* block, int channels, int points, const VoltageScale& scale,
                   int32_t* codes, float* volts) {
  const int16_t* last = block + static_cast<ptrdiff_t>(points - 1) * channels;
  for (int ch = 0; ch < std::min(channels, kChannelSlots); ++ch) {
    codes[ch] = UnsignedCode(last[ch]);
    volts[ch] = VoltsOfCode(codes[ch], scale);
  }
}

void ChannelAverages(const int16_t* block, int channels, int points, const VoltageScale& scale,
                     int32_t* codes, float* volts) {
  // The interleaved layout lets all running sums advance together, point by point; each
  // channel's sum still adds its codes one after another, so the float rounding is exact.
  std::array<float, kChannelSlots> sums{};
  const int kept = std::min(channels, kChannelSlots);
  SumCodesByChannel(block, channels, kept, points, sums.data());
  for (int ch = 0; ch < kept; ++ch) {
    double mean = static_cast<double>(sums[ch]) / points;
    codes[ch] = static_cast<int32_t>(std::nearbyint(mean));
    volts[ch] = VoltsOfCode(codes[ch], scale);
  }
}

}  // namespace acquisition
