#include "RecordingExport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FolderFiles.h"
#include "Hdf5Export.h"
#include "JsonText.h"
#include "NumberForms.h"
#include "RecordDisk.h"
#include "Waveform.h"
#include "WholeFile.h"

namespace recording {
namespace {

constexpr size_t kChunkBytes = 1 << 20;  // written a megabyte at a time

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

// Writes `head`, then what `fill` appends chunk by chunk, into one file appearing whole;
// `fill` gives false when it was cancelled. Gives the files written: none when cancelled.
template <typename Fill>
base::Result<std::vector<std::string>> WriteStreamed(const std::string& path,
                                                     const std::string& head, Fill fill) {
  ExportFiles files;
  if (auto started = files.Start(path, head); !started) return started.failure();
  std::string chunk;
  base::Result<> written;
  const bool whole = fill(chunk, [&] {
    if (written) written = files.Append(chunk);
    chunk.clear();
    return written.ok();
  });
  if (written && !chunk.empty()) written = files.Append(chunk);
  if (!written) return written.failure();
  if (!whole) return std::vector<std::string>{};
  return files.CommitAll();
}

// A number in a file: a point whatever the locale, every digit a double holds.
std::string ExactNumber(double value) {
  return numtext::General(value, 17);
}

// ".span.wav.Ab3xQz.part": the temporary file of an export.
bool IsExportTemporary(std::string_view name) {
  if (!base::IsTemporaryName(name, "")) return false;
  name.remove_prefix(1);
  name = name.substr(0, name.rfind('.'));  // ".part"
  name = name.substr(0, name.rfind('.'));  // its tag
  return name.ends_with(".csv") || name.ends_with(".wav") || name.ends_with(".npy") ||
         name.ends_with(".npy.json") || name.ends_with(".h5") || name.ends_with(".hdf5");
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

std::optional<ExportFormat> ExportFormatNamed(std::string_view name) {
  if (name == "hdf5" || name == "h5") return ExportFormat::Hdf5;
  if (name == "csv") return ExportFormat::Csv;
  if (name == "wav") return ExportFormat::Wav;
  if (name == "npy") return ExportFormat::Npy;
  return std::nullopt;
}

const char* ExportFormatName(ExportFormat format) {
  switch (format) {
    case ExportFormat::Hdf5:
      return "hdf5";
    case ExportFormat::Csv:
      return "csv";
    case ExportFormat::Wav:
      return "wav";
    case ExportFormat::Npy:
      return "npy";
  }
  return "";
}

base::Result<ExportOutcome> Export(RecordingView& view, const ExportRequest& request,
                                   const ExportControl& control) {
  switch (request.format) {
    case ExportFormat::Hdf5:
      return ExportHdf5(view, request.span, request.path, request.volts, control);
    case ExportFormat::Csv:
      return ExportCsv(view, request.span, request.path, kSpreadsheetRows, control);
    case ExportFormat::Wav:
      return ExportWav(view, request.span, request.path, 0xFFFFFFFFull, control);
    case ExportFormat::Npy:
      return ExportNpy(view, request.span, request.path, request.volts, control);
  }
  return ExportOutcome{};
}

std::string CsvPartPath(const std::string& path, uint64_t n) {
  if (n <= 1) return path;
  const size_t name = path.find_last_of(base::kPathSeparators) + 1;  // npos + 1: 0
  const size_t dot = path.rfind('.');
  const bool extension = dot != std::string::npos && dot > name;
  return (extension ? path.substr(0, dot) : path) + "-" + std::to_string(n) +
         (extension ? path.substr(dot) : ".csv");
}

namespace {

// How many points the span holds, counted without reading its records.
uint64_t CountPoints(RecordingView& view, const ExportSpan& span, uint64_t& skipped) {
  uint64_t points = 0;
  EachPoint(view, span, false, skipped, {}, [&](int64_t, int64_t, const uint16_t*) {
    ++points;
    return true;
  });
  return points;
}

// The heading row, after the byte order mark spreadsheets look for: the time, then each
// channel's name in volts.
std::string CsvHead(const ExportSpan& span) {
  std::string head = "\xEF\xBB\xBF时间 (UTC)";
  for (int c : span.channels) head += "," + acquisition::TraceName(c) + " (V)";
  return head + "\r\n";
}

}  // namespace

base::Result<ExportOutcome> Committed(ExportFiles& files, ExportOutcome outcome,
                                      const RecordingView& view, const ExportSpan& span) {
  auto named = files.CommitAll();
  if (!named) return named.failure();
  outcome.files = std::move(named.value());
  outcome.damaged = view.Damaged(span.fromMicros, span.toMicros);
  return outcome;
}

base::Result<ExportOutcome> ExportCsv(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t mostRows,
                                      const ExportControl& control) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  ExportOutcome outcome;
  uint64_t skipped = 0;
  outcome.rowsInSpan = CountPoints(view, span, skipped);
  const std::string head = CsvHead(span);
  const uint64_t perFile = std::max<uint64_t>(mostRows, 2) - 1;  // the heading is a row too
  ExportFiles files;
  if (auto started = files.Start(path, head); !started) return started.failure();
  uint64_t inFile = 0, parts = 1;
  std::string chunk;
  base::Result<> written;
  const auto flush = [&] {
    if (written) written = files.Append(chunk);
    chunk.clear();
    return written.ok();
  };
  // A line of its own: past the file's last row the next file starts, heading first.
  const auto line = [&] {
    if (inFile < perFile) return ++inFile, true;
    if (!flush()) return false;
    written = files.Start(CsvPartPath(path, ++parts), head);
    inFile = 1;
    return written.ok();
  };
  const bool whole = EachPoint(view, span, true, skipped, control,
                               [&](int64_t t, int64_t missing, const uint16_t* codes) {
                                 // Missing samples (lost, a stop, damaged records): one empty line,
                                 // which spreadsheets and pandas skip and a reader of the file
                                 // sees.
                                 if (missing > 0) {
                                   if (!line()) return false;
                                   chunk += "\r\n";
                                 }
                                 if (!line()) return false;
                                 chunk += UtcText(t);
                                 for (int c : span.channels) {
                                   chunk += ',';
                                   numtext::AppendFixed(chunk, view.Volts(codes[c]), 5);
                                 }
                                 chunk += "\r\n";
                                 ++outcome.rows;
                                 return chunk.size() < kChunkBytes || flush();
                               });
  if (written && !chunk.empty()) written = files.Append(chunk);
  if (!written) return written.failure();
  if (!whole) {
    outcome.cancelled = true;
    return outcome;
  }
  outcome.rowsInSpan -= std::min(skipped, outcome.rowsInSpan);  // damaged: not in the span
  return Committed(files, std::move(outcome), view, span);
}

base::Result<ExportOutcome> ExportWav(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t rf64Above,
                                      const ExportControl& control) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  ExportOutcome outcome;
  const int channels = static_cast<int>(span.channels.size());
  outcome.rowsInSpan = outcome.rows = CountFrames(view, span);
  // A WAV's rate is whole hertz: 781.25 becomes 781 (its header says so; the README too).
  outcome.sampleRateHz = static_cast<int>(1'000'000 / view.sampleMicros());
  const Description& d = view.index().description;
  if (d.aggregateRateHz > 0 && d.channels > 0)
    outcome.sampleRateHz = d.aggregateRateHz / d.channels;
  outcome.rf64 = 80 + outcome.rows * channels * 2 > rf64Above;
  const std::string head = WavHeader(channels, outcome.sampleRateHz, outcome.rows, outcome.rf64);
  auto written = WriteStreamed(path, head, [&](std::string& chunk, auto flush) {
    int64_t firstMicros = 0;
    return StreamFrames(view, span, control, outcome.rows, outcome.gaps, firstMicros,
                        [&](const uint16_t* codes, uint64_t count) {
                          if (!codes) {
                            chunk.append(count * channels * 2, '\0');  // 0 V over a gap
                          } else {
                            for (uint64_t f = 0; f < count; ++f, codes += kChannels) {
                              for (int c : span.channels)
                                Put<int16_t>(chunk, static_cast<int16_t>(codes[c] - 32768));
                            }
                          }
                          return chunk.size() < kChunkBytes || flush();
                        });
  });
  if (!written) return written.failure();
  outcome.cancelled = written.value().empty();
  outcome.files = std::move(written.value());
  outcome.damaged = view.Damaged(span.fromMicros, span.toMicros);
  return outcome;
}

namespace {

// numpy's format 1.0: the magic, the header's length, then a dict padded to 64 bytes.
std::string NpyHeader(const char* descr, uint64_t frames, size_t channels) {
  std::string dict = std::string("{'descr': '") + descr + "', 'fortran_order': False, 'shape': (" +
                     std::to_string(frames) + ", " + std::to_string(channels) + "), }";
  const size_t unpadded = 10 + dict.size() + 1;
  dict.append((64 - unpadded % 64) % 64, ' ');
  dict += '\n';
  std::string h = "\x93NUMPY";
  h += '\x01';
  h += '\x00';
  Put<uint16_t>(h, static_cast<uint16_t>(dict.size()));
  return h + dict;
}

// The sidecar of an npy array: what its values are and how they become volts, the rate and
// the first sample's time, the channels' names, the gaps (their flags as the format's).
std::string NpyFacts(RecordingView& view, const ExportSpan& span, bool volts, int64_t firstMicros,
                     const std::vector<ExportGap>& gaps) {
  const Description& d = view.index().description;
  std::string channels, gapList;
  for (int c : span.channels) {
    channels += (channels.empty() ? "" : ", ") + base::JsonQuoted(acquisition::TraceName(c));
  }
  for (const ExportGap& g : gaps) {
    gapList += std::string(gapList.empty() ? "" : ", ") +
               "{\"first_sample\": " + std::to_string(g.firstFrame) +
               ", \"samples\": " + std::to_string(g.frames) +
               ", \"utc_us\": " + std::to_string(g.utcMicros) +
               ", \"flags\": " + std::to_string(g.flags) + "}";
  }
  return std::string("{\"format\": \"kzb7310 export\", \"values\": ") +
         (volts ? "\"float32\"" : "\"int16\"") + ", \"units\": \"V\", \"volts\": " +
         base::JsonQuoted(volts ? "value" : "(value + 32768 - zero_code) * volts_per_code") +
         ", \"zero_code\": " + std::to_string(d.zeroCode) +
         ", \"volts_per_code\": " + ExactNumber(d.voltsPerCode) +
         ", \"sample_rate_hz\": " + ExactNumber(1e6 / static_cast<double>(view.sampleMicros())) +
         ", \"start_utc_us\": " + std::to_string(firstMicros) +
         ", \"start_utc\": " + base::JsonQuoted(UtcText(firstMicros)) + ", \"channels\": [" +
         channels + "], \"gaps\": [" + gapList + "]}\n";
}

}  // namespace

base::Result<ExportOutcome> ExportNpy(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, bool volts,
                                      const ExportControl& control) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  ExportOutcome outcome;
  outcome.rowsInSpan = outcome.rows = CountFrames(view, span);
  ExportFiles files;
  if (auto started =
          files.Start(path, NpyHeader(volts ? "<f4" : "<i2", outcome.rows, span.channels.size()));
      !started) {
    return started.failure();
  }
  std::string chunk;
  base::Result<> written;
  const auto flush = [&] {
    if (written) written = files.Append(chunk);
    chunk.clear();
    return written.ok();
  };
  const size_t channels = span.channels.size();
  int64_t firstMicros = 0;
  const bool whole =
      StreamFrames(view, span, control, outcome.rows, outcome.gaps, firstMicros,
                   [&](const uint16_t* codes, uint64_t count) {
                     if (!codes) {
                       for (uint64_t i = 0; i < count * channels; ++i) {
                         if (volts)
                           Put<float>(chunk, std::nanf(""));
                         else
                           Put<int16_t>(chunk, 0);
                       }
                     } else {
                       for (uint64_t f = 0; f < count; ++f, codes += kChannels) {
                         for (int c : span.channels) {
                           if (volts)
                             Put<float>(chunk, view.Volts(codes[c]));
                           else
                             Put<int16_t>(chunk, static_cast<int16_t>(codes[c] - 32768));
                         }
                       }
                     }
                     return chunk.size() < kChunkBytes || flush();
                   });
  if (written && !chunk.empty()) written = files.Append(chunk);
  if (!written) return written.failure();
  if (!whole) {
    outcome.cancelled = true;
    return outcome;
  }
  const std::string sidecar = NpyFacts(view, span, volts, firstMicros, outcome.gaps);
  if (auto started = files.Start(path + ".json", sidecar); !started) return started.failure();
  return Committed(files, std::move(outcome), view, span);
}

}  // namespace recording
