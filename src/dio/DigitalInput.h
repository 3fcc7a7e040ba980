// The digital input monitor: both input words in hexadecimal and bit by bit.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Failure.h"

class DllDef;

namespace dio {

// The program's own input buffer, indices 0 to 128: the card writes the two ports into
// words 0 and 1, and one that writes more than asked still stays inside it. It is never
// cleared: when the card writes nothing, the words of the previous read show again.
inline constexpr size_t kDiWordBufferWords = 129;
using DiWordBuffer = std::array<int16_t, kDiWordBufferWords>;

struct DiCaptions {
  std::string lblDI;    // "A5  3C"
  std::string lblDI_0;  // "A5      1   0   1   0   0   1   0   1"
  std::string lblBit;   // nine spaces, then "   7   6   5   4   3   2   1   0"
  std::string lblDI_1;
};

DiCaptions FormatDigitalInputs(int16_t word0, int16_t word1);

// Reads both input words into words 0 and 1, or says why the card could not be read.
base::Result<> ReadInputWords(DllDef& dll, DiWordBuffer& words);

// Reads both words into `words` and returns the captions for what the buffer then holds,
// or why the card could not be read.
base::Result<DiCaptions> ReadDigitalInputs(DllDef& dll, DiWordBuffer& words);

}  // namespace dio
