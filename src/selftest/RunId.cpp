#include "RunId.h"

#include <cstdio>
#include <random>

namespace selftest {

std::string NewRunId() {
  // Seeded once per thread from the system's entropy: ids stay unpredictable and distinct
  // across threads and processes.
  thread_local std::mt19937_64 random([] {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), entropy(), entropy()};
    return std::mt19937_64(seed);
  }());
  const uint64_t high = random(), low = random();
  char text[37];
  std::snprintf(text, sizeof text, "%08x-%04x-4%03x-%04x-%012llx",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xffff),
                static_cast<unsigned>(high & 0x0fff),
                static_cast<unsigned>(0x8000 | ((low >> 48) & 0x3fff)),
                static_cast<unsigned long long>(low & 0xffffffffffffULL));
  return text;
}

}  // namespace selftest
