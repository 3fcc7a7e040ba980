#include "RecordingExport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FolderFiles.h"
#include "NumberForms.h"
#include "RecordDisk.h"
#include "Waveform.h"
#include "WholeFile.h"

namespace recording {
namespace {

constexpr size_t kChunkBytes = 1 << 20;  // written a megabyte at a time

// Each point of the span's blocks in time order, with the gap before it in points (0 when
// it follows the point before); `visit` says whether to go on. A block whose record is
// found damaged is left out, its time kept as a gap; `skipped` counts its points.
template <typename Visit>
void EachPoint(RecordingView& view, const ExportSpan& span, bool read, uint64_t& skipped,
               Visit visit) {
  const auto [first, last] = view.RowsIn(span.fromMicros, span.toMicros);
  const int64_t step = view.sampleMicros();
  int64_t expected = INT64_MIN;  // the time the next point would have without a gap
  for (size_t b = first; b < last; ++b) {
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
        return;
      }
    }
  }
}

template <typename T>
void Put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// RIFF with a JUNK chunk where RF64 keeps its ds64, so both have the same 80-byte header.
std::string WavHeader(int channels, int rate, uint64_t frames, bool rf64) {
  const uint64_t data = frames * channels * 2;
  const uint64_t riff = 72 + data;
  std::string h;
  h += rf64 ? "RF64" : "RIFF";
  Put<uint32_t>(h, rf64 ? 0xFFFFFFFFu : static_cast<uint32_t>(riff));
  h += "WAVE";
  h += rf64 ? "ds64" : "JUNK";
  Put<uint32_t>(h, 28);
  Put<uint64_t>(h, rf64 ? riff : 0);
  Put<uint64_t>(h, rf64 ? data : 0);
  Put<uint64_t>(h, rf64 ? frames : 0);
  Put<uint32_t>(h, 0);
  h += "fmt ";
  Put<uint32_t>(h, 16);
  Put<uint16_t>(h, 1);  // PCM
  Put<uint16_t>(h, static_cast<uint16_t>(channels));
  Put<uint32_t>(h, static_cast<uint32_t>(rate));
  Put<uint32_t>(h, static_cast<uint32_t>(rate * channels * 2));
  Put<uint16_t>(h, static_cast<uint16_t>(channels * 2));
  Put<uint16_t>(h, 16);
  h += "data";
  Put<uint32_t>(h, rf64 ? 0xFFFFFFFFu : static_cast<uint32_t>(data));
  return h;
}

// Writes `head`, then what `fill` appends chunk by chunk, into one file appearing whole.
template <typename Fill>
base::Result<> WriteStreamed(const std::string& path, const std::string& head, Fill fill) {
  auto pending = base::WriteTemporaryFile(path, head);
  if (!pending) return pending.failure();
  std::string chunk;
  base::Result<> written;
  fill(chunk, [&] {
    if (written) written = base::AppendToTemporaryFile(pending.value(), chunk);
    chunk.clear();
    return written.ok();
  });
  if (written && !chunk.empty()) written = base::AppendToTemporaryFile(pending.value(), chunk);
  if (!written) {
    base::DiscardFile(pending.value());
    return written;
  }
  return base::CommitFile(pending.value());
}

// ".span.wav.Ab3xQz.part": the temporary file of an export.
bool IsExportTemporary(std::string_view name) {
  if (!base::IsTemporaryName(name, "")) return false;
  name.remove_prefix(1);
  name = name.substr(0, name.rfind('.'));  // ".part"
  name = name.substr(0, name.rfind('.'));  // its tag
  return name.ends_with(".csv") || name.ends_with(".wav");
}

}  // namespace

std::vector<std::string> RemoveLeftoverExports(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> removed;
  std::error_code error;
  for (fs::directory_iterator it(FileSystemPath(folder), error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string name8 = it->path().filename().u8string();
    const std::string name(name8.begin(), name8.end());
    if (!IsExportTemporary(name) || !it->is_regular_file(error)) continue;
    const std::string path = InFolder(folder, name);
    if (disk::Held(path)) continue;  // an export still on its way
    std::error_code gone;
    if (fs::remove(it->path(), gone)) removed.push_back(path);
  }
  return removed;
}

base::Result<ExportOutcome> ExportCsv(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t mostRows) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  ExportOutcome outcome;
  uint64_t skipped = 0;
  EachPoint(view, span, false, skipped, [&](int64_t, int64_t, const uint16_t*) {
    ++outcome.rowsInSpan;
    return true;
  });
  std::string head = "\xEF\xBB\xBF时间 (UTC)";
  for (int c : span.channels) head += "," + acquisition::TraceName(c) + " (V)";
  head += "\r\n";
  auto written = WriteStreamed(path, head, [&](std::string& chunk, auto flush) {
    EachPoint(view, span, true, skipped, [&](int64_t t, int64_t, const uint16_t* codes) {
      if (outcome.rows + 1 >= mostRows) return false;  // the heading is a row too
      chunk += UtcText(t);
      for (int c : span.channels) {
        chunk += ',';
        numtext::AppendFixed(chunk, view.Volts(codes[c]), 5);
      }
      chunk += "\r\n";
      ++outcome.rows;
      return chunk.size() < kChunkBytes || flush();
    });
  });
  if (!written) return written.failure();
  outcome.rowsInSpan -= std::min(skipped, outcome.rowsInSpan);  // damaged: not in the span
  outcome.damaged = view.Damaged(span.fromMicros, span.toMicros);
  return outcome;
}

base::Result<ExportOutcome> ExportWav(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t rf64Above) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  ExportOutcome outcome;
  const int channels = static_cast<int>(span.channels.size());
  uint64_t skipped = 0, frames = 0;
  EachPoint(view, span, false, skipped, [&](int64_t, int64_t missing, const uint16_t*) {
    outcome.rowsInSpan += 1 + missing;
    return true;
  });
  outcome.rows = outcome.rowsInSpan;
  // A WAV's rate is whole hertz: 781.25 becomes 781 (its header says so; the README too).
  outcome.sampleRateHz = static_cast<int>(1'000'000 / view.sampleMicros());
  const Description& d = view.index().description;
  if (d.aggregateRateHz > 0 && d.channels > 0)
    outcome.sampleRateHz = d.aggregateRateHz / d.channels;
  outcome.rf64 = 80 + outcome.rows * channels * 2 > rf64Above;
  const std::string head = WavHeader(channels, outcome.sampleRateHz, outcome.rows, outcome.rf64);
  auto written = WriteStreamed(path, head, [&](std::string& chunk, auto flush) {
    EachPoint(view, span, true, skipped, [&](int64_t, int64_t missing, const uint16_t* codes) {
      chunk.append(static_cast<size_t>(missing) * channels * 2, '\0');  // 0 V over a gap
      for (int c : span.channels) Put<int16_t>(chunk, static_cast<int16_t>(codes[c] - 32768));
      frames += 1 + static_cast<uint64_t>(missing);
      return chunk.size() < kChunkBytes || flush();
    });
    // A damaged block at the end of the span: 0 V up to the length the header gives.
    if (frames < outcome.rows) chunk.append((outcome.rows - frames) * channels * 2, '\0');
  });
  if (!written) return written.failure();
  outcome.damaged = view.Damaged(span.fromMicros, span.toMicros);
  return outcome;
}

}  // namespace recording
