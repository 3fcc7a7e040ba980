#include "RecordingReader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "FolderFiles.h"
#include "RecordDisk.h"
#include "WholeFile.h"

namespace recording {
namespace {

// A file open for reading, closed when it goes.
class FileForReading {
 public:
  explicit FileForReading(const std::string& path) : opened_(disk::OpenExisting(path, false)) {}
  ~FileForReading() {
    if (opened_) disk::Close(opened_.value());
  }
  FileForReading(const FileForReading&) = delete;
  FileForReading& operator=(const FileForReading&) = delete;
  const base::Result<intptr_t>& opened() const { return opened_; }
  intptr_t handle() const { return opened_.value(); }

 private:
  base::Result<intptr_t> opened_;
};

base::Result<std::string> ReadWhole(const std::string& path) {
  FileForReading file(path);
  if (!file.opened()) return file.opened().failure();
  auto size = disk::SizeOf(file.handle());
  if (!size) return size.failure();
  // recording.json lists every note, so it may be long; anything longer is no description.
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(size.value(), 64 << 20)), '\0');
  auto got = disk::ReadAt(file.handle(), 0, bytes.data(), bytes.size());
  if (!got) return got.failure();
  bytes.resize(got.value());
  return bytes;
}

// The record at `slot`, whole, or why not.
RecordState ReadSlot(intptr_t handle, uint64_t slot, std::vector<uint8_t>& record,
                     RecordHeader& header) {
  record.resize(kRecordBytes);
  auto got = disk::ReadAt(handle, slot * kRecordBytes, record.data(), kRecordBytes);
  if (!got || got.value() != kRecordBytes) return RecordState::Damaged;
  return DecodeRecord(record.data(), header);
}

// The summary rows the .minmax holds, at most `most`: rows past the segment's end are read
// too, since they say which blocks a segment cut short has lost, and when.
std::vector<SummaryRow> ReadRows(const std::string& path, uint64_t most) {
  std::vector<SummaryRow> rows;
  FileForReading file(path);
  if (!file.opened()) return rows;
  const uint64_t count = std::min(disk::SizeOf(file.handle()).value_or(0) / kSummaryRowBytes, most);
  std::vector<uint8_t> bytes(count * kSummaryRowBytes);
  const auto got = disk::ReadAt(file.handle(), 0, bytes.data(), bytes.size());
  const uint64_t whole = got ? got.value() / kSummaryRowBytes : 0;
  rows.reserve(whole);
  for (uint64_t i = 0; i < whole; ++i) rows.push_back(DecodeSummary(&bytes[i * kSummaryRowBytes]));
  return rows;
}

// A .minmax with more rows than this is not one (a day holds about 225,000 blocks).
constexpr uint64_t kMostRows = uint64_t{1} << 26;

// A damaged record's time and number before its neighbours are known.
constexpr int64_t kPlaceUnknown = INT64_MIN;

struct SegmentRead {
  std::optional<SegmentIndex> segment;
  std::optional<Description> description;  // its description record's
  std::optional<base::Failure> problem;
};

// The segment's description record, or why the segment cannot be taken.
base::Result<Description> DescriptionOf(intptr_t handle, uint64_t slotCount,
                                        const std::string& recordingId) {
  using Cause = base::Failure::Cause;
  const auto refused = [](const std::string& why, Cause cause) {
    return base::Failure{base::Failure::Kind::FileNotWritten, {}, why, cause};
  };
  std::vector<uint8_t> record;
  RecordHeader header;
  const RecordState first =
      slotCount > 0 ? ReadSlot(handle, 0, record, header) : RecordState::Damaged;
  if (first == RecordState::WrongMagic ||
      (first == RecordState::Whole && header.flags != kDescription)) {
    return refused("not a segment of a recording (wrong magic)", Cause::NotARecordingFile);
  }
  if (first != RecordState::Whole) {
    return refused("its description record is damaged or missing", Cause::DescriptionDamaged);
  }
  auto described =
      ParseDescription(std::string(reinterpret_cast<const char*>(record.data() + kHeaderBytes),
                                   std::min<size_t>(header.count, kPayloadBytes)));
  if (described && !recordingId.empty() && described.value().id != recordingId) {
    return refused("belongs to another recording", Cause::ForeignSegment);
  }
  return described;
}

// The records after the rows the .minmax held, read from the segment. One damaged on the
// disk keeps its place, as a block that cannot be shown; a torn last one is left out.
void ReadTheRest(intptr_t handle, uint64_t slotCount, int64_t blockMicros, SegmentIndex& s,
                 std::optional<base::Failure>& problem) {
  std::vector<uint8_t> record;
  RecordHeader header;
  for (uint64_t slot = s.rows.size() + 1; slot < slotCount; ++slot) {
    const RecordState state = ReadSlot(handle, slot, record, header);
    if (state == RecordState::Whole) {
      s.rows.push_back(SummaryOf(header, record.data() + kHeaderBytes));
      s.recordNumbers.push_back(slot);
    } else if (slot + 1 < slotCount) {
      problem = base::Failure{base::Failure::Kind::FileNotWritten, SegmentName(s.number),
                              "record " + std::to_string(slot) + " is damaged and left out",
                              base::Failure::Cause::RecordDamaged};
      SummaryRow damaged;
      damaged.header.utcMicros = kPlaceUnknown;  // placed from its neighbours once all is read
      if (!s.rows.empty()) {
        const RecordHeader& before = s.rows.back().header;
        damaged.header.block = before.block + before.count;
        damaged.header.utcMicros =
            before.utcMicros + static_cast<int64_t>(before.count) * blockMicros;
      }
      damaged.header.flags = kDamaged;
      s.rows.push_back(damaged);
      s.recordNumbers.push_back(slot);
    }
  }
}

// The events' and notes' rows taken out of the blocks' and gaps', and their records read:
// an event as it is, a note's pieces joined in the order they were written. A row past the
// segment's end goes with its lost record; one damaged within keeps its place for a repair.
void TakeMarks(intptr_t handle, uint64_t slotCount, SegmentIndex& s, NoteJoiner& joiner,
               RecordingIndex& index) {
  std::vector<uint8_t> record;
  RecordHeader header;
  size_t kept = 0;
  for (size_t i = 0; i < s.rows.size(); ++i) {
    if (!IsMark(s.rows[i].header.flags)) {
      s.rows[kept] = s.rows[i];
      s.recordNumbers[kept++] = s.recordNumbers[i];
      continue;
    }
    if (s.recordNumbers[i] >= slotCount) continue;
    s.markRows.push_back(s.rows[i]);
    s.markNumbers.push_back(s.recordNumbers[i]);
    if (ReadSlot(handle, s.recordNumbers[i], record, header) != RecordState::Whole ||
        header.flags != s.rows[i].header.flags) {
      continue;
    }
    const uint8_t* payload = record.data() + kHeaderBytes;
    if (header.flags == kEvent) {
      index.events.push_back(DecodeEvent(payload));
    } else if (auto note = joiner.Add(payload)) {
      index.notes.push_back(std::move(*note));
    }
  }
  s.rows.resize(kept);
  s.recordNumbers.resize(kept);
}

// One segment: its description record checked, the rows the .minmax holds taken as they
// are, the records after them read, and the last one checked, as a crash may have torn it.
SegmentRead ReadSegment(const std::string& folder, int number, const std::string& recordingId,
                        NoteJoiner& joiner, RecordingIndex& index) {
  SegmentRead read;
  const std::string name = SegmentName(number);
  const std::string path = InFolder(folder, name);
  FileForReading file(path);
  if (!file.opened()) {
    read.problem = file.opened().failure();
    read.problem->subject = name;
    return read;
  }
  SegmentIndex s;
  s.number = number;
  s.path = path;
  s.fileBytes = disk::SizeOf(file.handle()).value_or(0);
  const uint64_t slotCount = s.fileBytes / kRecordBytes;
  auto described = DescriptionOf(file.handle(), slotCount, recordingId);
  if (!described) {
    read.problem = described.failure();
    read.problem->subject = name;
    return read;
  }
  read.description = described.value();
  s.rows = ReadRows(InFolder(folder, MinMaxName(number)), kMostRows);
  for (uint64_t i = 0; i < s.rows.size(); ++i) s.recordNumbers.push_back(i + 1);
  // The last row's record may be torn while its row was written: it is read, not trusted.
  // One that lies whole in the file but does not check is damaged, and so is every row past
  // the segment's end (a copy cut short, a damaged disk): their blocks are kept as damaged.
  const auto damage = [&s](size_t i) {
    s.rows[i] = SummaryRow{.header = s.rows[i].header};
    s.rows[i].header.flags = kDamaged;
    s.rows[i].header.count = 1;
  };
  std::vector<uint8_t> record;
  RecordHeader header;
  if (!s.rows.empty() && s.recordNumbers.back() <= slotCount &&
      (s.recordNumbers.back() == slotCount ||
       ReadSlot(file.handle(), s.recordNumbers.back(), record, header) != RecordState::Whole)) {
    if (s.recordNumbers.back() == slotCount) {  // torn
      s.rows.pop_back();
      s.recordNumbers.pop_back();
    } else if (s.rows.back().header.flags == kBlock) {
      damage(s.rows.size() - 1);
    }
  }
  for (size_t i = 0; i < s.rows.size(); ++i) {
    if (s.recordNumbers[i] >= slotCount && s.rows[i].header.flags == kBlock) damage(i);
  }
  s.rowsRebuilt = s.rows.size() + 1 < slotCount;
  ReadTheRest(file.handle(), slotCount, std::llround(read.description->blockSeconds * 1e6), s,
              read.problem);
  TakeMarks(file.handle(), slotCount, s, joiner, index);
  read.segment = std::move(s);
  return read;
}

SummaryRow DamagedRow(uint64_t block, int64_t utcMicros, uint64_t count) {
  SummaryRow row;
  row.header = {.flags = kDamaged,
                .block = block,
                .utcMicros = utcMicros,
                .count = static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX))};
  return row;
}

// Block numbers run on without a hole, lost blocks counted in their gap records: blocks
// missing between two rows, or after the last one before the end recording.json gives,
// were recorded and are gone from the files (a segment cut short whose summaries went too).
// They are kept as damaged, at the end of the segment before the hole.
// Damaged records at a segment's start, read without a summary before them, take their
// number and time from the block after them (or the one before, or the recording's start).
void PlaceDamaged(RecordingIndex& index) {
  const auto blockMicros = std::llround(index.description.blockSeconds * 1e6);
  std::vector<RecordHeader*> pending;
  const RecordHeader* known = nullptr;
  for (SegmentIndex& s : index.segments) {
    for (SummaryRow& row : s.rows) {
      if (row.header.utcMicros == kPlaceUnknown) {
        pending.push_back(&row.header);
        continue;
      }
      for (size_t k = 0; k < pending.size(); ++k) {
        const auto back = static_cast<uint64_t>(pending.size() - k);
        pending[k]->block = row.header.block >= back ? row.header.block - back : 0;
        pending[k]->utcMicros = row.header.utcMicros - static_cast<int64_t>(back) * blockMicros;
      }
      pending.clear();
      known = &row.header;
    }
  }
  uint64_t block = known ? known->block + known->count : 0;
  int64_t utc = known ? known->utcMicros + static_cast<int64_t>(known->count) * blockMicros
                      : index.description.startUtcMicros;
  for (RecordHeader* h : pending) {
    h->block = block++;
    h->utcMicros = utc;
    utc += blockMicros;
  }
}

void FindMissingBlocks(RecordingIndex& index, int64_t describedEndMicros) {
  const auto blockMicros = std::llround(index.description.blockSeconds * 1e6);
  if (blockMicros <= 0) return;
  SegmentIndex* before = nullptr;
  for (SegmentIndex& s : index.segments) {
    for (size_t i = 0; i < s.rows.size(); ++i) {
      if (!before && i == 0) continue;
      SegmentIndex& held = i == 0 ? *before : s;
      const RecordHeader& last = i == 0 ? before->rows.back().header : s.rows[i - 1].header;
      const uint64_t next = last.block + last.count;
      if (s.rows[i].header.block <= next) continue;
      const SummaryRow missing =
          DamagedRow(next, last.utcMicros + static_cast<int64_t>(last.count) * blockMicros,
                     s.rows[i].header.block - next);
      const size_t at = i == 0 ? held.rows.size() : i;
      const uint64_t number = held.recordNumbers.empty() ? 0 : held.recordNumbers[at - 1];
      held.rows.insert(held.rows.begin() + static_cast<std::ptrdiff_t>(at), missing);
      held.recordNumbers.insert(held.recordNumbers.begin() + static_cast<std::ptrdiff_t>(at),
                                number);
      if (&held == &s) ++i;
    }
    if (!s.rows.empty()) before = &s;
  }
  if (!before || index.stillWriting) return;
  const RecordHeader& last = before->rows.back().header;
  const int64_t end = last.utcMicros + static_cast<int64_t>(last.count) * blockMicros;
  const int64_t missing = (describedEndMicros - end + blockMicros / 2) / blockMicros;
  if (missing > 0) {
    before->rows.push_back(
        DamagedRow(last.block + last.count, end, static_cast<uint64_t>(missing)));
    before->recordNumbers.push_back(before->recordNumbers.back());
  }
}

void Count(RecordingIndex& index) {
  bool first = true;
  for (const SegmentIndex& s : index.segments) {
    for (const SummaryRow& row : s.rows) {
      const RecordHeader& h = row.header;
      if (first) index.startUtcMicros = h.utcMicros;
      first = false;
      if (h.flags == kBlock) {
        ++index.blocksRecorded;
      } else if (h.flags == kDamaged) {
        index.blocksDamaged += h.count;
      } else if (h.flags & kSkipped) {
        index.blocksSkipped += h.count;
      } else {
        ++index.gaps;
        if (!(h.flags & kPaused)) index.blocksLost += h.count;
      }
      index.endUtcMicros =
          h.utcMicros + static_cast<int64_t>(h.count) *
                            static_cast<int64_t>(index.description.blockSeconds * 1e6 + 0.5);
    }
  }
}

constexpr std::string_view kEndKey = "\"end_utc_us\": ";

// How a recording ended when recording.json had to be made again without the program.
constexpr std::string_view kEndUnknown = "unknown";

// recording.json from what the segments hold; never marked complete, which only the
// program that closed the recording may say.
base::Result<> WriteDescription(const RecordingIndex& index, std::string_view ended) {
  Description d = index.description;
  d.segments.clear();
  for (const SegmentIndex& s : index.segments) {
    SegmentFacts facts{.file = SegmentName(s.number), .records = s.rows.size() + s.markRows.size()};
    if (!s.rows.empty()) {
      facts.firstBlock = s.rows.front().header.block;
      const RecordHeader& last = s.rows.back().header;
      facts.lastBlock = last.block + (last.count > 0 ? last.count - 1 : 0);
    }
    d.segments.push_back(facts);
  }
  d.facts = {.blocksRecorded = index.blocksRecorded,
             .blocksLost = index.blocksLost,
             .gaps = index.gaps,
             .blocksSkipped = index.blocksSkipped,
             .endUtcMicros = index.endUtcMicros,
             .complete = false,
             .ended = std::string(ended)};
  d.events = index.events;
  d.notes = index.notes;
  return base::WriteWholeFile(InFolder(index.folder, std::string(kDescriptionName)),
                              RecordingJson(d));
}

}  // namespace

base::Result<RecordingIndex> OpenRecording(const std::string& folder) {
  RecordingIndex index;
  index.folder = folder;
  const auto refused = [&](const std::string& why, base::Failure::Cause cause) {
    return base::Failure{base::Failure::Kind::FileNotWritten, folder, why, cause};
  };
  std::string id;
  int64_t describedEnd = 0;  // the end recording.json gives
  if (auto json = ReadWhole(InFolder(folder, std::string(kDescriptionName)))) {
    if (auto d = ParseDescription(json.value())) {
      index.description = d.value();
      index.described = true;
      index.complete = json.value().find("\"complete\": true") != std::string::npos;
      index.endUnknown =
          json.value().find("\"ended\": \"" + std::string(kEndUnknown) + "\"") != std::string::npos;
      if (const size_t at = json.value().find(kEndKey); at != std::string::npos)
        describedEnd = std::strtoll(json.value().c_str() + at + kEndKey.size(), nullptr, 10);
      id = d.value().id;
    } else {
      index.problems.push_back(d.failure());
      index.problems.back().subject = kDescriptionName;
    }
  } else {
    std::error_code error;
    index.descriptionMissing =
        !std::filesystem::exists(FileSystemPath(InFolder(folder, std::string(kDescriptionName))),
                                 error) &&
        !error;
  }
  const std::vector<int> numbers = SegmentNumbers(folder);
  if (numbers.empty()) {
    return refused("no recording here (no segment-0001.kzr)", base::Failure::Cause::NoRecording);
  }
  NoteJoiner joiner;
  for (int number : numbers) {
    SegmentRead read = ReadSegment(folder, number, id, joiner, index);
    if (read.problem) index.problems.push_back(*read.problem);
    if (!read.segment) continue;
    if (id.empty()) {
      id = read.description->id;
      if (!index.described) index.description = *read.description;
    }
    index.segments.push_back(std::move(*read.segment));
  }
  if (index.segments.empty()) {
    std::string why = "nothing of the recording could be read";
    for (const base::Failure& p : index.problems) why += "; " + p.subject + ": " + p.reason;
    return refused(why, base::Failure::Cause::NothingReadable);
  }
  index.stillWriting = disk::Held(index.segments.back().path);
  PlaceDamaged(index);
  FindMissingBlocks(index, describedEnd);
  Count(index);
  return index;
}

base::Result<> ReadRecord(const SegmentIndex& segment, size_t row, std::vector<uint8_t>& payload) {
  FileForReading file(segment.path);
  if (!file.opened()) return file.opened().failure();
  std::vector<uint8_t> record;
  RecordHeader header;
  if (ReadSlot(file.handle(), segment.recordNumbers.at(row), record, header) !=
      RecordState::Whole) {
    return base::Failure{base::Failure::Kind::FileNotWritten, segment.path,
                         "record " + std::to_string(segment.recordNumbers[row]) + " is damaged"};
  }
  payload.assign(record.begin() + kHeaderBytes, record.end());
  return {};
}

std::vector<RowPlace> CheckRecords(const RecordingIndex& index, const std::atomic<bool>& stop) {
  std::vector<RowPlace> damaged;
  std::vector<uint8_t> record;
  RecordHeader header;
  for (uint32_t s = 0; s < index.segments.size() && !stop; ++s) {
    const SegmentIndex& segment = index.segments[s];
    FileForReading file(segment.path);
    for (uint32_t r = 0; r < segment.rows.size() && !stop; ++r) {
      if (segment.rows[r].header.flags != kBlock) continue;
      if (!file.opened() ||
          ReadSlot(file.handle(), segment.recordNumbers[r], record, header) != RecordState::Whole) {
        damaged.push_back({s, r});
      }
    }
  }
  return damaged;
}

base::Result<> RebuildDescription(RecordingIndex& index) {
  if (!index.descriptionMissing || index.stillWriting) return {};
  if (auto written = WriteDescription(index, kEndUnknown); !written) return written;
  index.described = true;
  index.descriptionMissing = false;
  index.endUnknown = true;
  return {};
}

base::Result<RepairOutcome> RepairRecording(const std::string& folder) {
  auto opened = OpenRecording(folder);
  if (!opened) return opened.failure();
  RepairOutcome outcome{.index = std::move(opened.value()), .tornBytes = 0};
  RecordingIndex& index = outcome.index;
  for (const SegmentIndex& s : index.segments) {
    // Up to its last whole record: rows past the end stay, as damaged blocks.
    const uint64_t last = std::max(s.recordNumbers.empty() ? 0 : s.recordNumbers.back(),
                                   s.markNumbers.empty() ? 0 : s.markNumbers.back());
    const uint64_t whole = std::min(last + 1, s.fileBytes / kRecordBytes) * kRecordBytes;
    if (s.fileBytes > whole && s.number == index.segments.back().number) {
      auto file = disk::OpenExisting(s.path, true);
      if (!file) return file.failure();
      auto cut = disk::TruncateTo(file.value(), whole);
      if (cut) cut = disk::SyncData(file.value());
      disk::Close(file.value());
      if (!cut) return cut.failure();
      outcome.tornBytes += s.fileBytes - whole;
    }
    // The events' and notes' rows back in their places among the others, by record number.
    std::string rows((s.rows.size() + s.markRows.size()) * kSummaryRowBytes, '\0');
    for (size_t i = 0, m = 0, at = 0; i < s.rows.size() || m < s.markRows.size(); ++at) {
      const bool mark =
          m < s.markRows.size() && (i == s.rows.size() || s.markNumbers[m] < s.recordNumbers[i]);
      EncodeSummary(mark ? s.markRows[m++] : s.rows[i++],
                    reinterpret_cast<uint8_t*>(&rows[at * kSummaryRowBytes]));
    }
    if (auto written = base::WriteWholeFile(InFolder(folder, MinMaxName(s.number)), rows);
        !written) {
      return written.failure();
    }
  }
  if (auto written = WriteDescription(index, "interrupted"); !written) return written.failure();
  index.described = true;
  return outcome;
}

}  // namespace recording
