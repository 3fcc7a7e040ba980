// Control entry points: how tests and demonstrations script the simulated card.
#include <algorithm>

#include "FixtureFile.h"
#include "SimCardControl.h"
#include "SimCardExport.h"
#include "SimCardState.h"

using namespace simcard;

SIMCARD_EXPORT void SimCard_Reset(void) {
  State() = SimCardState{};
}

SIMCARD_EXPORT void SimCard_SetManualClock(int32_t on) {
  State().clock.SetManual(on != 0);
}

SIMCARD_EXPORT void SimCard_AdvanceMs(int32_t ms) {
  State().clock.AdvanceMs(ms);
}

SIMCARD_EXPORT int64_t SimCard_NowMicros(void) {
  return State().clock.NowMicros();
}

SIMCARD_EXPORT void SimCard_SetIdentity(const uint8_t bytes[5]) {
  if (bytes) std::copy_n(bytes, 5, State().identity.begin());
}

SIMCARD_EXPORT void SimCard_FailNext(const char* entryPoint, int32_t errorNumber) {
  if (entryPoint) State().pendingFailures[entryPoint] = errorNumber;
}

SIMCARD_EXPORT void SimCard_ScriptQuery(int16_t count) {
  State().scriptedQueries.push_back(count);
}

SIMCARD_EXPORT void SimCard_ScriptFetch(int32_t status, const int16_t* cells) {
  ScriptedFetch fetch{status, std::nullopt};
  if (cells) fetch.cells.emplace(cells, cells + kCellsPerScriptedFetch);
  State().scriptedFetches.push_back(std::move(fetch));
}

SIMCARD_EXPORT void SimCard_SetInputs(int16_t word0, int16_t word1) {
  State().fixedInputs = std::array<int16_t, 2>{word0, word1};
}

SIMCARD_EXPORT void SimCard_SetInputsSilent(int32_t on) {
  State().inputsSilent = on != 0;
}

SIMCARD_EXPORT int32_t SimCard_CallCount(const char* entryPoint) {
  const CallRecord* calls = CallsOf(entryPoint);
  return calls ? calls->count : 0;
}

SIMCARD_EXPORT void SimCard_LastArgs(const char* entryPoint, int32_t args[8]) {
  if (!args) return;
  const CallRecord* calls = CallsOf(entryPoint);
  std::array<int32_t, 8> last = calls ? calls->lastArgs : std::array<int32_t, 8>{};
  std::copy(last.begin(), last.end(), args);
}

SIMCARD_EXPORT int32_t SimCard_OverrunCount(void) {
  return State().acq.overruns;
}

SIMCARD_EXPORT void SimCard_StallQueries(int32_t ms) {
  SimCardState& s = State();
  s.stalledUntilMicros = s.clock.NowMicros() + int64_t{ms} * 1000;
}

SIMCARD_EXPORT void SimCard_DelayQueries(int32_t ms, int32_t jitterMs) {
  SimCardState& s = State();
  s.queryDelayMs = std::max(0, ms);
  s.queryJitterMs = std::max(0, jitterMs);
}

SIMCARD_EXPORT void SimCard_SetTone(int32_t channel, double hz, double amplitudeVolts,
                                    double noiseCodes, double secondDbc, double thirdDbc) {
  SetTone(State().tones, Tone{channel, hz, amplitudeVolts, noiseCodes, secondDbc, thirdDbc});
}

SIMCARD_EXPORT void SimCard_AddPulses(int32_t channel, double atSeconds, double volts,
                                      double widthSeconds, double edgeSeconds, int32_t count,
                                      double periodSeconds) {
  State().pulses.push_back(
      Pulse{channel, atSeconds, volts, widthSeconds, edgeSeconds, count, periodSeconds});
}

SIMCARD_EXPORT void SimCard_AddRandomPulses(int32_t count, uint32_t seed, double fromSeconds,
                                            double toSeconds, double volts, double widthSeconds,
                                            double edgeSeconds) {
  const std::vector<Pulse> added =
      RandomPulses(count, seed, fromSeconds, toSeconds, volts, widthSeconds, edgeSeconds);
  State().pulses.insert(State().pulses.end(), added.begin(), added.end());
}

SIMCARD_EXPORT int32_t SimCard_PulseCount(void) {
  return static_cast<int32_t>(State().pulses.size());
}

SIMCARD_EXPORT void SimCard_PulseAt(int32_t index, int32_t* channel, double* atSeconds) {
  const std::vector<Pulse>& pulses = State().pulses;
  if (index < 0 || static_cast<size_t>(index) >= pulses.size()) return;
  if (channel) *channel = pulses[index].channel;
  if (atSeconds) *atSeconds = pulses[index].atSeconds;
}
