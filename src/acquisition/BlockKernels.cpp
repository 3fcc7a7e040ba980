#include "BlockKernels.h"

#include <cstddef>

// The build turns the variants on where the platform can choose among them at load time.
#if defined(KZB_LOAD_TIME_CLONES)
#define KZB_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define KZB_VECTOR_CLONES
#endif

namespace acquisition {

namespace {

// Adds every row's codes into the channel sums, point by point. A fixed channel count lets
// the row loop unroll into whole vectors.
template <int kFixedChannels>
inline void AddRows(const int16_t* block, int channels, int summed, int points,
                    float* __restrict sums) {
  if constexpr (kFixedChannels > 0) channels = summed = kFixedChannels;
  for (int pt = 0; pt < points; ++pt) {
    const int16_t* row = block + static_cast<ptrdiff_t>(pt) * channels;
    for (int ch = 0; ch < summed; ++ch) {
      sums[ch] += static_cast<float>(static_cast<uint16_t>(row[ch]));
    }
  }
}

}  // namespace

KZB_VECTOR_CLONES
void SumCodesByChannel(const int16_t* block, int channels, int summed, int points, float* sums) {
  for (int ch = 0; ch < summed; ++ch) sums[ch] = 0.0f;
  if (channels == 64 && summed == 64) {
    AddRows<64>(block, channels, summed, points, sums);
  } else {
    AddRows<0>(block, channels, summed, points, sums);
  }
}

}  // namespace acquisition
