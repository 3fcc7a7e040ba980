#include "ExportFrames.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "FolderFiles.h"

namespace recording {
namespace {

// What kind of gap holds `utcMicros`: the view's own gaps say it; a block found damaged
// while it was read is one of them by then.
uint32_t GapFlags(const std::vector<ViewGap>& gaps, int64_t utcMicros) {
  for (const ViewGap& g : gaps) {
    if (utcMicros >= g.fromMicros && utcMicros < g.toMicros) return g.flags;
  }
  return kGap;
}

}  // namespace

uint64_t CountFrames(RecordingView& view, const ExportSpan& span) {
  uint64_t frames = 0, skipped = 0;
  EachPoint(view, span, false, skipped, {}, [&](int64_t, int64_t missing, const uint16_t*) {
    frames += 1 + static_cast<uint64_t>(missing);
    return true;
  });
  return frames;
}

bool StreamFrames(RecordingView& view, const ExportSpan& span, const ExportControl& control,
                  uint64_t total, std::vector<ExportGap>& gaps, int64_t& firstMicros,
                  const std::function<bool(const uint16_t* codes, uint64_t count)>& emit) {
  uint64_t frames = 0;
  const int64_t step = view.sampleMicros();
  firstMicros = std::max(span.fromMicros, view.startMicros());
  int64_t expected = INT64_MIN;  // the time the next frame would have without a gap
  const auto [first, last] = view.RowsIn(span.fromMicros, span.toMicros);
  // A block's points in the span follow one another: each block is one run of frames.
  for (size_t b = first; b < last && frames < total; ++b) {
    if (control.cancel && control.cancel->load(std::memory_order_relaxed)) return false;
    if (control.progress) control.progress(double(b - first) / double(last - first));
    const int64_t start = view.rows()[b].utcMicros;
    const auto at = [&](int p) { return start + p * view.blockMicros() / kPoints; };
    int p0 = 0, p1 = kPoints;
    while (p0 < kPoints && at(p0) < span.fromMicros) ++p0;
    while (p1 > p0 && at(p1 - 1) >= span.toMicros) --p1;
    if (p0 == p1) continue;
    const std::vector<uint16_t>* codes = view.Codes(b);
    if (!codes) {  // damaged: its time is a gap before the next block read
      if (expected == INT64_MIN) expected = at(p0);
      continue;
    }
    const int64_t missing =
        expected == INT64_MIN
            ? 0
            : std::max<int64_t>(0, std::llround(double(at(p0) - expected) / step));
    if (frames == 0) firstMicros = at(p0) - missing * step;
    if (missing > 0) {
      const auto count = std::min<uint64_t>(static_cast<uint64_t>(missing), total - frames);
      gaps.push_back({frames, count, at(p0) - missing * step, 0});
      if (!emit(nullptr, count)) return false;
      frames += count;
    }
    const auto count = std::min<uint64_t>(static_cast<uint64_t>(p1 - p0), total - frames);
    if (count > 0 && !emit(codes->data() + static_cast<size_t>(p0) * kChannels, count))
      return false;
    frames += count;
    expected = at(p1 - 1) + step;
  }
  if (control.cancel && control.cancel->load(std::memory_order_relaxed)) return false;
  if (frames < total) {  // damaged blocks at the end of the span
    gaps.push_back({frames, total - frames, firstMicros + static_cast<int64_t>(frames) * step, 0});
    if (!emit(nullptr, total - frames)) return false;
  }
  // Each gap's kind, now that reading found every damaged block the span holds.
  const std::vector<ViewGap> viewGaps = view.Gaps(span.fromMicros, span.toMicros);
  for (ExportGap& g : gaps) g.flags = GapFlags(viewGaps, g.utcMicros);
  return true;
}

ExportFiles::~ExportFiles() {
  for (base::PendingFile& f : files_) {
    if (f.handle != -1) base::DiscardFile(f);
  }
}

base::Result<> ExportFiles::Start(const std::string& path, std::string_view head) {
  auto pending = base::WriteTemporaryFile(path, head);
  if (!pending) return pending.failure();
  files_.push_back(std::move(pending.value()));
  return {};
}

base::Result<> ExportFiles::Append(std::string_view bytes) {
  return base::AppendToTemporaryFile(files_.back(), bytes);
}

base::Result<std::vector<std::string>> ExportFiles::CommitAll() {
  std::vector<std::string> named;
  for (base::PendingFile& f : files_) {
    const std::string finalPath = f.finalPath;
    auto committed = base::CommitFile(f);
    f.handle = -1;  // committed or removed by the commit either way
    if (!committed) {
      for (const std::string& done : named) RemoveFile(done);
      return committed.failure();
    }
    named.push_back(finalPath);
  }
  return named;
}

bool RemoveFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(FileSystemPath(path), error);
}

}  // namespace recording
