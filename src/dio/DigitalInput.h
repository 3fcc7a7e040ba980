// The digital input monitor: both input words in hexadecimal and bit by bit.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class DllDef;

namespace dio {

// The buffer the card writes the input words into. It is never cleared: when the card
// writes nothing, the words of the previous read show again.
using DiWordBuffer = std::array<int16_t, 129>;

struct DiCaptions {
  std::string lblDI;    // "A5  3C"
  std::string lblDI_0;  // "A5      1   0   1   0   0   1   0   1"
  std::string lblBit;   // nine spaces, then "   7   6   5   4   3   2   1   0"
  std::string lblDI_1;
};

DiCaptions FormatDigitalInputs(int16_t word0, int16_t word1);

// Reads both words into `words` and returns the captions for what the buffer then holds.
// Throws card::CardUnavailable when the library or Kzb_DI is missing.
DiCaptions ReadDigitalInputs(DllDef& dll, DiWordBuffer& words);

}  // namespace dio
