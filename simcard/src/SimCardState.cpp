#include "SimCardState.h"

namespace simcard {

SimCardState& State() {
  static SimCardState state;
  return state;
}

CallRecord* CallsOf(const char* name) {
  if (!name) return nullptr;
  const auto entry = card::EntryOfName(name);
  return entry ? &State().calls[static_cast<size_t>(*entry)] : nullptr;
}

void SimCardState::Pace() {
  if (!acq.running) return;
  // Whole numbers throughout, so a block finishes exactly on its microsecond.
  const int64_t blockSamples = int64_t{acq.channels} * acq.points;
  const int64_t elapsedMicros = clock.NowMicros() - acq.startMicros;
  if (elapsedMicros > 0) {
    acq.blocksFinished = elapsedMicros * acq.samplesPerSecond / (blockSamples * 1'000'000);
  }
  if (BlocksWaiting() > QueueCapacity()) {
    acq.overruns += static_cast<int32_t>(BlocksWaiting() - QueueCapacity());
    acq.nextToFetch = acq.blocksFinished - QueueCapacity();
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
