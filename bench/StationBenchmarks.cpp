// The production station as the operator feels it: from Enter to the verdict's banner on
// the screen, on the simulated card in real time, beside the bare self-test; and what
// keeping one run costs, the database beside the JSON report.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "DllDef.h"
#include "Profile.h"
#include "ReportFormats.h"
#include "ResultsStore.h"
#include "RunId.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "StationWindow.h"
#include "WholeFile.h"

namespace {

selftest::Profile SimulatedCardProfile() {
  return selftest::LoadProfile(PROFILES_DIR "/simulated-card.ini").value();
}

// What bounds a run on this profile: its blocks at the card's pace (a block's period, as
// the run started the card), then the walking patterns over the 16 output bits, each given
// its settling time.
double BoundSeconds(const selftest::Profile& profile, double blockPeriodSeconds) {
  return profile.blocks * blockPeriodSeconds + 2 * 16 * profile.settleMs / 1000.0;
}

void StationEnterToBanner(benchmark::State& state) {
  SimCard_Reset();
  SimCard_SetManualClock(0);
  QTemporaryDir dir;
  qputenv("KZB_RESULTS_DB", dir.filePath("results.sqlite").toUtf8());
  const selftest::Profile profile = SimulatedCardProfile();
  StationWindow station(ADCARD_PATH, profile);
  station.show();
  station.WaitForTest();
  auto* serial = station.findChild<QLineEdit*>("txtSerial");
  auto* banner = station.findChild<QLabel*>("lblBanner");
  int n = 0;
  double blockPeriod = 0;
  const std::atomic<bool> never{false};
  bench::Interleaved(
      state,
      [&] {
        serial->setText(QString("KZB%1").arg(++n, 6, 10, QChar('0')));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(serial, &enter);
        while (!banner->text().startsWith("通过")) {
          QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        banner->repaint();  // on the screen, not only set
      },
      [&] {
        DllDef dll(ADCARD_PATH);
        benchmark::DoNotOptimize(selftest::Run(
            dll, profile, selftest::SystemClock(), [](selftest::CheckKind) {}, never));
        blockPeriod = acquisition::BlockPeriodSeconds(dll);
      });
  state.counters["bound_s"] = BoundSeconds(profile, blockPeriod);
  qunsetenv("KZB_RESULTS_DB");
}
BENCHMARK(StationEnterToBanner)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A whole run's record, its 330 figures and all, measured on the card's own clock.
selftest::RunRecord ARun(const selftest::Profile& profile, selftest::Outcome& outcome) {
  SimCard_Reset();
  SimCard_SetManualClock(1);
  double seconds = 0;
  const selftest::Clock clock{.nowSeconds = [&] { return seconds; },
                              .sleepMs =
                                  [&](int ms) {
                                    seconds += ms / 1000.0;
                                    SimCard_AdvanceMs(ms);
                                  }};
  DllDef dll(ADCARD_PATH);
  const std::atomic<bool> never{false};
  outcome = selftest::Run(
      dll, profile, clock, [](selftest::CheckKind) {}, never);
  selftest::RunInfo info;
  info.serial = "KZB000001";
  info.startedIso8601 = info.endedIso8601 = "2026-12-09T08:00:00Z";
  return selftest::RecordOf(selftest::NewRunId(), outcome, profile, info);
}

void StoreOneRun(benchmark::State& state) {
  const selftest::Profile profile = SimulatedCardProfile();
  selftest::Outcome outcome;
  const selftest::RunRecord run = ARun(profile, outcome);
  QTemporaryDir dir;
  const std::string database = dir.filePath("results.sqlite").toStdString();
  const std::string report = dir.filePath("report.json").toStdString();
  size_t measurements = 0;
  for (const auto& check : run.checks) measurements += check.measurements.size();
  double saveSeconds = 0;
  // As the station keeps a run: the database opened, the run saved; beside it the report.
  bench::Interleaved(
      state,
      [&] {
        auto store = results::ResultsStore::Open(database);
        const auto opened = bench::Clock::now();
        benchmark::DoNotOptimize(store.value()->Save(run));
        saveSeconds += bench::Seconds(opened, bench::Clock::now());
      },
      [&] { benchmark::DoNotOptimize(base::WriteWholeFile(report, selftest::Json(run))); });
  state.counters["measurements"] = static_cast<double>(measurements);
  state.counters["save_us"] = saveSeconds / static_cast<double>(state.iterations()) * 1e6;
}
BENCHMARK(StoreOneRun)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
