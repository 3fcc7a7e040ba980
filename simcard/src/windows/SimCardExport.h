// What the simulated card library exports: C names. Which names the DLL shows, decorated
// or plain, is set by the export table the build writes for the architecture.
#pragma once

#define SIMCARD_EXPORT extern "C"
