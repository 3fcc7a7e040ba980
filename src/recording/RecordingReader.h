// A recording read back: its description, and for every segment the summary rows of its
// records (from the .minmax beside it, completed or rebuilt from the segment itself), so a
// day's recording opens by reading its summaries alone. A torn last record (a crash, a
// power cut) is recognised and left out; a damaged record, a segment of another recording
// or of a newer format, or one that is no segment at all is left out with the reason, and
// the rest is read. Events and notes are read from their records in the segments.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Description.h"
#include "Failure.h"
#include "RecordFormat.h"

namespace recording {

struct SegmentIndex {
  int number = 0;
  std::string path;
  uint64_t fileBytes = 0;
  std::vector<SummaryRow> rows;         // every whole record but the description, in order
  std::vector<uint64_t> recordNumbers;  // each row's record number in the file (the description 0)
  bool rowsRebuilt = false;             // the .minmax did not hold them all
  // The events' and notes' rows, apart from the blocks' and gaps' (they stand for no block),
  // with their record numbers: a repair writes them back in their places.
  std::vector<SummaryRow> markRows;
  std::vector<uint64_t> markNumbers;
};

struct RecordingIndex {
  std::string folder;
  Description description;  // recording.json's facts, or the first segment's
  std::vector<SegmentIndex> segments;
  // What could not be read: the file as the subject, the reason and its kind.
  std::vector<base::Failure> problems;
  uint64_t blocksRecorded = 0, blocksLost = 0, gaps = 0;
  uint64_t blocksDamaged = 0;  // recorded, but no longer readable
  uint64_t blocksSkipped = 0;  // left out by choice (kSkipped): neither recorded nor lost
  int64_t startUtcMicros = 0, endUtcMicros = 0;
  bool described = false;           // recording.json was there and readable
  bool descriptionMissing = false;  // no recording.json at all
  bool complete = false;            // recording.json says the program closed it
  bool endUnknown = false;          // recording.json was rebuilt without knowing how it ended
  bool stillWriting = false;        // a program holds its last segment open
  // The events and the whole notes the segments hold, in the order they were written; one
  // whose record is damaged or torn is left out (a note: all of it).
  std::vector<EventRecord> events;
  std::vector<NoteRecord> notes;
};

// Fails only when nothing of a recording can be read in `folder`.
base::Result<RecordingIndex> OpenRecording(const std::string& folder);

// The payload (kPayloadBytes) of row `row` of `segment`, checked against its CRC.
base::Result<> ReadRecord(const SegmentIndex& segment, size_t row, std::vector<uint8_t>& payload);

struct RepairOutcome {
  RecordingIndex index;    // as it stands after the repair
  uint64_t tornBytes = 0;  // cut off the segments' ends
};
// Where a row is: its segment's place in `segments` and its own in the segment's rows.
struct RowPlace {
  uint32_t segment = 0, row = 0;
};
// Every block's record read and checked against its CRC, segment by segment, for what
// opening from the summaries alone cannot see: the rows whose record is damaged. Long for a
// day's recording, so it runs off the window's thread; `stop` ends it early.
std::vector<RowPlace> CheckRecords(const RecordingIndex& index, const std::atomic<bool>& stop);

// recording.json made again from the segments when it is missing (deleted, or lost with a
// copy) and no program writes the recording: the facts the segments hold, and how it ended
// as unknown, since only the program that closed it knew. Nothing is done otherwise.
base::Result<> RebuildDescription(RecordingIndex& index);

// A recording a program did not close: torn ends cut off, every .minmax made whole, and
// recording.json rebuilt from the segments, marked as interrupted.
base::Result<RepairOutcome> RepairRecording(const std::string& folder);

}  // namespace recording
