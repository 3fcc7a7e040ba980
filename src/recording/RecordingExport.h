// A span of a recording for other tools: CSV for spreadsheets (UTF-8 with its mark, a time
// column in UTC, the chosen channels in volts as the live view has them; at most as many
// rows as a spreadsheet takes, and a clear word where the span holds more) and WAV for audio
// and analysis tools (16-bit PCM, a channel each, the time of a gap kept as 0 V; RF64 past
// 4 GiB). A damaged record's block is left out like a lost one, and said. Each file appears
// whole or not at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Failure.h"
#include "RecordingView.h"

namespace recording {

// A spreadsheet's rows (Excel, LibreOffice), the heading among them.
inline constexpr uint64_t kSpreadsheetRows = 1'048'576;

struct ExportSpan {
  int64_t fromMicros = 0, toMicros = 0;
  std::vector<int> channels;  // 0-based
};

struct ExportOutcome {
  uint64_t rows = 0;        // sample rows (CSV) or frames (WAV) written
  uint64_t rowsInSpan = 0;  // all the span holds
  int sampleRateHz = 0;     // WAV: the rate its header gives
  bool rf64 = false;
  std::vector<DamagedSpan> damaged;  // left out of the span: kept as a gap (WAV: 0 V)
};

// `mostRows`: the rows a spreadsheet takes, its heading among them.
base::Result<ExportOutcome> ExportCsv(RecordingView& view, const ExportSpan& span,
                                      const std::string& path,
                                      uint64_t mostRows = kSpreadsheetRows);
// `rf64Above`: the file size past which RF64 is written (a test sets it low).
base::Result<ExportOutcome> ExportWav(RecordingView& view, const ExportSpan& span,
                                      const std::string& path, uint64_t rf64Above = 0xFFFFFFFFull);

// Removes the temporary files of exports in `folder` that a program killed while exporting
// left behind (no running program holds them): half a CSV or WAV is of no use. Each export
// does it in its own folder first. Gives the files removed.
std::vector<std::string> RemoveLeftoverExports(const std::string& folder);

}  // namespace recording
