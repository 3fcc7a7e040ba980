// What every export format shares: the span's points in time order with the gaps between
// them, the same points as frames on an even clock (a gap's frames filled, and listed), and
// the files of one export, which appear all whole or none at all.
#pragma once

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Failure.h"
#include "RecordFormat.h"
#include "RecordingView.h"
#include "WholeFile.h"

namespace recording {

struct ExportSpan {
  int64_t fromMicros = 0, toMicros = 0;
  std::vector<int> channels;  // 0-based
};

// How the caller follows an export and stops it: both are used from the exporting thread.
struct ExportControl {
  const std::atomic<bool>* cancel = nullptr;  // true: stop, and leave no file
  std::function<void(double)> progress;       // the part done, 0 to 1, once a block
};

// A stretch of an even-clock export without samples: blocks lost, a stop, or blocks whose
// records are damaged, filled with 0 V (or NaN in volts).
struct ExportGap {
  uint64_t firstFrame = 0, frames = 0;
  int64_t utcMicros = 0;  // the time its first frame would have had
  uint32_t flags = 0;     // kGap, with kPaused for a stop; kDamaged
};

// Each point of the span's blocks in time order, with the gap before it in points (0 when
// it follows the point before); `visit` says whether to go on. A block whose record is
// found damaged is left out, its time kept as a gap; `skipped` counts its points. False
// when cancelled.
template <typename Visit>
bool EachPoint(RecordingView& view, const ExportSpan& span, bool read, uint64_t& skipped,
               const ExportControl& control, Visit visit) {
  const auto [first, last] = view.RowsIn(span.fromMicros, span.toMicros);
  const int64_t step = view.sampleMicros();
  int64_t expected = INT64_MIN;  // the time the next point would have without a gap
  for (size_t b = first; b < last; ++b) {
    if (read && control.cancel && control.cancel->load(std::memory_order_relaxed)) return false;
    if (read && control.progress) control.progress(double(b - first) / double(last - first));
    const std::vector<uint16_t>* codes = read ? view.Codes(b) : nullptr;
    const int64_t start = view.rows()[b].utcMicros;
    for (int p = 0; p < kPoints; ++p) {
      const int64_t t = start + p * view.blockMicros() / kPoints;
      if (t < span.fromMicros || t >= span.toMicros) continue;
      if (read && !codes) {
        if (expected == INT64_MIN) expected = t;  // the span starts with the gap
        ++skipped;
        continue;
      }
      const int64_t missing = expected == INT64_MIN
                                  ? 0
                                  : std::max<int64_t>(0, std::llround(double(t - expected) / step));
      expected = t + step;
      if (!visit(t, missing,
                 codes ? codes->data() + static_cast<size_t>(p) * kChannels : nullptr)) {
        return true;
      }
    }
  }
  return true;
}

// The frames of the span on an even clock, as a WAV, an npy array and HDF5 hold them.
uint64_t CountFrames(RecordingView& view, const ExportSpan& span);
// Hands `emit` the frames in turn, up to `total` (a damaged end is a gap too): `count`
// frames of a block at `codes` (kChannels codes each, one after the other), or none for
// `count` frames of a gap; the gaps are listed in `gaps`. `emit` gives false to stop;
// `firstMicros` is given the first frame's time. False when cancelled or stopped.
bool StreamFrames(RecordingView& view, const ExportSpan& span, const ExportControl& control,
                  uint64_t total, std::vector<ExportGap>& gaps, int64_t& firstMicros,
                  const std::function<bool(const uint16_t* codes, uint64_t count)>& emit);

// The files of one export, written beside their final names and named only at the end, all
// of them or none: a cancel, a full disk or a folder that vanished leaves nothing.
class ExportFiles {
 public:
  ExportFiles() = default;
  ExportFiles(const ExportFiles&) = delete;
  ExportFiles& operator=(const ExportFiles&) = delete;
  ~ExportFiles();  // what was not committed goes

  // A new file; the bytes that follow go to it.
  base::Result<> Start(const std::string& path, std::string_view head);
  base::Result<> Append(std::string_view bytes);
  // The temporary path of the file started last (for a library that writes by name).
  const std::string& TemporaryPath() const { return files_.back().temporaryPath; }
  // Flushes each and gives it its name; when one fails, those already named are removed.
  base::Result<std::vector<std::string>> CommitAll();

 private:
  std::vector<base::PendingFile> files_;
};

// Removes a file by its UTF-8 path; false when it could not be.
bool RemoveFile(const std::string& path);

}  // namespace recording
