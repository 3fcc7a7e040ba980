// The entry points of the card library "adcard", in the card maker's declaration order.
// Both the program's binding and the simulated card are generated from this one table, so
// the compiler holds them to the same signatures. On 32-bit Windows every argument takes
// one 4-byte stack slot; a 16-bit argument fills only its low half.
#pragma once

#include <cstdint>

#include "AdcardPlatform.h"  // ADCARD_CALL and ADCARD_LIBRARY_NAME of the target platform

// X(name, argument count, result type, argument types...)
// The program calls ten of them; the others are declared because the card has them.
#define ADCARD_ENTRY_POINTS(X)                                                                \
  X(Initial, 4, int32_t, int32_t, int32_t, int32_t, int32_t)                                  \
  X(StartIntr, 7, int32_t, int16_t, int32_t, int16_t, int16_t, int32_t, int32_t, int16_t)     \
  X(StartSnapshot, 8, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, \
    int32_t)                                                                                  \
  X(StopIntr, 0, int32_t)                                                                     \
  X(RegisterNotify, 5, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t)                  \
  X(QueryBuf, 0, int16_t)                                                                     \
  X(ADResult, 1, int32_t, int16_t*)                                                           \
  X(ADResultRecent, 1, int32_t, int16_t*)                                                     \
  X(GetSnapshot, 3, int32_t, int32_t, int32_t, int32_t)                                       \
  X(ConfigInfo, 8, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,    \
    int32_t)                                                                                  \
  X(ChannelFrq, 2, int32_t, int32_t, int32_t)                                                 \
  X(IOCtl, 4, int32_t, int32_t, uint8_t*, int32_t, uint8_t*)                                  \
  X(GetLastADError, 0, int32_t)                                                               \
  X(Kzb_DI, 2, int16_t, int32_t, int16_t*)                                                    \
  X(Kzb_ADResult, 2, int32_t, int32_t, int32_t)                                               \
  X(Kzb_Init, 3, int32_t, int32_t, int32_t, int32_t)                                          \
  X(Kzb_DO, 2, int32_t, int16_t, int16_t)                                                     \
  X(Kzb_DOBit, 2, int32_t, int16_t, int16_t)                                                  \
  X(Kzb_DA, 2, int32_t, int32_t, int32_t)                                                     \
  X(Kzb_USB_Inportb, 3, int32_t, int32_t, int32_t, int32_t)                                   \
  X(Kzb_USB_Outportb, 3, int32_t, int32_t, int32_t, int32_t)                                  \
  X(Kzb_Readb, 4, int32_t, int32_t, int32_t, int32_t, int32_t)                                \
  X(Kzb_Writeb, 4, int32_t, int32_t, int32_t, int32_t, int32_t)
