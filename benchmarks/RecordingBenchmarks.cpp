// Recording, beside its baselines in the same run: the processor while the window acquires
// and records against acquiring alone; the writer against a plain sequential write of the
// same bytes; an 8-hour recording (made at full size first) opened to its first painted
// frame, and a zoom or pan step, against the waveform window drawing one block; memory over
// an hour of card time recorded at ten times the card's pace.
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstring>
#include <fstream>
#include <thread>

#include "BenchSupport.h"
#include "CardRecording.h"
#include "DllDef.h"
#include "FolderFiles.h"
#include "FrmMultiBuf.h"
#include "RecordDisk.h"
#include "RecordPanel.h"
#include "Recorder.h"
#include "RecordingPlot.h"
#include "RecordingViewer.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "WaveformWindow.h"

namespace {

constexpr double kBlockSeconds = 0.384;

void Exposed(QWidget& window) {
  window.show();
  for (int i = 0; i < 1000 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

// Block `n` as a card's: a level per channel with a little that moves from block to block.
std::vector<int16_t> SyntheticBlock(uint64_t n) {
  std::vector<int16_t> cells(recording::kCodesPerRecord);
  for (size_t i = 0; i < cells.size(); ++i) {
    cells[i] = static_cast<int16_t>((i % 64) * 900 + ((i / 64 + n * 7) % 300) * 3);
  }
  return cells;
}

recording::Description Facts() {
  recording::Description d;
  d.card = "bench";
  d.aggregateRateHz = 50000;
  d.blockSeconds = kBlockSeconds;
  d.voltsPerCode = 10.0 / 65535;
  return d;
}

// The window acquiring at the card's pace for 15 s, the waveform window open, with and
// without a recording of every block: the processor's share of the wall time each way.
double CpuPercent(bool record) {
  SimCard_Reset();
  SimCard_SetManualClock(1);
  QTemporaryDir dir;
  FrmMultiBuf window(ADCARD_PATH, dir.path().toStdString());
  Exposed(window);
  window.OpenWaveform(0);
  if (record) {
    window.waveform()->findChild<QLineEdit*>("txtRecordFolder")->setText(dir.filePath("rec"));
    window.waveform()->findChild<QPushButton*>("cmdRecord")->click();
  }
  window.cmdStart_Click();
  const std::vector<int16_t> block = SyntheticBlock(0);
  const auto started = bench::Clock::now();
  long delivered = 0;
  auto script = [&] {
    const long due =
        static_cast<long>(bench::Seconds(started, bench::Clock::now()) / kBlockSeconds) - delivered;
    SimCard_ScriptQuery(static_cast<int16_t>(due));
    for (long i = 0; i < due; ++i, ++delivered) SimCard_ScriptFetch(1, block.data());
  };
  script();
  QObject::connect(window.findChild<QTimer*>("TimerAD"), &QTimer::timeout, &window, script);
  const double cpuBefore = bench::ProcessCpuSeconds();
  QEventLoop loop;
  QTimer::singleShot(15000, &loop, &QEventLoop::quit);
  loop.exec();
  const double cpu = bench::ProcessCpuSeconds() - cpuBefore;
  const double wall = bench::Seconds(started, bench::Clock::now());
  window.cmdStop_Click();
  if (record) {
    window.waveform()->findChild<QPushButton*>("cmdRecord")->click();
    window.waveform()->recordPanel()->WaitForEnd();
  }
  return cpu / wall * 100;
}

void RecordingCpu(benchmark::State& state) {
  for (auto _ : state) {
    const double alone = CpuPercent(false);
    const double recording = CpuPercent(true);
    state.SetIterationTime(recording);
    state.counters["cpu_percent"] = recording;
    state.counters["baseline_percent"] = alone;
    state.counters["points_more"] = recording - alone;
  }
  state.SetLabel(qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(RecordingCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 5,000 blocks (190 MB) through the recorder as fast as it takes them, then closed (every
// byte on the disk), against writing the same bytes to two files and syncing them.
void RecorderThroughput(benchmark::State& state) {
  constexpr int kBlocks = 5000;
  const std::vector<int16_t> block = SyntheticBlock(0);
  const acquisition::BlockView view{
      .cells = block.data(), .channels = 64, .points = 300, .aggregateRate = 50000};
  QTemporaryDir dir;
  int round = 0;
  std::vector<uint8_t> bytes(recording::kRecordBytes);
  bench::Interleaved(
      state,
      [&] {
        recording::RecorderSettings settings;
        settings.folder = dir.filePath(QString("rec-%1").arg(++round)).toStdString();
        settings.description = Facts();
        auto recorder = recording::Recorder::Start(settings);
        // As fast as the writer takes them, its queue never full.
        for (uint64_t n = 0; n < kBlocks; ++n) {
          while (n - recorder.value()->Status().blocksRecorded >= settings.queueBlocks / 2) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
          recorder.value()->Add(view, 0);
        }
        recorder.value()->Close();
      },
      [&] {
        const std::string base = dir.filePath(QString("plain-%1").arg(round)).toStdString();
        auto data = recording::disk::CreateNew(base + ".kzr");
        auto rows = recording::disk::CreateNew(base + ".minmax");
        for (int n = 0; n <= kBlocks; ++n) {
          std::memcpy(bytes.data() + recording::kHeaderBytes, block.data(),
                      recording::kPayloadBytes);
          (void)recording::disk::WriteAll(data.value(), bytes.data(), bytes.size());
          if (n > 0)
            (void)recording::disk::WriteAll(rows.value(), bytes.data(),
                                            recording::kSummaryRowBytes);
        }
        (void)recording::disk::SyncData(data.value());
        (void)recording::disk::SyncData(rows.value());
        recording::disk::Close(data.value());
        recording::disk::Close(rows.value());
      });
  state.counters["MB_per_s"] = benchmark::Counter(kBlocks * recording::kRecordBytes / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(RecorderThroughput)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// An 8-hour recording at full size (75,000 blocks, 2.9 GB), made once for the run.
const std::string& EightHours() {
  static const std::string folder = [] {
    const std::string path =
        std::string(qgetenv("TMPDIR").isEmpty() ? "/tmp" : qgetenv("TMPDIR").constData()) +
        "/kzb7310-eight-hours";
    if (recording::HoldsRecording(path)) return path;
    recording::RecorderSettings settings;
    settings.folder = path;
    settings.description = Facts();
    settings.queueBlocks = 4096;
    int64_t utc = 1'765'000'000'000'000;
    settings.utcMicrosNow = [&utc] { return utc; };
    auto recorder = recording::Recorder::Start(settings);
    for (uint64_t n = 0; n < 75'000; ++n) {
      const std::vector<int16_t> cells = SyntheticBlock(n);
      utc += 384'000;
      while (!recorder.value()->Add(
          {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000},
          n % 10000 == 9999 ? 2 : 0)) {
        std::fprintf(stderr, "bench: the recorder ended: %s\n",
                     recording::EndReasonName(recorder.value()->Status().ended));
        std::abort();
      }
      if (n % 2048 == 0) {  // the queue never fills: the writer catches up now and then
        while (recorder.value()->Status().blocksRecorded + 2048 < n)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    recorder.value()->Close();
    return path;
  }();
  return folder;
}

// Opening it to the first painted frame, against the waveform window drawing one block.
void OpenEightHourRecording(benchmark::State& state) {
  const std::string& folder = EightHours();
  const std::vector<int16_t> block = SyntheticBlock(0);
  bench::Interleaved(
      state,
      [&] {
        RecordingViewer viewer(QString::fromStdString(folder));
        Exposed(viewer);
        viewer.repaint();
      },
      [&] {
        WaveformWindow window{QString()};
        window.AddChannel(0);
        window.AddChannel(1);
        window.AddChannel(2);
        window.AddChannel(3);
        Exposed(window);
        window.ShowBlock(
            {.cells = block.data(), .channels = 64, .points = 300, .aggregateRate = 50000},
            acquisition::kVoltageScale, 1);
        window.repaint();
      });
  state.SetLabel(qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(OpenEightHourRecording)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// A zoom step (in, then out) and a pan step on it, painted, against one block drawn.
void ZoomAndPanStep(benchmark::State& state) {
  RecordingViewer viewer(QString::fromStdString(EightHours()));
  Exposed(viewer);
  WaveformWindow window{QString()};
  for (int c = 0; c < 4; ++c) window.AddChannel(c);
  Exposed(window);
  const std::vector<int16_t> block = SyntheticBlock(0);
  RecordingPlot* plot = viewer.plot();
  plot->Zoom(0.05);  // about 24 minutes on view
  int step = 0;
  bench::Interleaved(
      state,
      [&] {
        switch (step++ % 3) {
          case 0:
            plot->Zoom(0.8);
            break;
          case 1:
            plot->Zoom(1.25);
            break;
          default:
            plot->Pan(step % 2 ? 0.25 : -0.25);
        }
        plot->repaint();
      },
      [&] {
        window.ShowBlock(
            {.cells = block.data(), .channels = 64, .points = 300, .aggregateRate = 50000},
            acquisition::kVoltageScale, step);
        window.repaint();
      });
  state.SetLabel(qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(ZoomAndPanStep)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);

// An hour of card time recorded from the simulated card at ten times its pace (6 minutes):
// resident memory after the first minute and at the end.
void RecordingMemoryOverAnHour(benchmark::State& state) {
  const int cardMinutes = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QTemporaryDir dir;
    { std::ofstream(dir.filePath("fixture").toStdString()) << "pace 10\n"; }
    qputenv("KZB_SIMCARD_FIXTURE", dir.filePath("fixture").toUtf8());
    SimCard_Reset();
    DllDef dll(ADCARD_PATH);
    (void)acquisition::StartAcquisition(dll);
    recording::RecorderSettings settings;
    settings.folder = dir.filePath("rec").toStdString();
    settings.description = recording::CardDescription(dll, "simulated", "bench");
    settings.limitSeconds = cardMinutes * 60.0;
    auto recorder = recording::Recorder::Start(settings);
    std::atomic<bool> stop{false};
    long afterAMinute = 0, most = 0;
    const auto started = bench::Clock::now();
    (void)recording::RecordCard(
        dll, *recorder.value(), stop,
        {.steadySeconds =
             [] {
               return std::chrono::duration<double>(bench::Clock::now().time_since_epoch()).count();
             },
         .sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
         .everySecond =
             [&](const recording::RecorderStatus&) {
               const long now = bench::MemoryKb("VmRSS");
               if (afterAMinute == 0 && bench::Seconds(started, bench::Clock::now()) > 60)
                 afterAMinute = now;
               most = std::max(most, now);
             }});
    const recording::RecorderStatus status = recorder.value()->Close();
    (void)acquisition::StopAcquisition(dll);
    qunsetenv("KZB_SIMCARD_FIXTURE");
    SimCard_Reset();
    state.SetIterationTime(bench::Seconds(started, bench::Clock::now()));
    state.counters["rss_after_1min_kB"] = static_cast<double>(afterAMinute);
    state.counters["rss_most_kB"] = static_cast<double>(most);
    state.counters["blocks"] = static_cast<double>(status.blocksRecorded);
    state.counters["lost"] = static_cast<double>(status.blocksLost);
  }
}
BENCHMARK(RecordingMemoryOverAnHour)
    ->Arg(60)
    ->ArgName("card_minutes")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
