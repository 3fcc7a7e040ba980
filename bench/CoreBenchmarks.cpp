// The tick's data path and the data file writer, without Qt.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>

#include "BenchSupport.h"
#include "BlockCapture.h"
#include "BlockPolling.h"
#include "DataFile.h"
#include "DllDef.h"

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
    for (int i = 1; i <= kBlockCells; ++i) dll.BlockData[i] = static_cast<int16_t>(cell(random));
    values.Scale = {65535, 32768, 10.0f};
    capture.SaveFileCount = 20;
    capture.BlocksPerFile = 10;
  }
  DllDef dll;
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
  // What the path must move at the least: the block into the next ring slot, and into the
  // next SaveBuf slot as 32-bit cells when saving.
  const size_t ringBytes = kBlockCells * 2, saveBytes = kBlockCells * 4;
  std::vector<char> ring(ringBytes * 20), save(saveBytes * kSlotsInUse), from(saveBytes, 1);
  int slot = 0, blocks = 0;
  long pathAllocations = 0;
  auto path = [&] {
    a.capture.SaveBlockIndex = static_cast<int16_t>(blocks++ % kSlotsInUse);
    const long before = allocations.load();
    acquisition::AcceptBlock(a.dll, a.capture, saving ? 1 : 0);
    benchmark::DoNotOptimize(acquisition::DeriveChannelValues(a.dll, a.values));
    pathAllocations += allocations.load() - before;
  };
  auto baseline = [&] {
    std::memcpy(ring.data() + (slot % 20) * ringBytes, from.data(), ringBytes);
    if (saving) std::memcpy(save.data() + (slot % kSlotsInUse) * saveBytes, from.data(), saveBytes);
    ++slot;
    benchmark::ClobberMemory();
  };
  path();
  pathAllocations = 0;
  bench::Interleaved(state, path, baseline);
  state.counters["allocations"] = static_cast<double>(pathAllocations);
  state.SetLabel(saving ? "saving on" : "saving off");
}
BENCHMARK(TickDataPath)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

void DataFileWrite(benchmark::State& state) {
  Acquiring a;
  for (int b = 0; b < 10; ++b) {
    a.capture.SaveBlockIndex = static_cast<int16_t>(b);
    a.capture.Capture(a.dll.BlockData.data() + 1, kChannels, kPoints);
  }
  std::vector<float> saveBuf = a.capture.SaveBuf();
  std::string bytes, preformatted;
  acquisition::FormatDataFile(preformatted, saveBuf.data(), 32000, 10, kChannels, kPoints);
  const std::string path = (kDir / "KZB7315 0.txt").string();
  const std::string other = (kDir / "preformatted.txt").string();
  bench::Interleaved(
      state,
      [&] {
        acquisition::FormatDataFile(bytes, saveBuf.data(), 32000, 10, kChannels, kPoints);
        (void)acquisition::WriteWholeFile(path, bytes);
      },
      [&] { (void)acquisition::WriteWholeFile(other, preformatted); });
  state.SetLabel("10 blocks, 3011 lines, " + std::to_string(preformatted.size() / 1024) + " KiB");
}
BENCHMARK(DataFileWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
