// The recording's files as they grow: records appended to the segment in hand and its
// summary rows to the .minmax beside it, a new segment (opening with its description
// record) once the next record would pass the segment's size, and recording.json written
// whole on request. A record that cannot be written whole is cut back off the segment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Description.h"
#include "Failure.h"
#include "RecordFormat.h"

namespace recording {

class SegmentWriter {
 public:
  // Makes the first segment in `folder`, which must exist and hold no recording.
  static base::Result<std::unique_ptr<SegmentWriter>> Create(const std::string& folder,
                                                             Description description,
                                                             uint64_t segmentBytes);
  ~SegmentWriter();
  SegmentWriter(const SegmentWriter&) = delete;
  SegmentWriter& operator=(const SegmentWriter&) = delete;

  // One record of kRecordBytes, whole or not at all: its payload in place after the
  // header's room, into which the header is written, so nothing is copied.
  base::Result<> WriteRecord(const RecordHeader& header, uint8_t* record);
  // What was written so far onto the disk.
  base::Result<> Sync();
  // recording.json as the recording stands, written whole.
  base::Result<> WriteDescription();

  Description& description() { return description_; }
  uint64_t bytes() const { return bytes_; }  // every file's bytes written so far

 private:
  SegmentWriter(std::string folder, Description description, uint64_t segmentBytes);
  base::Result<> OpenSegment(int number);
  void CloseSegment();
  base::Result<> Append(intptr_t handle, uint64_t& size, const uint8_t* bytes, size_t length);
  std::string PathOf(const std::string& name) const;

  std::string folder_;
  Description description_;
  uint64_t segmentBytes_;
  int number_ = 0;
  intptr_t segment_ = -1, minmax_ = -1;
  uint64_t segmentSize_ = 0, minmaxSize_ = 0, bytes_ = 0;
  bool blockInSegment_ = false;  // a block or gap record written to the segment in hand
  std::vector<uint8_t> record_, row_;
};

}  // namespace recording
