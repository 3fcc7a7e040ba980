#include "SimCardState.h"

#include <cstring>

namespace simcard {

SimCardState& State() {
  static SimCardState state;
  return state;
}

int EntryIndex(const char* name) {
  static constexpr const char* kNames[] = {
#define SIMCARD_NAME(name, ...) #name,
      ADCARD_ENTRY_POINTS(SIMCARD_NAME)
#undef SIMCARD_NAME
  };
  if (!name) return -1;
  for (int i = 0; i < kEntryCount; ++i) {
    if (std::strcmp(kNames[i], name) == 0) return i;
  }
  return -1;
}

void SimCardState::Pace() {
  if (!acq.running) return;
  // Whole numbers throughout, so a block finishes exactly on its microsecond.
  const int64_t blockSamples = int64_t{acq.channels} * acq.points;
  const int64_t elapsedMicros = clock.NowMicros() - acq.startMicros;
  if (elapsedMicros > 0) {
    acq.blocksFinished = elapsedMicros * acq.samplesPerSecond / (blockSamples * 1'000'000);
  }
  if (BlocksWaiting() > kQueueCapacity) {
    acq.overruns += static_cast<int32_t>(BlocksWaiting() - kQueueCapacity);
    acq.nextToFetch = acq.blocksFinished - kQueueCapacity;
  }
}

std::optional<int32_t> SimCardState::TakeFailure(const char* entryPoint) {
  auto it = pendingFailures.find(entryPoint);
  if (it == pendingFailures.end()) return std::nullopt;
  int32_t error = it->second;
  pendingFailures.erase(it);
  return error;
}

}  // namespace simcard
