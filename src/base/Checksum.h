// A short, stable digest of a text (FNV-1a, 64 bits, 16 hexadecimal digits): names a profile
// by its exact bytes, and a card by its library's path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace base {

inline std::string Checksum(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

}  // namespace base
