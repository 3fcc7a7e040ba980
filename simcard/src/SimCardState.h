// Everything the simulated card remembers between calls. The card is driven from one
// thread at a time, as the card maker's library is.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "EntryPointTable.h"
#include "SignalGenerator.h"
#include "SimClock.h"

namespace simcard {

using card::Entry;
constexpr int kCellsPerScriptedFetch = 19200;
constexpr int kQueueCapacity = 64;  // finished blocks held before the oldest is dropped

// Error numbers that GetLastADError reports for the simulated card's own refusals.
constexpr int32_t kErrorNotInitialised = 2;
constexpr int32_t kErrorBadArguments = 3;

struct CallRecord {
  int32_t count = 0;
  std::array<int32_t, 8> lastArgs{};
};

struct Acquisition {
  bool initialised = false;
  bool running = false;
  int channels = 0;
  int points = 0;
  int64_t samplesPerSecond = 0;
  int64_t startMicros = 0;
  int64_t blocksFinished = 0;  // blocks completed since the start, fetched or not
  int64_t nextToFetch = 0;     // oldest block still waiting
  int32_t overruns = 0;
};

struct ScriptedFetch {
  int32_t status;
  std::optional<std::vector<int16_t>> cells;
};

struct SimCardState {
  SimClock clock;
  std::array<uint8_t, 5> identity{73, 10, 5, 16, 1};  // KZB 73 10, 50K, 16 bits, type 1
  Acquisition acq;
  int32_t lastError = 0;
  std::map<std::string, int32_t> pendingFailures;
  std::deque<int16_t> scriptedQueries;
  std::deque<ScriptedFetch> scriptedFetches;
  uint16_t outputs = 0;  // bits 0..7 group 0, bits 8..15 group 1
  std::optional<std::array<int16_t, 2>> fixedInputs;
  bool inputsSilent = false;
  int64_t stalledUntilMicros = 0;  // QueryBuf reports nothing before this card time
  // A card on a slow bus: QueryBuf takes this long, plus up to the jitter more, and counts
  // at a moment within.
  int32_t queryDelayMs = 0, queryJitterMs = 0;
  std::mt19937 queryRandom{7};
  std::vector<Tone> tones{DefaultTone()};
  std::vector<Pulse> pulses;
  std::array<CallRecord, card::kEntryPointCount> calls{};

  // Moves finished blocks into the waiting queue as the clock says.
  void Pace();
  int64_t BlocksWaiting() const { return acq.blocksFinished - acq.nextToFetch; }
  // A card run faster holds as many seconds of blocks as at its own pace, so a program gets
  // the same time to fetch them.
  int64_t QueueCapacity() const { return static_cast<int64_t>(kQueueCapacity * clock.pace()); }
  // One-shot failure scripted for an entry point; consumes it.
  std::optional<int32_t> TakeFailure(const char* entryPoint);
};

SimCardState& State();
// The call record of the entry point of that name, or null when the card has none.
CallRecord* CallsOf(const char* name);

}  // namespace simcard
