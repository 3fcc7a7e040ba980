// What the simulated card library exports: C names, visible outside the library.
#pragma once

#define SIMCARD_EXPORT extern "C" __attribute__((visibility("default")))
