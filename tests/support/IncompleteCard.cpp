// A card library with only two of the card's entry points, for the binding's failure path.
#include "AdcardEntryPoints.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int32_t StopIntr() {
  return 1;
}

EXPORT int32_t IOCtl(int32_t, uint8_t*, int32_t, uint8_t* reply) {
  for (int i = 0; i < 5; ++i) reply[i] = 9;
  return 1;
}
