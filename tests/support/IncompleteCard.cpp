// A card library with only two of the card's entry points, for the binding's failure path.
#include "AdcardEntryPoints.h"

#include "SimCardExport.h"

#define EXPORT SIMCARD_EXPORT

EXPORT int32_t ADCARD_CALL StopIntr() {
  return 1;
}

EXPORT int32_t ADCARD_CALL IOCtl(int32_t, uint8_t*, int32_t, uint8_t* reply) {
  for (int i = 0; i < 5; ++i) reply[i] = 9;
  return 1;
}
