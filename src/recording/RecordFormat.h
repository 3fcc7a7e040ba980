// The recording's files on disk, readable without this program. A recording is a folder of
// segment files ("segment-0001.kzr", …) of fixed-size records: a 32-byte header and then
// 64 x 300 little-endian 16-bit codes, channel after channel within each point, so one
// structured dtype reads a whole segment. Every segment starts with a description record
// (the recording's facts as UTF-8 JSON), so the segments alone hold everything;
// "recording.json" describes the whole recording for people and tools, and
// "segment-0001.minmax" the per-block least and greatest code of every channel, for the
// viewer. Both are rebuilt from the segments when missing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Crc32.h"

namespace recording {

inline constexpr int kChannels = 64;
inline constexpr int kPoints = 300;
inline constexpr size_t kCodesPerRecord = static_cast<size_t>(kChannels) * kPoints;
inline constexpr size_t kHeaderBytes = 32;
inline constexpr size_t kPayloadBytes = kCodesPerRecord * 2;
inline constexpr size_t kRecordBytes = kHeaderBytes + kPayloadBytes;  // 38,432
inline constexpr std::string_view kMagic = "KZR1";
// The description records and recording.json carry this; a newer one is not read.
inline constexpr int kFormatVersion = 1;

// What a record is (its header's flags).
enum RecordFlags : uint32_t {
  kBlock = 0,        // one block the card delivered
  kGap = 1,          // blocks the card finished that never came: `count` of them
  kPaused = 2,       // with kGap: acquisition was stopped and started again
  kDescription = 4,  // the payload is the recording's description, `count` bytes
  kDamaged = 8,      // in a .minmax row only: a record that could not be read back
  kEvent = 16,       // a moment marked in the recording (a trigger): its facts in the payload
  kNote = 32,        // the operator's note, or one piece of a long one: its text in the payload
  kSkipped = 64,     // with kGap: blocks left out by choice (outside the spans kept around
                     // triggers), not lost; a reader that knows only kGap takes them for a gap
};

// Events and notes are records like the blocks, so the segments alone keep them, each with
// its CRC, and they reach the disk with the blocks. They stand for no block: their header
// carries `count` 0 and the number and time of the block that came next, so a reader that
// knows only blocks and gaps keeps its block numbers and times whole (a reader of the first
// programs takes each for a gap of no blocks).
inline bool IsMark(uint32_t flags) {
  return flags == kEvent || flags == kNote;
}

// Which way the signal went at an event: through a level, or into or out of a window.
enum class EventEdge : uint32_t { Rising = 0, Falling = 1, Entering = 2, Leaving = 3 };
const char* EventEdgeName(EventEdge edge);  // "rising", "falling", "entering", "leaving"

// An event record's payload, little-endian, the rest zero: channel (u32, 0 to 63), edge
// (u32), level in volts (f64), the block that holds the moment (u64) and the seconds after
// its first sample (f64) — the recording's own time base — then its UTC in µs (i64) and the
// gap flag (u32: 1 when blocks were lost about it, so its time is only as good as the
// gap allows).
struct EventRecord {
  int channel = 0;
  EventEdge edge = EventEdge::Rising;
  double levelVolts = 0;
  uint64_t block = 0;
  double secondsIntoBlock = 0;
  int64_t utcMicros = 0;
  bool gap = false;
};
inline constexpr size_t kEventBytes = 48;
void EncodeEvent(const EventRecord& event, uint8_t* payload);
EventRecord DecodeEvent(const uint8_t* payload);

// A note's text, UTF-8 kept byte for byte, and its time. A note record's payload: the
// text's bytes in all (u32), this piece's offset in them (u32) and its bytes (u32), zero
// (u32), the note's UTC in µs (i64), then the piece. A text longer than one record holds
// goes on in the records that follow it.
struct NoteRecord {
  int64_t utcMicros = 0;
  std::string text;
};
inline constexpr size_t kNoteHeadBytes = 24;
inline constexpr size_t kNotePieceBytes = kPayloadBytes - kNoteHeadBytes;
inline constexpr size_t kMostNoteBytes = size_t{64} << 10;  // 10,000 characters of 4 bytes fit
// The payloads of a note's records, in order.
std::vector<std::vector<uint8_t>> NotePayloads(const NoteRecord& note);
// Joins a note's pieces as a reader meets them: a piece that does not follow on drops what
// was begun, so only whole notes come out.
class NoteJoiner {
 public:
  // The note once this piece completes it.
  std::optional<NoteRecord> Add(const uint8_t* payload);

 private:
  NoteRecord begun_;
  uint32_t total_ = 0;
  bool open_ = false;
};
// Whether `text` is UTF-8 as the standard has it (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text);

struct RecordHeader {
  uint32_t flags = kBlock;
  uint64_t block = 0;     // the block's number from the recording's start, lost ones counted
  int64_t utcMicros = 0;  // UTC of the block's first sample (a gap's: its first missing block)
  uint32_t count = 1;     // blocks it stands for (1; a gap's missing ones); a description's bytes
};

// The 32 header bytes: magic, flags, block, UTC µs, count, then the CRC-32 of the first 28
// header bytes and the payload, all little-endian.
void EncodeHeader(const RecordHeader& header, const uint8_t* payload, uint8_t* out);

enum class RecordState { Whole, WrongMagic, Damaged };
// The header of a whole record of kRecordBytes, or why it is not one (its magic, or a CRC
// that does not match: torn by a crash, or damaged on disk).
RecordState DecodeRecord(const uint8_t* record, RecordHeader& header);

// "segment-0001.kzr", "segment-0001.minmax": numbered from 1.
std::string SegmentName(int number);
std::string MinMaxName(int number);
// The segment's number of a segment's name; empty for any other name.
std::optional<int> SegmentNumber(std::string_view name);
inline constexpr std::string_view kDescriptionName = "recording.json";

// One row of a .minmax file for each record of its segment but the description: the
// record's header (block, UTC µs, flags, count: 24 bytes) and then the least and greatest
// code of channel 1, of channel 2, … over the block (4 bytes each; 0 for a gap), all
// little-endian. The viewer reads these alone: the whole recording's index and its
// outline at the finest zoom.
struct SummaryRow {
  RecordHeader header;
  std::array<uint16_t, kChannels> least{}, greatest{};
};
inline constexpr size_t kSummaryRowBytes = 24 + kChannels * 4;  // 280
SummaryRow SummaryOf(const RecordHeader& header, const uint8_t* payload);
void EncodeSummary(const SummaryRow& row, uint8_t* out);
SummaryRow DecodeSummary(const uint8_t* in);

}  // namespace recording
