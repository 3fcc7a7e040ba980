// The card library on Windows: the card maker's "adcard.dll" with __stdcall entry points
// (a no-op on 64-bit Windows, which has one calling convention).
#pragma once

#define ADCARD_CALL __stdcall
#define ADCARD_LIBRARY_NAME "adcard.dll"
