// What a recording is, as its description record and recording.json say it: the card, the
// block's shape and pace, the volts of a code, when it started and what it holds. Written
// as JSON; read back from the flat part a description record carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "RecordFormat.h"

namespace recording {

struct SegmentFacts {
  std::string file;
  uint64_t records = 0;  // the description record not counted
  uint64_t firstBlock = 0, lastBlock = 0;
};

struct RecordingFacts {
  uint64_t blocksRecorded = 0, blocksLost = 0, gaps = 0;
  uint64_t blocksSkipped = 0;  // left out by choice: outside the spans kept around triggers
  int64_t endUtcMicros = 0;    // the end of the last block
  bool complete = false;       // closed by the program; false: interrupted, or still going
  std::string ended;           // why it ended ("" while it goes on)
};

struct Description {
  int formatVersion = 0;
  std::string id;           // the recording's own: segments of another one are not taken
  std::string card;         // the card's identity line, as the bench window shows it
  std::string cardLibrary;  // the card library's path
  std::string program;      // "kzb7310 1.9.0"
  std::string station;      // the station's name, from the profile the recording was made on
  int channels = 0, points = 0;
  int32_t aggregateRateHz = 0;  // samples a second over all channels
  double blockSeconds = 0;      // one block's length in card time
  int32_t zeroCode = 32768;     // volts = (code - zeroCode) * voltsPerCode
  double voltsPerCode = 0;
  int32_t fullScaleCount = 65535;  // the same as the live view works it out: the span in
  float spanVolts = 10;            // volts over the count of codes, in float at the end
  int64_t startUtcMicros = 0;
  // A triggered recording's trigger as typed ("ch5,rising,1.5V") and what it kept: "all"
  // (every block, each trigger an event) or "spans" (only pre..post around each trigger,
  // the rest skipped); both empty for a recording without a trigger.
  std::string trigger, kept;
  // recording.json only: what the segments hold, and the whole.
  std::vector<SegmentFacts> segments;
  RecordingFacts facts;
  std::vector<EventRecord> events;  // in the order they were written
  std::vector<NoteRecord> notes;
};

// The description record's JSON: the recording's fixed facts, one line.
std::string DescriptionRecordJson(const Description& d);
// recording.json: the fixed facts, the segments and the summary, with start and end in
// UTC and the machine's local time, for people; then the events and notes, last, so that
// nothing a note says comes before the facts.
std::string RecordingJson(const Description& d);
// The fixed facts of either JSON (what a description record carries). A format newer than
// this program's, or a text that is no description, is refused with the reason.
base::Result<Description> ParseDescription(const std::string& json);

// "2026-12-10T14:22:17.123456Z", and the machine's local time of the same moment
// ("2026-12-10 22:22:17 +0800").
std::string UtcText(int64_t utcMicros);
std::string LocalText(int64_t utcMicros);

}  // namespace recording
