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
};

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
