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
  uint64_t frames = 0, skipped = 0;
  bool stopped = false;
  const int64_t step = view.sampleMicros();
  firstMicros = std::max(span.fromMicros, view.startMicros());
  const bool whole = EachPoint(
      view, span, true, skipped, control, [&](int64_t t, int64_t missing, const uint16_t* codes) {
        if (frames >= total) return false;
        if (frames == 0) firstMicros = t - missing * step;
        if (missing > 0) {
          const auto count = std::min<uint64_t>(static_cast<uint64_t>(missing), total - frames);
          gaps.push_back({frames, count, t - missing * step, 0});
          if (!emit(nullptr, count)) return !(stopped = true);
          frames += count;
        }
        if (frames >= total) return false;
        if (!emit(codes, 1)) return !(stopped = true);
        ++frames;
        return true;
      });
  if (!whole || stopped) return false;
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
