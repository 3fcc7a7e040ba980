// The loops that touch every cell of a block. They run for each delivered block on the
// user-interface thread, so they are built for vector units, with x86-64-v4 (AVX-512) and
// AVX2 variants chosen at load time where the processor has them. Results are the same on
// every variant: each float is converted exactly, and every channel's sum still adds its
// codes in point order.
#pragma once

#include <cstdint>

namespace acquisition {

// sums[ch] = the float sum of the unsigned codes of block[pt * channels + ch] for
// pt = 0..points-1, added in point order with each partial sum rounded to float; for
// ch in 0..summed-1.
void SumCodesByChannel(const int16_t* block, int channels, int summed, int points, float* sums);

}  // namespace acquisition
