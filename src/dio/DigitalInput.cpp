#include "DigitalInput.h"

#include "DllDef.h"
#include "NumberForms.h"

namespace dio {
namespace {

// "   1   0 ...": bit 7 first, each digit after three spaces.
std::string BitLine(int16_t word) {
  std::string line;
  for (int i = 7; i >= 0; --i) {
    line += "   ";
    line += (word & (1 << i)) ? '1' : '0';
  }
  return line;
}

std::string BitHeader() {
  std::string header;
  for (int i = 7; i >= 0; --i) {
    header += "   ";
    header += static_cast<char>('0' + i);
  }
  return header;
}

}  // namespace

DiCaptions FormatDigitalInputs(int16_t word0, int16_t word1) {
  using numtext::Hex;
  return DiCaptions{
      .lblDI = Hex(word0) + "  " + Hex(word1),
      .lblDI_0 = Hex(word0) + "   " + BitLine(word0),
      .lblBit = "         " + BitHeader(),
      .lblDI_1 = Hex(word1) + "   " + BitLine(word1),
  };
}

base::Result<> ReadInputWords(DllDef& dll, DiWordBuffer& words) {
  return card::Attempt(dll.library(), [&] { dll.Kzb_DI(2, words.data()); });
}

base::Result<DiCaptions> ReadDigitalInputs(DllDef& dll, DiWordBuffer& words) {
  if (auto read = ReadInputWords(dll, words); !read) return read.failure();
  return FormatDigitalInputs(words[0], words[1]);
}

}  // namespace dio
