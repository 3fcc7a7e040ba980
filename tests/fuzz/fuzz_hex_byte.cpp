// Any text typed into the byte field.
#include <cstdlib>
#include <string_view>

#include "DigitalOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int16_t byte = dio::ByteOfHexText({reinterpret_cast<const char*>(data), size});
  if (byte < 0 || byte > 255) std::abort();
  return 0;
}
