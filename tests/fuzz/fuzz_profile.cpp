// Any text as a self-test profile: the parser never crashes, and whatever it accepts holds
// only finite limits in their ranges, so no accepted profile can pass every card.
#include <cmath>
#include <cstdlib>
#include <string>

#include "Profile.h"

namespace {

bool Finite(float v, float most) {
  return std::isfinite(v) && std::fabs(v) <= most;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto parsed = selftest::ParseProfile(text, "fuzz.ini");
  if (!parsed) return 0;
  const selftest::Profile& p = parsed.value();
  bool sane = p.blocks >= 2 && p.blocks <= 1000 && p.rateTolerance > 0 && p.rateTolerance < 1 &&
              std::isfinite(p.timeoutSeconds) && p.timeoutSeconds > 0 &&
              p.timeoutSeconds <= 3600 && p.settleMs >= 0 && p.settleMs <= 10000;
  for (const auto& c : p.channels) {
    if (!c) continue;
    sane = sane && (!c->level || Finite(*c->level, 10)) && Finite(c->tolerance, 10) &&
           c->tolerance >= 0 && Finite(c->noise, 10) && c->noise >= 0 &&
           Finite(c->minimum, 10) && Finite(c->maximum, 10) && c->minimum <= c->maximum;
  }
  for (int in : p.loopback) sane = sane && in >= -1 && in <= 15;
  if (!sane) std::abort();
  return 0;
}
