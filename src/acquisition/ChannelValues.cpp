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

void LatestSamples(const BlockView& block, const VoltageScale& scale, int32_t* codes,
                   float* volts) {
  for (int ch = 0; ch < std::min(block.channels, kChannelSlots); ++ch) {
    codes[ch] = UnsignedCode(block.cell(block.points - 1, ch));
    volts[ch] = VoltsOfCode(codes[ch], scale);
  }
}

void ChannelAverages(const BlockView& block, const VoltageScale& scale, int32_t* codes,
                     float* volts) {
  // The interleaved layout lets all running sums advance together, point by point; each
  // channel's sum still adds its codes one after another, so the float rounding is exact.
  std::array<float, kChannelSlots> sums{};
  const int kept = std::min(block.channels, kChannelSlots);
  SumCodesByChannel(block.cells, block.channels, kept, block.points, sums.data());
  for (int ch = 0; ch < kept; ++ch) {
    double mean = static_cast<double>(sums[ch]) / block.points;
    codes[ch] = static_cast<int32_t>(std::nearbyint(mean));
    volts[ch] = VoltsOfCode(codes[ch], scale);
  }
}

}  // namespace acquisition
