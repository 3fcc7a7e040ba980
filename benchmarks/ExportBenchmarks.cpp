// Exports for analysis tools: an hour of all 64 channels (9,375 blocks, 180 M samples, 360
// MB of codes) written as HDF5 from a recording made once for the run, against writing the
// same bytes to a plain file and syncing it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "FolderFiles.h"
#include "Hdf5Export.h"
#include "RecordDisk.h"
#include "Recorder.h"
#include "RecordingExport.h"
#include "RecordingView.h"

namespace {

constexpr uint64_t kHourBlocks = 9375;  // 3,600 s of 0.384 s blocks

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp");
}

// Every code of block n differs from its neighbours, so nothing is the same from block to block.
std::vector<int16_t> Cells(uint64_t n) {
  std::vector<int16_t> cells(recording::kCodesPerRecord);
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int16_t>(i * 7 + n * 13);
  return cells;
}

const std::string& AnHour() {
  static const std::string folder = [] {
    const std::string path = TempFolder() + "/kzb7310-export-hour";
    if (recording::HoldsRecording(path)) return path;
    recording::RecorderSettings settings;
    settings.folder = path;
    settings.description.channels = 64;
    settings.description.points = 300;
    settings.description.aggregateRateHz = 50000;
    settings.description.blockSeconds = 0.384;
    settings.description.voltsPerCode = 10.0 / 65535;
    settings.queueBlocks = 4096;
    int64_t utc = 1'765'000'000'000'000;
    settings.utcMicrosNow = [&utc] { return utc; };
    auto recorder = recording::Recorder::Start(settings);
    for (uint64_t n = 0; n < kHourBlocks; ++n) {
      const std::vector<int16_t> cells = Cells(n);
      utc += 384'000;
      while (!recorder.value()->Add(
          {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000}, 0)) {
        std::fprintf(stderr, "bench: the recorder ended\n");
        std::abort();
      }
      while (recorder.value()->Status().blocksRecorded + 2048 < n) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    recorder.value()->Close();
    return path;
  }();
  return folder;
}

void Hdf5ExportOfAnHour(benchmark::State& state) {
  if (!recording::Hdf5Available()) {
    state.SkipWithError("this build has no HDF5");
    return;
  }
  const std::string& folder = AnHour();
  auto view = recording::RecordingView::Open(folder);
  std::vector<int> all;
  for (int c = 0; c < 64; ++c) all.push_back(c);
  const std::string out = TempFolder() + "/kzb7310-export-hour.h5";
  const std::string plain = TempFolder() + "/kzb7310-export-hour.bin";
  const std::vector<uint8_t> chunk(1 << 20, 0x5A);
  const uint64_t bytes = kHourBlocks * recording::kPayloadBytes;
  bench::Interleaved(
      state,
      [&] {
        auto done = recording::ExportHdf5(
            view.value(), {view.value().startMicros(), view.value().endMicros(), all}, out, false);
        if (!done || done.value().rows != kHourBlocks * 300) std::abort();
      },
      [&] {
        auto file = recording::disk::CreateNew(plain);
        for (uint64_t left = bytes; left > 0;) {
          const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
          (void)recording::disk::WriteAll(file.value(), chunk.data(), n);
          left -= n;
        }
        (void)recording::disk::SyncData(file.value());
        recording::disk::Close(file.value());
        std::remove(plain.c_str());
      });
  std::remove(out.c_str());
  state.counters["MB_per_s"] =
      benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(Hdf5ExportOfAnHour)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
