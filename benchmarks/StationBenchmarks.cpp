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
#include "LineStore.h"
#include "LineUploader.h"
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

// A station's Enter to its banner while its uploader sends each run to a line server that
// answers slowly (scripts/benchmarks starts one where each of station1's runs waits 0.2 s in a
// trigger), beside the same station without a [line]. The line is libpq's defaults
// (PGHOST, PGUSER=station1).
void StationEnterToBannerWithLine(benchmark::State& state) {
  if (qEnvironmentVariableIsEmpty("PGHOST")) {
    state.SkipWithError("no line server: scripts/benchmarks starts one");
    return;
  }
  SimCard_Reset();
  SimCard_SetManualClock(0);
  QTemporaryDir dir;
  const QByteArray withLine = dir.filePath("line.sqlite").toUtf8();
  const QByteArray without = dir.filePath("alone.sqlite").toUtf8();
  selftest::Profile lined = SimulatedCardProfile();
  lined.line = selftest::LineSettings{};
  qputenv("KZB_RESULTS_DB", withLine);
  StationWindow line(ADCARD_PATH, lined);
  qputenv("KZB_RESULTS_DB", without);
  StationWindow alone(ADCARD_PATH, SimulatedCardProfile());
  for (StationWindow* station : {&line, &alone}) {
    station->show();
    station->WaitForTest();
  }
  int n = 0;
  const auto enter = [&](StationWindow& station, const QByteArray& database) {
    qputenv("KZB_RESULTS_DB", database);
    auto* serial = station.findChild<QLineEdit*>("txtSerial");
    auto* banner = station.findChild<QLabel*>("lblBanner");
    serial->setText(QString("KZB%1").arg(++n, 6, 10, QChar('0')));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(serial, &key);
    while (!banner->text().startsWith("通过")) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    banner->repaint();
  };
  bench::Interleaved(
      state, [&] { enter(line, withLine); }, [&] { enter(alone, without); });
  state.counters["line_waiting"] = production::CountWaiting(withLine.toStdString());
  qunsetenv("KZB_RESULTS_DB");
}
BENCHMARK(StationEnterToBannerWithLine)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

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

// A backlog of kept runs (each the simulated card's whole record) sent to the line: the
// uploader's throughput, from the station's outbox to the line's database.
void LineBacklog(benchmark::State& state) {
  if (qEnvironmentVariableIsEmpty("PGHOST")) {
    state.SkipWithError("no line server: scripts/benchmarks starts one");
    return;
  }
  const selftest::Profile profile = SimulatedCardProfile();
  selftest::Outcome outcome;
  selftest::RunRecord run = ARun(profile, outcome);
  const int backlog = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QTemporaryDir dir;
    const std::string database = dir.filePath("results.sqlite").toStdString();
    {
      auto store = results::ResultsStore::Open(database);
      for (int i = 0; i < backlog; ++i) {
        run.id = selftest::NewRunId();
        run.info.serial = "KZB" + std::to_string(i);
        benchmark::DoNotOptimize(store.value()->Save(run));
      }
    }
    std::unique_ptr<line::LineStore> connection;
    const auto started = bench::Clock::now();
    // As another station than the slow one of StationEnterToBannerWithLine.
    selftest::LineSettings other;
    other.user = "station2";
    const auto status = production::UploadWaiting(database, other, connection);
    state.SetIterationTime(bench::Seconds(started, bench::Clock::now()));
    if (status.state != production::LineStatus::State::Synced)
      state.SkipWithError(status.reason.c_str());
  }
  state.counters["runs_per_s"] =
      benchmark::Counter(backlog, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LineBacklog)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
