// The real window: a whole tick, start-up, and throughput with saving on.
#include <spawn.h>
#include <sys/wait.h>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QWindow>

#include "BenchSupport.h"
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

std::vector<int16_t> NoisyBlock() {
  std::vector<int16_t> block(kBlockCells);
  for (int i = 0; i < kBlockCells; ++i) block[i] = static_cast<int16_t>((i * 7919) % 4096 - 2048);
  return block;
}

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

// The changing part of a live block: the four waveform channels move, the others hold
// their levels, as on the simulated card.
void NextLiveBlock(std::vector<int16_t>& block, int16_t step) {
  for (int pt = 0; pt < 300; ++pt) {
    for (int ch = 0; ch < 4; ++ch) block[pt * 64 + ch] = static_cast<int16_t>(step * 97 * (ch + 1));
  }
}

// state.range(1): the waveform window open on the four live channels, painted too.
void WindowTick(benchmark::State& state) {
  const int blocks = static_cast<int>(state.range(0));
  const bool waveform = state.range(1) != 0;
  WindowOnSimCard w;
  ShowExposed(w.window);
  PaintNow(w.window);
  w.window.cmdStart_Click();
  if (waveform) {
    for (int ch = 0; ch < 4; ++ch) w.window.OpenWaveform(ch);
    ShowExposed(*w.window.waveform());
    PaintNow(*w.window.waveform());
  }
  std::vector<int16_t> block = NoisyBlock();
  int16_t step = 0;

  std::vector<double> ticks, tickOnly;
  for (auto _ : state) {
    NextLiveBlock(block, ++step);
    SimCard_ScriptQuery(static_cast<int16_t>(blocks));
    for (int i = 0; i < blocks; ++i) SimCard_ScriptFetch(1, block.data());
    auto t0 = bench::Clock::now();
    w.window.TimerAD_Timer();
    auto t1 = bench::Clock::now();
    PaintNow(w.window);
    if (waveform) PaintNow(*w.window.waveform());
    auto t2 = bench::Clock::now();
    state.SetIterationTime(bench::Seconds(t0, t2));
    ticks.push_back(bench::Seconds(t0, t2) * 1e6);
    tickOnly.push_back(bench::Seconds(t0, t1) * 1e6);
  }
  w.window.cmdStop_Click();

  // The baseline, in the same run once the subject is done (alternating the two would let
  // each spoil the other's caches): the same summary shown and painted in a bare text field
  // of the same size and font, the usual way of refreshing one (its whole text replaced).
  QPlainTextEdit bare;
  bare.setFont(w.window.font());
  bare.resize(w.window.findChild<QPlainTextEdit*>("txtInfo")->size());
  ShowExposed(bare);
  acquisition::ChannelValues values;
  std::string summary;
  std::vector<double> baselines;
  for (size_t i = 0; i < ticks.size(); ++i) {
    for (int ch = 0; ch < 4; ++ch)
      values.ChanCode[ch] = (static_cast<int>(i) * 97 * (ch + 1)) & 0xFFFF;
    acquisition::BuildChannelSummary(summary, values, 64);
    auto t0 = bench::Clock::now();
    bare.setPlainText(QString::fromStdString(summary));
    PaintNow(bare);
    baselines.push_back(bench::Seconds(t0, bench::Clock::now()) * 1e6);
  }
  const double median = bench::Percentile(ticks, 0.5);
  state.counters["median_us"] = median;
  state.counters["p99_us"] = bench::Percentile(ticks, 0.99);
  state.counters["tick_only_us"] = bench::Percentile(tickOnly, 0.5);
  state.counters["baseline_us"] = bench::Percentile(baselines, 0.5);
  state.counters["ratio"] = median / bench::Percentile(baselines, 0.5);
  state.SetLabel(
      "tick and paint, window shown; baseline: a bare text field given the whole summary");
}
BENCHMARK(WindowTick)
    ->Args({1, 0})
    ->Args({33, 0})
    ->Args({1, 1})
    ->ArgNames({"blocks", "waveform"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Seconds from spawning the probe to its exit.
double RunProbe(const char* mode) {
  static const std::string probe =
      QCoreApplication::applicationDirPath().toStdString() + "/startup_probe";
  char* argv[] = {const_cast<char*>(probe.c_str()), const_cast<char*>(mode), nullptr};
  auto t0 = bench::Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, probe.c_str(), nullptr, nullptr, argv, environ) != 0) return 0;
  int status = 0;
  waitpid(pid, &status, 0);
  return bench::Seconds(t0, bench::Clock::now());
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
      "whole process to the first painted frame; baseline: a window with one Chinese caption");
}
BENCHMARK(StartupToFirstFrame)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

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
