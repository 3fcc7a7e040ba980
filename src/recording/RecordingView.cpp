#include "RecordingView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace recording {
namespace {

constexpr size_t kBlocksKept = 64;  // about 2.4 MB of codes

}  // namespace

base::Result<RecordingView> RecordingView::Open(const std::string& folder) {
  auto opened = OpenRecording(folder);
  if (!opened) return opened.failure();
  RecordingView view;
  view.index_ = std::move(opened.value());
  // A recording whose recording.json went missing gets it back; on a medium that takes no
  // writing it is viewed as it is.
  (void)RebuildDescription(view.index_);
  const Description& d = view.index_.description;
  view.scale_ = {
      .FullScaleCount = d.fullScaleCount, .ZeroCode = d.zeroCode, .SpanVolts = d.spanVolts};
  view.blockMicros_ = std::llround(d.blockSeconds * 1e6);
  view.BuildLevels();
  return view;
}

int64_t RecordingView::sampleMicros() const {
  return std::max<int64_t>(1, blockMicros_ / kPoints);
}

void RecordingView::BuildLevels() {
  levels_.assign(1, {});
  bool first = true;
  for (uint32_t s = 0; s < index_.segments.size(); ++s) {
    const SegmentIndex& segment = index_.segments[s];
    for (uint32_t r = 0; r < segment.rows.size(); ++r) {
      const SummaryRow& row = segment.rows[r];
      const RecordHeader& h = row.header;
      if (first) start_ = h.utcMicros;
      first = false;
      if (h.flags == kBlock) {
        blocks_.push_back({h.utcMicros, s, r});
        levels_[0].push_back({row.least, row.greatest});
        end_ = std::max(end_, h.utcMicros + blockMicros_);
        continue;
      }
      // A gap lasts its blocks; a stop until the block after it.
      const int64_t lasts = static_cast<int64_t>(h.count) * blockMicros_;
      end_ = std::max(end_, h.utcMicros + lasts);
      if (h.flags == kDamaged) NoteDamaged(segment.number, h.utcMicros, h.count);
      if (h.flags == kDamaged && !gaps_.empty() && gaps_.back().flags == kDamaged &&
          gaps_.back().toMicros == h.utcMicros) {  // one band for a run of them
        gaps_.back().toMicros += lasts;
        gaps_.back().count += h.count;
        continue;
      }
      gaps_.push_back({h.utcMicros, h.utcMicros + lasts, h.count, h.flags});
    }
  }
  for (ViewGap& g : gaps_) {  // a stop lasts until the block after it
    if (!(g.flags & kPaused)) continue;
    const auto next = std::lower_bound(blocks_.begin(), blocks_.end(), g.fromMicros,
                                       [](const Row& b, int64_t t) { return b.utcMicros < t; });
    if (next != blocks_.end()) g.toMicros = std::max(g.toMicros, next->utcMicros);
  }
  unreadable_.assign(blocks_.size(), false);
  while (levels_.back().size() > 1) {
    const std::vector<Range>& below = levels_.back();
    std::vector<Range> above;
    above.reserve(below.size() / kFanOut + 1);
    for (size_t i = 0; i < below.size(); i += kFanOut) {
      Range r = below[i];
      for (size_t j = i + 1; j < std::min(below.size(), i + kFanOut); ++j) {
        for (int c = 0; c < kChannels; ++c) {
          r.least[c] = std::min(r.least[c], below[j].least[c]);
          r.greatest[c] = std::max(r.greatest[c], below[j].greatest[c]);
        }
      }
      above.push_back(r);
    }
    levels_.push_back(std::move(above));
  }
}

// The least and greatest of rows [first, last): whole buckets of the levels above where
// they fit, single rows at the edges.
RecordingView::Range RecordingView::Combine(size_t first, size_t last) const {
  Range r;
  r.least.fill(UINT16_MAX);
  r.greatest.fill(0);
  const auto take = [&r](const Range& x) {
    for (int c = 0; c < kChannels; ++c) {
      r.least[c] = std::min(r.least[c], x.least[c]);
      r.greatest[c] = std::max(r.greatest[c], x.greatest[c]);
    }
  };
  size_t i = first;
  while (i < last) {
    size_t level = 0, width = 1;
    while (level + 1 < levels_.size() && i % (width * kFanOut) == 0 &&
           i + width * kFanOut <= last) {
      ++level;
      width *= kFanOut;
    }
    take(levels_[level][i / width]);
    i += width;
  }
  return r;
}

std::pair<size_t, size_t> RecordingView::RowsIn(int64_t from, int64_t to) const {
  // A block belongs to a span it overlaps: it starts before `to` and ends after `from`.
  const auto first = std::lower_bound(blocks_.begin(), blocks_.end(), from - blockMicros_ + 1,
                                      [](const Row& b, int64_t t) { return b.utcMicros < t; });
  const auto last = std::lower_bound(first, blocks_.end(), to,
                                     [](const Row& b, int64_t t) { return b.utcMicros < t; });
  return {static_cast<size_t>(first - blocks_.begin()),
          static_cast<size_t>(last - blocks_.begin())};
}

void RecordingView::Columns(int channel, int64_t from, int64_t to, int columns,
                            std::vector<ViewColumn>& out) const {
  out.assign(static_cast<size_t>(std::max(columns, 0)), ViewColumn{});
  if (columns <= 0 || to <= from || channel < 0 || channel >= kChannels) return;
  const double perColumn = static_cast<double>(to - from) / columns;
  for (int c = 0; c < columns; ++c) {
    const auto t0 = from + static_cast<int64_t>(std::floor(c * perColumn));
    const auto t1 = from + static_cast<int64_t>(std::floor((c + 1) * perColumn));
    const auto [first, last] = RowsIn(t0, std::max(t1, t0 + 1));
    if (first >= last) continue;
    const Range r = Combine(first, last);
    out[c] = {Volts(r.least[channel]), Volts(r.greatest[channel]), true};
  }
}

void RecordingView::NoteDamaged(int segment, int64_t from, uint64_t blocks) {
  const int64_t to = from + static_cast<int64_t>(blocks) * blockMicros_;
  for (DamagedSpan& d : damaged_) {  // the run it continues
    if (d.segment == segment && d.toMicros == from) {
      d.toMicros = to;
      d.blocks += blocks;
      return;
    }
  }
  damaged_.push_back({segment, from, to, blocks});
  std::sort(damaged_.begin(), damaged_.end(),
            [](const DamagedSpan& a, const DamagedSpan& b) { return a.fromMicros < b.fromMicros; });
}

// A block whose record no longer reads back: from now on a damaged gap of one block.
void RecordingView::MarkDamaged(size_t blockRow) {
  unreadable_[blockRow] = true;
  const Row& b = blocks_[blockRow];
  const ViewGap gap{b.utcMicros, b.utcMicros + blockMicros_, 1, kDamaged};
  gaps_.insert(std::upper_bound(
                   gaps_.begin(), gaps_.end(), gap,
                   [](const ViewGap& x, const ViewGap& y) { return x.fromMicros < y.fromMicros; }),
               gap);
  NoteDamaged(index_.segments[b.segment].number, b.utcMicros, 1);
  ++index_.blocksDamaged;
  if (index_.blocksRecorded > 0) --index_.blocksRecorded;
}

void RecordingView::MarkDamaged(RowPlace place) {
  // The blocks are in the order of their places, segment by segment.
  const auto found =
      std::lower_bound(blocks_.begin(), blocks_.end(), place, [](const Row& b, const RowPlace& p) {
        return b.segment < p.segment || (b.segment == p.segment && b.row < p.row);
      });
  if (found == blocks_.end() || found->segment != place.segment || found->row != place.row) return;
  const auto blockRow = static_cast<size_t>(found - blocks_.begin());
  if (!unreadable_[blockRow]) MarkDamaged(blockRow);
}

std::vector<DamagedSpan> RecordingView::Damaged(int64_t from, int64_t to) const {
  std::vector<DamagedSpan> in;
  for (const DamagedSpan& d : damaged_) {
    if (d.toMicros > from && d.fromMicros < to) in.push_back(d);
  }
  return in;
}

const std::vector<uint16_t>* RecordingView::Codes(size_t blockRow) {
  for (auto& [row, codes] : read_) {
    if (row == blockRow) return &codes;
  }
  if (unreadable_.at(blockRow)) return nullptr;
  const Row& b = blocks_[blockRow];
  if (!ReadRecord(index_.segments[b.segment], b.row, payload_)) {
    MarkDamaged(blockRow);
    return nullptr;
  }
  if (read_.size() >= kBlocksKept) read_.pop_front();
  std::vector<uint16_t> codes(kCodesPerRecord);
  std::memcpy(codes.data(), payload_.data(), kPayloadBytes);
  read_.emplace_back(blockRow, std::move(codes));
  return &read_.back().second;
}

bool RecordingView::Samples(int channel, int64_t from, int64_t to, size_t most,
                            std::vector<ViewSample>& out) {
  out.clear();
  const auto [first, last] = RowsIn(from, to);
  if ((last - first) * kPoints > most + 2 * kPoints) return false;
  const int64_t step = sampleMicros();
  for (size_t b = first; b < last; ++b) {
    const std::vector<uint16_t>* codes = Codes(b);
    if (!codes) continue;  // damaged: a gap, like a lost block
    for (int p = 0; p < kPoints; ++p) {
      const int64_t t = blocks_[b].utcMicros + p * blockMicros_ / kPoints;
      if (t + step <= from || t >= to) continue;
      out.push_back({t, Volts((*codes)[static_cast<size_t>(p) * kChannels + channel])});
    }
  }
  if (out.size() > most) {
    out.clear();
    return false;
  }
  return true;
}

std::vector<ViewGap> RecordingView::Gaps(int64_t from, int64_t to) const {
  std::vector<ViewGap> in;
  for (const ViewGap& g : gaps_) {
    if (g.toMicros > from && g.fromMicros < to) in.push_back(g);
  }
  return in;
}

}  // namespace recording
