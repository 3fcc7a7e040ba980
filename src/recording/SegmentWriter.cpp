#include "SegmentWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FolderFiles.h"
#include "RecordDisk.h"
#include "WholeFile.h"

namespace recording {

SegmentWriter::SegmentWriter(std::string folder, Description description, uint64_t segmentBytes)
    : folder_(std::move(folder)),
      description_(std::move(description)),
      // At least the description and one block, and a whole number of records.
      segmentBytes_(std::max<uint64_t>(segmentBytes / kRecordBytes, 2) * kRecordBytes),
      record_(kRecordBytes),
      row_(kSummaryRowBytes) {}

base::Result<std::unique_ptr<SegmentWriter>> SegmentWriter::Create(const std::string& folder,
                                                                   Description description,
                                                                   uint64_t segmentBytes) {
  std::unique_ptr<SegmentWriter> writer(
      new SegmentWriter(folder, std::move(description), segmentBytes));
  if (auto opened = writer->OpenSegment(1); !opened) return opened.failure();
  if (auto described = writer->WriteDescription(); !described) return described.failure();
  return writer;
}

SegmentWriter::~SegmentWriter() {
  CloseSegment();
}

std::string SegmentWriter::PathOf(const std::string& name) const {
  return InFolder(folder_, name);
}

base::Result<> SegmentWriter::OpenSegment(int number) {
  const std::string name = SegmentName(number);
  auto segment = disk::CreateNew(PathOf(name));
  if (!segment) return segment.failure();
  auto minmax = disk::CreateNew(PathOf(MinMaxName(number)));
  if (!minmax) {
    disk::Close(segment.value());
    return minmax.failure();
  }
  CloseSegment();
  segment_ = segment.value();
  minmax_ = minmax.value();
  segmentSize_ = minmaxSize_ = 0;
  number_ = number;
  blockInSegment_ = false;
  // The segment opens with the recording's facts, so it can be read without the others.
  const std::string json = DescriptionRecordJson(description_);
  std::vector<uint8_t> payload(kPayloadBytes, 0);
  std::memcpy(payload.data(), json.data(), std::min(json.size(), kPayloadBytes));
  const RecordHeader header{
      .flags = kDescription,
      .block = description_.segments.empty() ? 0 : description_.segments.back().lastBlock + 1,
      .utcMicros = description_.startUtcMicros,
      .count = static_cast<uint32_t>(json.size())};
  EncodeHeader(header, payload.data(), record_.data());
  std::memcpy(record_.data() + kHeaderBytes, payload.data(), kPayloadBytes);
  if (auto written = Append(segment_, segmentSize_, record_.data(), kRecordBytes); !written) {
    return written;
  }
  description_.segments.push_back({.file = name, .records = 0, .firstBlock = 0, .lastBlock = 0});
  return Sync();
}

void SegmentWriter::CloseSegment() {
  if (segment_ >= 0) disk::Close(segment_);
  if (minmax_ >= 0) disk::Close(minmax_);
  segment_ = minmax_ = -1;
}

// Whole or not at all: a write cut short is cut back off the file.
base::Result<> SegmentWriter::Append(intptr_t handle, uint64_t& size, const uint8_t* bytes,
                                     size_t length) {
  if (auto written = disk::WriteAll(handle, bytes, length); !written) {
    (void)disk::TruncateTo(handle, size);
    return written;
  }
  size += length;
  bytes_ += length;
  return {};
}

base::Result<> SegmentWriter::WriteRecord(const RecordHeader& header, uint8_t* record) {
  if (segmentSize_ + kRecordBytes > segmentBytes_) {
    if (auto synced = Sync(); !synced) return synced;
    if (auto opened = OpenSegment(number_ + 1); !opened) return opened;
    if (auto described = WriteDescription(); !described) return described;
  }
  const uint8_t* payload = record + kHeaderBytes;
  EncodeHeader(header, payload, record);
  EncodeSummary(SummaryOf(header, payload), row_.data());
  const uint64_t segmentBefore = segmentSize_;
  if (auto written = Append(segment_, segmentSize_, record, kRecordBytes); !written) {
    return written;
  }
  if (auto written = Append(minmax_, minmaxSize_, row_.data(), kSummaryRowBytes); !written) {
    // The record goes too, so the segment and its rows stay one to one.
    (void)disk::TruncateTo(segment_, segmentBefore);
    segmentSize_ = segmentBefore;
    return written;
  }
  SegmentFacts& s = description_.segments.back();
  ++s.records;
  if (IsMark(header.flags)) return {};  // an event or a note stands for no block
  if (!blockInSegment_) s.firstBlock = header.block;
  blockInSegment_ = true;
  s.lastBlock = header.block + (header.count > 0 ? header.count - 1 : 0);
  return {};
}

base::Result<> SegmentWriter::Sync() {
  if (auto synced = disk::SyncData(segment_); !synced) return synced;
  if (auto synced = disk::SyncData(minmax_); !synced) return synced;
  // A segment whose name is gone (its folder deleted or moved away) takes writes nobody
  // will find: said now, while the recording can still stop, not at its end.
  std::error_code error;
  const std::string path = PathOf(SegmentName(number_));
  if (!std::filesystem::exists(FileSystemPath(path), error) && !error) {
    return base::Failure{base::Failure::Kind::FileNotWritten, path,
                         std::make_error_code(std::errc::no_such_file_or_directory).message(),
                         base::Failure::Cause::NotFound};
  }
  return {};
}

base::Result<> SegmentWriter::WriteDescription() {
  return base::WriteWholeFile(PathOf(std::string(kDescriptionName)), RecordingJson(description_));
}

}  // namespace recording
