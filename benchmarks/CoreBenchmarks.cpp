// The tick's data path and the data file writer, without Qt.
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <random>
#include <string>

#include <kiss_fftr.h>

#include "AdcFigures.h"
#include "BenchSupport.h"
#include "BlockCapture.h"
#include "BlockPolling.h"
#include "DataFile.h"
#include "DllDef.h"
#include "SignalGenerator.h"
#include "Trigger.h"
#include "WholeFile.h"

// Every allocation in this program is counted, to show the data path makes none. The
// replacements pair malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long> allocations{0};
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

constexpr int kChannels = 64, kPoints = 300, kBlockCells = kChannels * kPoints;

const std::filesystem::path kDir = std::filesystem::temp_directory_path() / "kzb-bench";

// The acquisition state as a start leaves it, with a block of noisy codes in BlockData.
struct Acquiring {
  Acquiring() : dll("no card needed"), capture(kDir.string()) {
    std::filesystem::create_directories(kDir);
    dll.ChannelCount = kChannels;
    dll.PointsPerChannel = kPoints;
    dll.RingBlockCount = 20;
    dll.BlockData.assign(kBlockCells + 2, 0);
    dll.RingData.assign(kBlockCells * 20 + 1, 0);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> cell(-32768, 32767);
    for (int16_t& c : dll.BlockData) c = static_cast<int16_t>(cell(random));
    block = acquisition::LatestBlock(dll);
    values.Scale = acquisition::kVoltageScale;
    capture.BeginRun(20, 10);
  }
  DllDef dll;
  acquisition::BlockView block;
  acquisition::ChannelValues values;
  acquisition::BlockCapture capture;
};

void TickDataPath(benchmark::State& state) {
  const bool saving = state.range(0) != 0;
  Acquiring a;
  // Slots cycle as in use, short of the slot count so that no file is written: file
  // writing is measured on its own below.
  constexpr int kSlotsInUse = 19;
  a.capture.BlocksPerFile = acquisition::BlockCapture::kSlots;
  // The honest floor: one fused pass that copies the block into the next ring slot, keeps
  // the four printed channels when saving, and adds the same float sums in the same order,
  // with none of the program's bookkeeping.
  std::vector<int16_t> ring(static_cast<size_t>(kBlockCells) * 20);
  std::vector<uint16_t> kept(static_cast<size_t>(kPoints) * 4 * kSlotsInUse);
  std::array<float, kChannels> sums{};
  int slot = 0, blocks = 0;
  long pathAllocations = 0;
  auto path = [&] {
    a.capture.SaveBlockIndex = static_cast<int16_t>(blocks++ % kSlotsInUse);
    const long before = allocations.load();
    acquisition::AcceptBlock(a.dll, a.capture, saving, a.block);
    benchmark::DoNotOptimize(acquisition::DeriveChannelValues(a.block, a.values));
    pathAllocations += allocations.load() - before;
  };
  auto baseline = [&] {
    const int16_t* block = a.block.cells;
    int16_t* to = ring.data() + static_cast<size_t>(slot % 20) * kBlockCells;
    uint16_t* keep = kept.data() + static_cast<size_t>(slot % kSlotsInUse) * kPoints * 4;
    sums.fill(0.0f);
    for (int pt = 0; pt < kPoints; ++pt) {
      const int16_t* row = block + pt * kChannels;
      std::memcpy(to + pt * kChannels, row, kChannels * sizeof(int16_t));
      if (saving) {
        for (int ch = 0; ch < 4; ++ch) keep[pt * 4 + ch] = static_cast<uint16_t>(row[ch]);
      }
      for (int ch = 0; ch < kChannels; ++ch) sums[ch] += static_cast<uint16_t>(row[ch]);
    }
    ++slot;
    benchmark::DoNotOptimize(sums.data());
    benchmark::ClobberMemory();
  };
  path();
  pathAllocations = 0;
  bench::Interleaved(state, path, baseline);
  state.counters["allocations"] = static_cast<double>(pathAllocations);
  state.SetLabel(saving ? "saving on" : "saving off");
}
BENCHMARK(TickDataPath)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What armed triggers add to the feed's path for each block: the path (ring, channel values)
// with 1 or 64 triggers armed and waiting (a rising edge on their channel that never comes),
// each only firing or also capturing (its own ring of 10 s before the trigger), against the
// same path without them.
void TriggerPerBlock(benchmark::State& state) {
  const int triggers = static_cast<int>(state.range(0));
  const bool captures = state.range(1) != 0;
  Acquiring a;
  a.block.aggregateRate = 50000;  // as the start sets it: a trigger times its samples by it
  // The triggers' channels held at 0 V, so none fires and each scans a steady channel.
  int16_t* cells = a.dll.BlockData.data() + 1;
  for (int pt = 0; pt < kPoints; ++pt) {
    for (int ch = 0; ch < triggers; ++ch) cells[pt * kChannels + ch] = 0;
  }
  std::vector<std::unique_ptr<acquisition::Trigger>> armed;
  for (int ch = 0; ch < triggers; ++ch) {
    acquisition::TriggerSetup setup{
        .channel = ch, .kind = acquisition::TriggerKind::Rising, .levelVolts = 4.5};
    acquisition::TriggerHandlers handlers;
    if (captures) handlers.captured = [](acquisition::TriggerCapture&&) {};
    armed.push_back(std::make_unique<acquisition::Trigger>(
        setup, acquisition::Trigger::Mode::Repeat, std::move(handlers)));
  }
  auto feed = [&] {
    acquisition::AcceptBlock(a.dll, a.capture, false, a.block);
    benchmark::DoNotOptimize(acquisition::DeriveChannelValues(a.block, a.values));
  };
  long triggerAllocations = 0;
  auto withTriggers = [&] {
    feed();
    const long before = allocations.load();
    for (const auto& trigger : armed) trigger->Feed(a.block, 0);
    triggerAllocations += allocations.load() - before;
  };
  withTriggers();  // the rings sized
  triggerAllocations = 0;
  bench::Interleaved(state, withTriggers, feed);
  for (const auto& trigger : armed) {
    if (trigger->firedCount() != 0) state.SkipWithError("a trigger fired");
  }
  state.counters["allocations"] = static_cast<double>(triggerAllocations);
  state.SetLabel(std::to_string(triggers) + (triggers == 1 ? " trigger" : " triggers") +
                 (captures ? ", capturing" : ", firing only"));
}
BENCHMARK(TriggerPerBlock)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({64, 0})
    ->Args({64, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// An hour of card time with 1,000 pulses (2 V, 10 ms edges, 50 ms wide) at random times on
// random channels, and a trigger armed on each of the 64 channels (0.25 V above its level,
// firing on every crossing): the pulses missed and the triggers that fire on none, the worst
// time off the pulse's crossing, and what the 64 triggers cost a block against the feed's
// path alone, block by block in the same run.
void TriggerHourOfPulses(benchmark::State& state) {
  constexpr double kEdge = 0.01, kVolts = 2, kAbove = 0.25, kHour = 3600;
  const std::vector<simcard::Pulse> pulses =
      simcard::RandomPulses(1000, 7310, 1, kHour - 1, kVolts, 0.05, kEdge);
  std::vector<simcard::Tone> quiet;  // channels 0 to 3 held at 0 V: no waveforms to fire on
  for (int ch = 0; ch < 4; ++ch) quiet.push_back({.channel = ch, .hz = 1});
  Acquiring a;
  for (auto _ : state) {
    std::vector<acquisition::FiredTrigger> fired;
    std::vector<std::unique_ptr<acquisition::Trigger>> triggers;
    for (int ch = 0; ch < kChannels; ++ch) {
      const double level = ch < 4 ? 0 : simcard::StaircaseVolts(ch, kChannels);
      acquisition::TriggerHandlers handlers;
      handlers.fired = [&](const acquisition::FiredTrigger& f) { fired.push_back(f); };
      triggers.push_back(std::make_unique<acquisition::Trigger>(
          acquisition::TriggerSetup{.channel = ch, .levelVolts = level + kAbove},
          acquisition::Trigger::Mode::Every, std::move(handlers)));
    }
    double triggerSeconds = 0, pathSeconds = 0;
    int16_t* cells = a.dll.BlockData.data() + 1;
    a.block.aggregateRate = 50000;
    int64_t b = 0;
    for (; static_cast<double>(b) * kBlockCells / 50000 < kHour; ++b) {
      simcard::FillBlock(cells, kChannels, kPoints, b, 50000, quiet, pulses);
      const auto t0 = bench::Clock::now();
      for (const auto& trigger : triggers) trigger->Feed(a.block, 0);
      const auto t1 = bench::Clock::now();
      acquisition::AcceptBlock(a.dll, a.capture, false, a.block);
      benchmark::DoNotOptimize(acquisition::DeriveChannelValues(a.block, a.values));
      const auto t2 = bench::Clock::now();
      triggerSeconds += bench::Seconds(t0, t1);
      pathSeconds += bench::Seconds(t1, t2);
    }
    state.SetIterationTime(triggerSeconds);
    // Each pulse's crossing is its own trigger's within one sample period (1.28 ms).
    std::vector<bool> matched(fired.size(), false);
    double worst = 0;
    int missed = 0;
    for (const simcard::Pulse& p : pulses) {
      const double at = p.atSeconds - kEdge / 2 + kAbove / kVolts * kEdge;
      bool found = false;
      for (size_t i = 0; i < fired.size() && !found; ++i) {
        if (matched[i] || fired[i].channel != p.channel) continue;
        if (std::abs(fired[i].seconds - at) < 0.00128) {
          matched[i] = found = true;
          worst = std::max(worst, std::abs(fired[i].seconds - at));
        }
      }
      missed += found ? 0 : 1;
    }
    state.counters["missed"] = missed;
    state.counters["false"] =
        static_cast<double>(std::count(matched.begin(), matched.end(), false));
    state.counters["worst_error_us"] = worst * 1e6;
    state.counters["baseline_us"] = pathSeconds / static_cast<double>(b) * 1e6;
    state.counters["trigger_us"] = triggerSeconds / static_cast<double>(b) * 1e6;
    state.counters["ratio"] = triggerSeconds / pathSeconds;
  }
}
BENCHMARK(TriggerHourOfPulses)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The converter figures of 4 channels, from one block or the last 20 (a 300- or 6000-point
// record each), against the bare transform of the same records: the floor any figures
// cost.
void ConverterFigures(benchmark::State& state) {
  const size_t points = static_cast<size_t>(state.range(0)) * kPoints;
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 2);
  std::array<std::vector<float>, 4> records;
  for (size_t ch = 0; ch < records.size(); ++ch) {
    for (size_t n = 0; n < points; ++n) {
      records[ch].push_back(static_cast<float>(std::round(
          32768 + 20000 * std::sin(0.3217 * (ch + 1) * static_cast<double>(n)) + noise(random))));
    }
  }
  std::array<acquisition::AdcAnalyser, 4> analysers;
  std::array<acquisition::AdcFigures, 4> figures;
  kiss_fftr_cfg fft = kiss_fftr_alloc(static_cast<int>(points), 0, nullptr, nullptr);
  std::vector<kiss_fft_cpx> bins(points / 2 + 1);
  bench::Interleaved(
      state,
      [&] {
        for (size_t ch = 0; ch < records.size(); ++ch) {
          analysers[ch].Measure(records[ch], 781.25, figures[ch]);
        }
        benchmark::DoNotOptimize(figures.data());
      },
      [&] {
        for (const auto& record : records) kiss_fftr(fft, record.data(), bins.data());
        benchmark::DoNotOptimize(bins.data());
      });
  kiss_fftr_free(fft);
  state.SetLabel(std::to_string(state.range(0)) + " block(s) x 4 channels");
}
BENCHMARK(ConverterFigures)->Arg(1)->Arg(20)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Ten gathered blocks, as the capture keeps them.
std::vector<uint16_t> TenBlocksOfCodes() {
  Acquiring a;
  for (int b = 0; b < 10; ++b) {
    a.capture.SaveBlockIndex = static_cast<int16_t>(b);
    a.capture.Capture(a.block);
  }
  return a.capture.SaveBuf();
}

// Formatting and writing one 10-block file the durable way, against writing the same bytes
// the same way, on tmpfs (/dev/shm), where the file system's own flush costs nothing and the
// formatter shows.
void DataFileWrite(benchmark::State& state) {
  const std::vector<uint16_t> codes = TenBlocksOfCodes();
  std::string bytes, preformatted;
  acquisition::FormatDataFile(preformatted, codes.data(), 10, kChannels, kPoints);
  const std::filesystem::path dir = "/dev/shm/kzb-bench-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "KZB7315 0.txt").string();
  const std::string other = (dir / "preformatted.txt").string();
  bench::Interleaved(
      state,
      [&] {
        acquisition::FormatDataFile(bytes, codes.data(), 10, kChannels, kPoints);
        (void)base::WriteWholeFile(path, bytes);
      },
      [&] { (void)base::WriteWholeFile(other, preformatted); });
  std::filesystem::remove_all(dir);
  state.SetLabel("tmpfs; 10 blocks, 3011 lines, " + std::to_string(preformatted.size() / 1024) +
                 " KiB; baseline: the same bytes written the same way");
}
BENCHMARK(DataFileWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What the window's thread spends on a file in the data directory's file system (TMPDIR):
// formatting and writing the temporary file. Flushing it to disk and moving it into place
// happen on the finisher's thread, outside this time.
void DataFileWindowThreadStall(benchmark::State& state) {
  const std::vector<uint16_t> codes = TenBlocksOfCodes();
  std::string bytes;
  const std::string path = (kDir / "KZB7315 0.txt").string();
  std::vector<double> stalls;
  for (auto _ : state) {
    auto t0 = bench::Clock::now();
    acquisition::FormatDataFile(bytes, codes.data(), 10, kChannels, kPoints);
    auto pending = base::WriteTemporaryFile(path, bytes);
    auto t1 = bench::Clock::now();
    if (pending) (void)base::CommitFile(pending.value());
    state.SetIterationTime(bench::Seconds(t0, t1));
    stalls.push_back(bench::Seconds(t0, t1) * 1e3);
  }
  state.counters["median_ms"] = bench::Percentile(stalls, 0.5);
  state.counters["max_ms"] = bench::Percentile(stalls, 1.0);
  state.SetLabel("window's thread, " + kDir.parent_path().string() + "; goal: max under 1 ms");
}
BENCHMARK(DataFileWindowThreadStall)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
