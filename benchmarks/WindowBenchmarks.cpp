// The real window: a whole tick, start-up, and throughput with saving on.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <random>

#include "BenchSupport.h"
#include "BlockPolling.h"
#include "ChannelSummary.h"
#include "FrmMultiBuf.h"
#include "SimCardControl.h"
#include "WaveformWindow.h"

extern char** environ;

namespace {

constexpr int kBlockCells = 64 * 300;

struct WindowOnSimCard {
  WindowOnSimCard() : window(ADCARD_PATH, dir.path().toStdString()) {}
  static bool Reset() {
    SimCard_Reset();
    SimCard_SetManualClock(1);
    return true;
  }
  bool reset = Reset();
  QTemporaryDir dir;
  FrmMultiBuf window;
};

// Shows a window and waits until the platform has exposed it, so that it really paints.
void ShowExposed(QWidget& window) {
  window.show();
  for (int i = 0; i < 1000 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

// Paints what the last events left dirty and hands the frame to the platform, as the
// event loop does when the window asks for an update.
void PaintNow(QWidget& window) {
  QCoreApplication::sendPostedEvents();
  QEvent update(QEvent::UpdateRequest);
  QCoreApplication::sendEvent(&window, &update);
}

// What the card delivers, block after block.
enum class Input {
  SimulatedCard,  // the simulated card's own signals: levels whose averages barely move
  Noise,          // each channel's level with gaussian noise of 6 codes on every sample
  EveryChannel,   // every channel's average changes at every block
};
constexpr int kRecordedBlocks = 64;

// The blocks the simulated card makes, as its own fetch writes them.
std::vector<std::vector<int16_t>> SimulatedCardBlocks() {
  WindowOnSimCard w;
  w.window.findChild<QCheckBox*>("chkDisp")->setChecked(false);  // only the blocks count here
  w.window.cmdStart_Click();
  std::vector<std::vector<int16_t>> blocks;
  for (int b = 0; b < kRecordedBlocks; ++b) {
    SimCard_AdvanceMs(384);
    w.window.TimerAD_Timer();
    const acquisition::BlockView view = acquisition::LatestBlock(w.window.dll());
    blocks.emplace_back(view.cells, view.cells + view.cellCount());
  }
  w.window.cmdStop_Click();
  return blocks;
}

std::vector<std::vector<int16_t>> BlocksOf(Input input) {
  std::vector<std::vector<int16_t>> blocks = SimulatedCardBlocks();
  if (input == Input::SimulatedCard) return blocks;
  const std::vector<int16_t> levels = blocks.front();
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 6.0);
  for (int b = 0; b < kRecordedBlocks; ++b) {
    for (int cell = 0; cell < kBlockCells; ++cell) {
      const int channel = cell % 64;
      const int level = static_cast<uint16_t>(levels[channel]);
      const int code = input == Input::Noise ? level + static_cast<int>(std::lround(noise(random)))
                                             : level + (b * 37 + channel * 11) % 512;
      blocks[b][cell] = static_cast<int16_t>(std::clamp(code, 0, 65535));
    }
  }
  return blocks;
}

const char* NameOf(Input input) {
  switch (input) {
    case Input::SimulatedCard:
      return "simulated card";
    case Input::Noise:
      return "noise 6 codes";
    case Input::EveryChannel:
      return "every channel changes";
  }
  return "";
}

// state.range(1): the waveform window open on the four live channels, painted too (1), or
// its spectrum view of the last 20 blocks (2), whose figures the worker thread measures
// untimed: what the window's thread spends is timed;
// state.range(2): the input. The baseline, timed between the subject's ticks: the same
// summary shown and painted in a bare text field of the same size and font, the usual way
// of refreshing one (its whole text replaced).
void WindowTick(benchmark::State& state) {
  const int blocks = static_cast<int>(state.range(0));
  const bool waveform = state.range(1) != 0;
  const bool spectrum = state.range(1) == 2;
  const auto input = static_cast<Input>(state.range(2));
  const std::vector<std::vector<int16_t>> recorded = BlocksOf(input);
  WindowOnSimCard w;
  ShowExposed(w.window);
  PaintNow(w.window);
  w.window.cmdStart_Click();
  if (waveform) {
    for (int ch = 0; ch < 4; ++ch) w.window.OpenWaveform(ch);
    if (spectrum) {
      w.window.waveform()->findChild<QComboBox*>("cboRecord")->setCurrentIndex(1);
      w.window.waveform()->findChild<QCheckBox*>("chkSpectrum")->setChecked(true);
    }
    ShowExposed(*w.window.waveform());
    PaintNow(*w.window.waveform());
  }
  QPlainTextEdit bare;
  bare.setFont(w.window.font());
  bare.resize(w.window.findChild<QPlainTextEdit*>("txtInfo")->size());
  ShowExposed(bare);
  std::string summary;

  std::vector<double> ticks, tickOnly, baselines;
  size_t next = 0;
  for (auto _ : state) {
    SimCard_ScriptQuery(static_cast<int16_t>(blocks));
    for (int i = 0; i < blocks; ++i) {
      SimCard_ScriptFetch(1, recorded[next++ % recorded.size()].data());
    }
    auto t0 = bench::Clock::now();
    w.window.TimerAD_Timer();
    auto t1 = bench::Clock::now();
    if (spectrum) w.window.waveform()->WaitForSpectrum();
    auto t1b = bench::Clock::now();
    PaintNow(w.window);
    if (waveform) PaintNow(*w.window.waveform());
    auto t2 = bench::Clock::now();
    const double seconds = bench::Seconds(t0, t1) + bench::Seconds(t1b, t2);
    state.SetIterationTime(seconds);
    ticks.push_back(seconds * 1e6);
    tickOnly.push_back(bench::Seconds(t0, t1) * 1e6);

    acquisition::BuildChannelSummary(summary, w.window.values(), 64);
    auto b0 = bench::Clock::now();
    bare.setPlainText(QString::fromStdString(summary));
    PaintNow(bare);
    baselines.push_back(bench::Seconds(b0, bench::Clock::now()) * 1e6);
  }
  w.window.cmdStop_Click();
  const double median = bench::Percentile(ticks, 0.5);
  state.counters["median_us"] = median;
  state.counters["p99_us"] = bench::Percentile(ticks, 0.99);
  state.counters["tick_only_us"] = bench::Percentile(tickOnly, 0.5);
  state.counters["baseline_us"] = bench::Percentile(baselines, 0.5);
  state.counters["ratio"] = median / bench::Percentile(baselines, 0.5);
  state.SetLabel(std::string(NameOf(input)) + ", " + qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(WindowTick)
    ->ArgsProduct({{1}, {0}, {0, 1, 2}})
    ->Args({33, 0, 1})
    ->Args({1, 1, 1})
    ->Args({1, 2, 1})
    ->ArgNames({"blocks", "waveform", "input"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Seconds from spawning the probe to its first painted frame, which it reports on its
// standard output; its teardown is not timed.
double RunProbe(const char* mode) {
  static const std::string probe =
      QCoreApplication::applicationDirPath().toStdString() + "/startup_probe";
  char* argv[] = {const_cast<char*>(probe.c_str()), const_cast<char*>(mode), nullptr};
  int frame[2];
  if (pipe(frame) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, frame[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, frame[0]);
  auto t0 = bench::Clock::now();
  pid_t pid;
  const bool spawned = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ) == 0;
  close(frame[1]);
  char byte = 0;
  const bool painted = spawned && read(frame[0], &byte, 1) == 1;
  const double seconds = bench::Seconds(t0, bench::Clock::now());
  close(frame[0]);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned) waitpid(pid, &status, 0);
  return painted ? seconds : 0;
}

void StartupToFirstFrame(benchmark::State& state) {
  std::vector<double> window, empty, label;
  for (auto _ : state) {
    empty.push_back(RunProbe("empty"));
    label.push_back(RunProbe("label"));
    window.push_back(RunProbe("window"));
    state.SetIterationTime(window.back());
  }
  const double median = bench::Percentile(window, 0.5);
  state.counters["median_ms"] = median * 1e3;
  state.counters["baseline_ms"] = bench::Percentile(label, 0.5) * 1e3;
  state.counters["ratio"] = median / bench::Percentile(label, 0.5);
  state.counters["empty_ms"] = bench::Percentile(empty, 0.5) * 1e3;
  state.counters["ratio_to_empty"] = median / bench::Percentile(empty, 0.5);
  state.SetLabel(
      std::string("process start to the first painted frame; baseline: a window with one "
                  "Chinese caption; ") +
      qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(StartupToFirstFrame)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The share of one processor the program takes while it acquires and saves in real time:
// the window shown, its event loop and timers running, the card's blocks arriving at the
// card's pace (one every 0.384 s), files written all the way.
void CpuWhileAcquiring(benchmark::State& state) {
  const auto input = static_cast<Input>(state.range(0));
  const std::vector<std::vector<int16_t>> recorded = BlocksOf(input);
  constexpr double kSeconds = 15, kBlockSeconds = 0.384;
  for (auto _ : state) {
    WindowOnSimCard w;
    w.window.findChild<QLineEdit*>("txtSaveFileNum")->setText("20");
    w.window.findChild<QLineEdit*>("txtBlockNumMax")->setText("10");
    w.window.findChild<QCheckBox*>("chkSaveData")->setChecked(true);
    ShowExposed(w.window);
    w.window.cmdStart_Click();
    const auto started = bench::Clock::now();
    long delivered = 0;
    // After each tick, the blocks the card has finished by then wait for the next one.
    auto script = [&] {
      const long due =
          static_cast<long>(bench::Seconds(started, bench::Clock::now()) / kBlockSeconds) -
          delivered;
      SimCard_ScriptQuery(static_cast<int16_t>(due));
      for (long i = 0; i < due; ++i) {
        SimCard_ScriptFetch(1, recorded[delivered++ % recorded.size()].data());
      }
      if (w.window.capture().SaveFileIndex == w.window.capture().SaveFileCount) {
        w.window.cmdStart_Click();  // a finished run of files starts over
      }
    };
    script();
    auto* timer = w.window.findChild<QTimer*>("TimerAD");
    QObject::connect(timer, &QTimer::timeout, &w.window, script);
    const double cpuBefore = bench::ProcessCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(kSeconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = bench::Seconds(started, bench::Clock::now());
    const double cpu = bench::ProcessCpuSeconds() - cpuBefore;
    w.window.cmdStop_Click();
    w.window.WaitForDataFiles();
    state.SetIterationTime(cpu);
    state.counters["cpu_percent"] = cpu / wall * 100;
    state.counters["blocks"] = static_cast<double>(delivered);
  }
  state.SetLabel(std::string(NameOf(input)) + ", " + qPrintable(QGuiApplication::platformName()));
}
BENCHMARK(CpuWhileAcquiring)
    ->DenseRange(0, 2)
    ->ArgName("input")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// 10,000 paced blocks through the real tick, 33 a tick, saving on all the way.
void ThroughputSavingOn(benchmark::State& state) {
  for (auto _ : state) {
    WindowOnSimCard w;
    w.window.findChild<QLineEdit*>("txtSaveFileNum")->setText("20");
    w.window.findChild<QLineEdit*>("txtBlockNumMax")->setText("10");
    w.window.findChild<QCheckBox*>("chkSaveData")->setChecked(true);
    w.window.cmdStart_Click();
    long delivered = 0, rssAfter100 = 0;
    double seconds = 0;
    while (delivered < 10000) {
      SimCard_AdvanceMs(33 * 384);
      auto t0 = bench::Clock::now();
      w.window.TimerAD_Timer();
      seconds += bench::Seconds(t0, bench::Clock::now());
      QCoreApplication::sendPostedEvents();  // as the event loop does between ticks
      delivered += 33;
      if (rssAfter100 == 0 && delivered >= 100) rssAfter100 = bench::MemoryKb("VmRSS");
      // A finished run of files starts over, so saving never stops.
      if (w.window.capture().SaveFileIndex == w.window.capture().SaveFileCount) {
        w.window.cmdStart_Click();
      }
    }
    state.SetIterationTime(seconds);
    state.counters["blocks_per_s"] = static_cast<double>(delivered) / seconds;
    state.counters["us_per_block"] = seconds / static_cast<double>(delivered) * 1e6;
    state.counters["rss_after_100_MB"] = static_cast<double>(rssAfter100) / 1024;
    state.counters["rss_end_MB"] = static_cast<double>(bench::MemoryKb("VmRSS")) / 1024;
    state.counters["rss_peak_MB"] = static_cast<double>(bench::MemoryKb("VmHWM")) / 1024;
    state.counters["rss_growth_MB"] =
        static_cast<double>(bench::MemoryKb("VmRSS") - rssAfter100) / 1024;
  }
}
BENCHMARK(ThroughputSavingOn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
