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

// Recorded blocks that can no longer be read, one span per run of them in a segment: what a
// view or an export leaves out, and where.
struct DamagedSpan {
  int segment = 0;  // its number ("segment-0003.kzr": 3)
  int64_t fromMicros = 0, toMicros = 0;
  uint64_t blocks = 0;
};

class RecordingView {
 public:
  static base::Result<RecordingView> Open(const std::string& folder);

  const RecordingIndex& index() const { return index_; }
  // The events and notes the recording holds, in the order they were written.
  const std::vector<EventRecord>& events() const { return index_.events; }
  const std::vector<NoteRecord>& notes() const { return index_.notes; }
  int64_t startMicros() const { return start_; }
  int64_t endMicros() const { return end_; }
  int64_t blockMicros() const { return blockMicros_; }
  int64_t sampleMicros() const;  // between two points of a channel
  float Volts(uint16_t code) const { return acquisition::VoltsOfCode(code, scale_); }

  // `channel` (0-based) over [from, to) in `columns` columns.
  void Columns(int channel, int64_t from, int64_t to, int columns,
               std::vector<ViewColumn>& out) const;
  // The samples of `channel` in [from, to), when there are at most `most`; false (and none)
  // when there are more. A damaged record's block is left out, as a gap.
  bool Samples(int channel, int64_t from, int64_t to, size_t most, std::vector<ViewSample>& out);
  std::vector<ViewGap> Gaps(int64_t from, int64_t to) const;

  // The blocks' rows in [from, to): first and one past the last, in `rows()`.
  std::pair<size_t, size_t> RowsIn(int64_t from, int64_t to) const;
  struct Row {
    int64_t utcMicros;
    uint32_t segment, row;  // where its record is
  };
  const std::vector<Row>& rows() const { return blocks_; }
  // A block's codes (kCodesPerRecord, channel-interleaved), read and checked. A record found
  // damaged gives none, and is from then on a damaged block of the view (its gaps, its
  // damaged spans, the index's counts).
  const std::vector<uint16_t>* Codes(size_t blockRow);
  // The damaged spans that meet [from, to), as far as they are known: the summaries name
  // the blocks a segment no longer holds; a record damaged within is found when it is read.
  std::vector<DamagedSpan> Damaged(int64_t from, int64_t to) const;
  // A block that CheckRecords found damaged, said and shown as one from now on.
  void MarkDamaged(RowPlace place);

 private:
  struct Range {
    std::array<uint16_t, kChannels> least, greatest;
  };
  static constexpr int kFanOut = 16;

  void BuildLevels();
  void NoteDamaged(int segment, int64_t from, uint64_t blocks);
  void MarkDamaged(size_t blockRow);
  Range Combine(size_t first, size_t last) const;  // rows [first, last)

  RecordingIndex index_;
  acquisition::VoltageScale scale_;
  int64_t start_ = 0, end_ = 0, blockMicros_ = 0;
  std::vector<Row> blocks_;                 // the data records, in time order
  std::vector<std::vector<Range>> levels_;  // [0]: one per block; [k]: per 16^k blocks
  std::vector<ViewGap> gaps_;               // in time order
  std::vector<DamagedSpan> damaged_;
  std::vector<bool> unreadable_;  // per block row: found damaged when it was read
  // The blocks read last, for pans and zooms at the finest level.
  std::deque<std::pair<size_t, std::vector<uint16_t>>> read_;
  std::vector<uint8_t> payload_;
};

}  // namespace recording
