// What the simulated card delivers, for checking a recording from outside: the CRC-32 of
// each of its first COUNT blocks (64 x 300 cells, little-endian, the power-on tones), one
// per line in hexadecimal, as Python's zlib.crc32 gives it.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "RecordFormat.h"
#include "SignalGenerator.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sim_blocks COUNT\n");
    return 2;
  }
  const long count = std::atol(argv[1]);
  std::vector<int16_t> cells(recording::kCodesPerRecord);
  for (long block = 0; block < count; ++block) {
    simcard::FillBlock(cells.data(), recording::kChannels, recording::kPoints, block, 50000,
                       {simcard::DefaultTone()});
    std::printf("%08x\n", recording::Crc32(reinterpret_cast<const uint8_t*>(cells.data()),
                                           recording::kPayloadBytes));
  }
  return 0;
}
