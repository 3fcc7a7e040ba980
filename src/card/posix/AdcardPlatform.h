// The card library on Linux: the platform's own calling convention and library name.
#pragma once

#define ADCARD_CALL
#define ADCARD_LIBRARY_NAME "libadcard.so"
