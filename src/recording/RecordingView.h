// What the viewer draws of a recording, for any span of time and width in pixels: each
// chosen channel's least and greatest volts per pixel column, from the coarsest summary
// level that still gives a column a row or more (levels of 16, 256, 4096 … blocks, made
// from the block rows when the recording opens); the samples themselves once few enough
// lie in the span, read from the segments; and the gaps (blocks lost, a stop, a damaged
// record) with their counts. Opening reads the summaries alone, so a day's recording
// opens at once.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "ChannelValues.h"
#include "Failure.h"
#include "RecordingReader.h"

namespace recording {

struct ViewColumn {
  float least = 0, greatest = 0;
  bool any = false;  // false: no block in the column (a gap, or beyond the ends)
};

struct ViewSample {
  int64_t utcMicros;
  float volts;
};

struct ViewGap {
  int64_t fromMicros = 0, toMicros = 0;
  uint32_t count = 0;  // blocks missing
  uint32_t flags = 0;  // kGap, with kPaused for a stop; kDamaged
};

class RecordingView {
 public:
  static base::Result<RecordingView> Open(const std::string& folder);

  const RecordingIndex& index() const { return index_; }
  int64_t startMicros() const { return start_; }
  int64_t endMicros() const { return end_; }
  int64_t blockMicros() const { return blockMicros_; }
  int64_t sampleMicros() const;  // between two points of a channel
  float Volts(uint16_t code) const { return acquisition::VoltsOfCode(code, scale_); }

  // `channel` (0-based) over [from, to) in `columns` columns.
  void Columns(int channel, int64_t from, int64_t to, int columns,
               std::vector<ViewColumn>& out) const;
  // The samples of `channel` in [from, to), when there are at most `most`; false (and none)
  // when there are more, or a record could not be read.
  bool Samples(int channel, int64_t from, int64_t to, size_t most, std::vector<ViewSample>& out);
  std::vector<ViewGap> Gaps(int64_t from, int64_t to) const;

  // The blocks' rows in [from, to): first and one past the last, in `rows()`.
  std::pair<size_t, size_t> RowsIn(int64_t from, int64_t to) const;
  struct Row {
    int64_t utcMicros;
    uint32_t segment, row;  // where its record is
  };
  const std::vector<Row>& rows() const { return blocks_; }
  // A block's codes (kCodesPerRecord, channel-interleaved), read and checked.
  const std::vector<uint16_t>* Codes(size_t blockRow);

 private:
  struct Range {
    std::array<uint16_t, kChannels> least, greatest;
  };
  static constexpr int kFanOut = 16;

  void BuildLevels();
  Range Combine(size_t first, size_t last) const;  // rows [first, last)

  RecordingIndex index_;
  acquisition::VoltageScale scale_;
  int64_t start_ = 0, end_ = 0, blockMicros_ = 0;
  std::vector<Row> blocks_;                 // the data records, in time order
  std::vector<std::vector<Range>> levels_;  // [0]: one per block; [k]: per 16^k blocks
  std::vector<ViewGap> gaps_;
  // The blocks read last, for pans and zooms at the finest level.
  std::deque<std::pair<size_t, std::vector<uint16_t>>> read_;
  std::vector<uint8_t> payload_;
};

}  // namespace recording
