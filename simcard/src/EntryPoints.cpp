// The card maker's entry points, answered by the simulated card.
#include <algorithm>
#include <cstring>

#include "FixtureFile.h"
#include "SignalGenerator.h"
#include "SimCardExport.h"
#include "SimCardState.h"

// Declared from the shared table, so each definition below must match it exactly.
#define SIMCARD_DECLARE(name, argCount, Result, ...) \
  SIMCARD_EXPORT Result ADCARD_CALL name(__VA_ARGS__);
ADCARD_ENTRY_POINTS(SIMCARD_DECLARE)
#undef SIMCARD_DECLARE

using namespace simcard;

namespace {

int32_t Slot(int32_t v) {
  return v;
}
int32_t Slot(int16_t v) {
  return v;
}
template <typename T>
int32_t Slot(T* p) {
  return p ? 1 : 0;
}

template <typename... Args>
SimCardState& Record(Entry entry, Args... args) {
  SimCardState& s = State();
  CallRecord& rec = s.calls[static_cast<size_t>(entry)];
  ++rec.count;
  rec.lastArgs = {};
  int i = 0;
  ((rec.lastArgs[i++] = Slot(args)), ...);
  return s;
}

}  // namespace

SIMCARD_EXPORT int32_t Initial(int32_t a, int32_t b, int32_t c, int32_t d) {
  SimCardState& s = Record(Entry::Initial, a, b, c, d);
  if (auto error = s.TakeFailure("Initial")) {
    s.lastError = *error;
    return 0;
  }
  s.acq.running = false;
  s.acq.initialised = true;
  double pace = 1;
  if (ApplyFixtureFile(s.tones, pace, s.pulses))
    s.clock.SetPace(pace);  // the card now on the fixture
  return 1;
}

SIMCARD_EXPORT int32_t StartIntr(int16_t a1, int32_t points, int16_t a3, int16_t channels,
                                 int32_t samplesPerSecond, int32_t a6, int16_t a7) {
  SimCardState& s = Record(Entry::StartIntr, a1, points, a3, channels, samplesPerSecond, a6, a7);
  if (auto error = s.TakeFailure("StartIntr")) {
    s.lastError = *error;
    return 0;
  }
  if (!s.acq.initialised) {
    s.lastError = kErrorNotInitialised;
    return 0;
  }
  if (points <= 0 || channels <= 0 || samplesPerSecond <= 0) {
    s.lastError = kErrorBadArguments;
    return 0;
  }
  s.acq = Acquisition{.initialised = true,
                      .running = true,
                      .channels = channels,
                      .points = points,
                      .samplesPerSecond = samplesPerSecond,
                      .startMicros = s.clock.NowMicros()};
  return 1;
}

// Harmless when nothing runs; finished blocks nobody fetched are dropped.
SIMCARD_EXPORT int32_t StopIntr() {
  SimCardState& s = Record(Entry::StopIntr);
  s.acq.running = false;
  s.acq.nextToFetch = s.acq.blocksFinished;
  return 1;
}

SIMCARD_EXPORT int16_t QueryBuf() {
  SimCardState& s = Record(Entry::QueryBuf);
  if (!s.scriptedQueries.empty()) {
    int16_t count = s.scriptedQueries.front();
    s.scriptedQueries.pop_front();
    return count;
  }
  if (!s.acq.running) return 0;
  // The answer's time on the bus, before and after the moment the card counts.
  const int64_t took =
      int64_t{1000} * s.queryDelayMs +
      std::uniform_int_distribution<int64_t>(0, int64_t{1000} * s.queryJitterMs)(s.queryRandom);
  const int64_t before = std::uniform_int_distribution<int64_t>(0, took)(s.queryRandom);
  s.clock.Wait(before);
  s.Pace();
  const int16_t count = s.clock.NowMicros() < s.stalledUntilMicros
                            ? int16_t{0}
                            : static_cast<int16_t>(std::min<int64_t>(s.BlocksWaiting(), INT16_MAX));
  s.clock.Wait(took - before);
  return count;
}

SIMCARD_EXPORT int32_t ADResult(int16_t* buffer) {
  SimCardState& s = Record(Entry::ADResult, buffer);
  if (!s.scriptedFetches.empty()) {
    ScriptedFetch fetch = std::move(s.scriptedFetches.front());
    s.scriptedFetches.pop_front();
    if (fetch.cells && buffer) std::copy(fetch.cells->begin(), fetch.cells->end(), buffer + 1);
    return fetch.status;
  }
  if (!s.acq.running || !buffer) return 0;
  s.Pace();
  if (s.BlocksWaiting() <= 0) return 0;
  FillBlock(buffer + 1, s.acq.channels, s.acq.points, s.acq.nextToFetch++,
            static_cast<double>(s.acq.samplesPerSecond), s.tones, s.pulses);
  return 1;
}

SIMCARD_EXPORT int32_t IOCtl(int32_t requestLength, uint8_t* request, int32_t replyLength,
                             uint8_t* reply) {
  SimCardState& s = Record(Entry::IOCtl, requestLength, request, replyLength, reply);
  bool identityRequest = request && request[0] == 70 && request[1] == 64 && request[2] == 0;
  if (!identityRequest || !reply) return 0;
  std::memcpy(reply, s.identity.data(), s.identity.size());
  return 1;
}

SIMCARD_EXPORT int32_t GetLastADError() {
  return Record(Entry::GetLastADError).lastError;
}

// Reads back the outputs (word 0 = group 0, word 1 = group 1) unless the inputs are fixed.
SIMCARD_EXPORT int16_t Kzb_DI(int32_t count, int16_t* words) {
  SimCardState& s = Record(Entry::Kzb_DI, count, words);
  if (s.inputsSilent || !words || count <= 0) return 0;
  std::array<int16_t, 2> in = s.fixedInputs.value_or(std::array<int16_t, 2>{
      static_cast<int16_t>(s.outputs & 0xFF), static_cast<int16_t>(s.outputs >> 8)});
  int16_t written = static_cast<int16_t>(std::min(count, 2));
  std::copy_n(in.begin(), written, words);
  return written;
}

SIMCARD_EXPORT int32_t Kzb_DO(int16_t group, int16_t value) {
  SimCardState& s = Record(Entry::Kzb_DO, group, value);
  if (group != 0 && group != 1) return 0;
  const int shift = group * 8;
  s.outputs = static_cast<uint16_t>((s.outputs & ~(0xFF << shift)) | ((value & 0xFF) << shift));
  return 1;
}

SIMCARD_EXPORT int32_t Kzb_DOBit(int16_t bit, int16_t value) {
  SimCardState& s = Record(Entry::Kzb_DOBit, bit, value);
  if (bit < 0 || bit > 15) return 0;
  const uint16_t mask = static_cast<uint16_t>(1u << bit);
  s.outputs = static_cast<uint16_t>(value ? (s.outputs | mask) : (s.outputs & ~mask));
  return 1;
}

// Entry points the program never calls: each is counted and otherwise harmless.

// Snapshot mode is not simulated: refuses, copies nothing.
SIMCARD_EXPORT int32_t StartSnapshot(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e,
                                     int32_t f, int32_t g, int32_t h) {
  Record(Entry::StartSnapshot, a, b, c, d, e, f, g, h);
  return 0;
}
// No window messages here: accepts and never notifies.
SIMCARD_EXPORT int32_t RegisterNotify(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  Record(Entry::RegisterNotify, a, b, c, d, e);
  return 1;
}
// Never delivers: returns 0 and copies nothing.
SIMCARD_EXPORT int32_t ADResultRecent(int16_t* buffer) {
  Record(Entry::ADResultRecent, buffer);
  return 0;
}
// Snapshot mode is not simulated: returns 0.
SIMCARD_EXPORT int32_t GetSnapshot(int32_t a, int32_t b, int32_t c) {
  Record(Entry::GetSnapshot, a, b, c);
  return 0;
}
// Reports nothing: returns 0.
SIMCARD_EXPORT int32_t ConfigInfo(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f,
                                  int32_t g, int32_t h) {
  Record(Entry::ConfigInfo, a, b, c, d, e, f, g, h);
  return 0;
}
// Per-channel rates are not simulated: returns 0.
SIMCARD_EXPORT int32_t ChannelFrq(int32_t a, int32_t b) {
  Record(Entry::ChannelFrq, a, b);
  return 0;
}
// Returns 0: no sample.
SIMCARD_EXPORT int32_t Kzb_ADResult(int32_t a, int32_t b) {
  Record(Entry::Kzb_ADResult, a, b);
  return 0;
}
// Accepts and changes nothing.
SIMCARD_EXPORT int32_t Kzb_Init(int32_t a, int32_t b, int32_t c) {
  Record(Entry::Kzb_Init, a, b, c);
  return 1;
}
// The simulated card has no analog output: accepts and ignores the value.
SIMCARD_EXPORT int32_t Kzb_DA(int32_t a, int32_t b) {
  Record(Entry::Kzb_DA, a, b);
  return 1;
}
// Every port reads 0.
SIMCARD_EXPORT int32_t Kzb_USB_Inportb(int32_t a, int32_t b, int32_t c) {
  Record(Entry::Kzb_USB_Inportb, a, b, c);
  return 0;
}
// Accepts and ignores the byte.
SIMCARD_EXPORT int32_t Kzb_USB_Outportb(int32_t a, int32_t b, int32_t c) {
  Record(Entry::Kzb_USB_Outportb, a, b, c);
  return 1;
}
// Every register reads 0.
SIMCARD_EXPORT int32_t Kzb_Readb(int32_t a, int32_t b, int32_t c, int32_t d) {
  Record(Entry::Kzb_Readb, a, b, c, d);
  return 0;
}
// Accepts and ignores the byte.
SIMCARD_EXPORT int32_t Kzb_Writeb(int32_t a, int32_t b, int32_t c, int32_t d) {
  Record(Entry::Kzb_Writeb, a, b, c, d);
  return 1;
}
