// A span of a recording for other tools, any of its 64 channels: CSV for spreadsheets
// (UTF-8 with its mark, a time column in UTC, the channels in volts as the live view has
// them; continued in numbered files where a spreadsheet's rows end, an empty line where
// samples are missing), WAV for audio and analysis tools (16-bit PCM, a channel each, the
// time of a gap kept as 0 V; RF64 past 4 GiB), npy for numpy (int16 codes with a JSON
// sidecar for their volts, or float32 volts) and HDF5 (Hdf5Export.h). A damaged record's
// block is exported as a gap, and said. An export's files appear whole or not at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExportFrames.h"
#include "Failure.h"
#include "RecordingView.h"

namespace recording {

// A spreadsheet's rows (Excel, LibreOffice), the heading among them.
inline constexpr uint64_t kSpreadsheetRows = 1'048'576;

struct ExportOutcome {
  uint64_t rows = 0;        // sample rows (CSV) or frames written
  uint64_t rowsInSpan = 0;  // all the span holds
  int sampleRateHz = 0;     // WAV: the rate its header gives
  bool rf64 = false;
  bool cancelled = false;            // stopped on request: nothing written
  std::vector<std::string> files;    // written, in order (CSV: FILE, FILE-2.csv, …)
  std::vector<ExportGap> gaps;       // even-clock formats: the frames without samples
  std::vector<DamagedSpan> damaged;  // left out of the span: kept as a gap
};

// An export's last step, for every format: its files named, all of them or none, and the
// damaged spans it left out said.
base::Result<ExportOutcome> Committed(ExportFiles& files, ExportOutcome outcome,
                                      const RecordingView& view, const ExportSpan& span);

enum class ExportFormat { Hdf5, Csv, Wav, Npy };
// "hdf5", "csv", "wav", "npy" (also "h5"); empty for anything else.
std::optional<ExportFormat> ExportFormatNamed(std::string_view name);
const char* ExportFormatName(ExportFormat format);

struct ExportRequest {
  ExportFormat format = ExportFormat::Csv;
  ExportSpan span;
  std::string path;
  bool volts = false;  // HDF5 and npy: float32 volts instead of the 16-bit codes
};

// The export `request` asks for, through the function of its format below.
base::Result<ExportOutcome> Export(RecordingView& view, const ExportRequest& request,
                                   const ExportControl& control = {});

// `mostRows`: the rows a spreadsheet takes, its heading among them; past them the rows go on
// in "NAME-2.csv", "NAME-3.csv", … (NAME the path without ".csv"), each with the heading.
base::Result<ExportOutcome> ExportCsv(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t mostRows = kSpreadsheetRows,
                                      const ExportControl& control = {});
// The name of the `n`th file (1: `path` itself) of a CSV export.
std::string CsvPartPath(const std::string& path, uint64_t n);
// `rf64Above`: the file size past which RF64 is written (a test sets it low).
base::Result<ExportOutcome> ExportWav(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t rf64Above = 0xFFFFFFFFull,
                                      const ExportControl& control = {});
// An array of shape (frames, channels), C order: int16 (code - 32768) or float32 volts (NaN
// in a gap), with "PATH.json" beside it (the scale, the rate, the start, the channels, the
// gaps).
base::Result<ExportOutcome> ExportNpy(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, bool volts,
                                      const ExportControl& control = {});

// Removes the temporary files of exports in `folder` that a program killed while exporting
// left behind (no running program holds them): half an export is of no use. Each export
// does it in its own folder first. Gives the files removed.
std::vector<std::string> RemoveLeftoverExports(const std::string& folder);

}  // namespace recording
