// Any text through the numeric reading and the 16-bit rounding.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "NumericReading.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const numtext::Reading r = numtext::ReadNumber(text);
  if (std::isnan(r.value)) std::abort();
  if (auto rounded = numtext::RoundToInt16(r.value)) {
    if (*rounded != numtext::RoundToInt16Saturated(r.value)) std::abort();
  }
  return 0;
}
