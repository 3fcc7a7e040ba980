// A station's shift against the line, without a card: COUNT runs kept one after another in
// the station's own results database (each as the self-test records one: identity,
// acquisition, analog with 16 figures, digital, stop), each followed by one upload pass, as
// the station's uploader makes it; then passes until the line has them all. The line is
// libpq's defaults (PGHOST, PGPORT, PGDATABASE, PGUSER, PGPASSFILE); the runs' station is
// named after the role (PGUSER), since a role adds runs of its own station only. With KEEP_MS
// "keep", the runs are only kept, all in one go, as a backlog waiting for the line.
// Usage: line_shift DATABASE COUNT PREFIX [KEEP_MS|keep [DEADLINE_S]]
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "LineStore.h"
#include "LineUploader.h"
#include "ResultsStore.h"
#include "RunId.h"

namespace {

selftest::RunRecord ARun(const std::string& serial, const std::string& station, int index) {
  selftest::RunRecord run;
  run.id = selftest::NewRunId();
  char started[32];
  std::snprintf(started, sizeof started, "2026-12-10T%02d:%02d:%02dZ", 8 + index / 3600,
                index / 60 % 60, index % 60);
  run.info = {.version = "1.0",
              .startedIso8601 = started,
              .endedIso8601 = started,
              .durationSeconds = 4.5,
              .serial = serial,
              .station = station,
              .operatorName = "张三 O'Brien; DROP TABLE runs; --",
              .cardLibrary = "libadcard.so"};
  run.profileName = "simulated-card.ini";
  run.profileChecksum = "43a2e88679d356d8";
  run.card = "卡名: 73 10";
  run.verdict = index % 7 == 3 ? selftest::Verdict::Fail : selftest::Verdict::Pass;
  for (selftest::CheckKind kind :
       {selftest::CheckKind::Identity, selftest::CheckKind::Acquisition,
        selftest::CheckKind::Analog, selftest::CheckKind::Digital, selftest::CheckKind::Stop}) {
    selftest::Check& check = run.checks.emplace_back();
    check.kind = kind;
    check.passed = !(kind == selftest::CheckKind::Analog && run.verdict == selftest::Verdict::Fail);
    check.measured = "measured";
    if (kind != selftest::CheckKind::Analog) continue;
    for (int ch = 1; ch <= 16; ++ch) {
      check.measurements.push_back({selftest::FigureId(selftest::Subject::Channel, ch, "mean"),
                                    0.5 + ch * 1e-3, "V", 0.4, 0.6, true});
    }
    check.measurements.push_back(
        {"lost blocks", std::nullopt, "blocks", std::nullopt, 0.0, check.passed});
  }
  return run;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 4) {
    std::fputs("usage: line_shift DATABASE COUNT PREFIX [KEEP_MS|keep [DEADLINE_S]]\n", stderr);
    return 2;
  }
  QCoreApplication app(argc, argv);
  const std::string database = argv[1], prefix = argv[3];
  const int count = std::stoi(argv[2]);
  const char* role = std::getenv("PGUSER");
  const std::string station = std::string("工位'") + (role ? role : "") + "\"";
  if (argc > 4 && std::string(argv[4]) == "keep") {
    results::ResultsStore::LoadDriver();
    auto store = results::ResultsStore::Open(database);
    bool kept = store.ok();
    for (int i = 0; kept && i < count; ++i) {
      kept = store.value()->Save(ARun(prefix + std::to_string(i + 1), station, i)).ok();
    }
    if (!kept) std::fprintf(stderr, "line_shift: the runs were not kept\n");
    return kept ? 0 : 1;
  }
  const int keepMs = argc > 4 ? std::stoi(argv[4]) : 0;
  const int deadline = argc > 5 ? std::stoi(argv[5]) : 60;
  results::ResultsStore::LoadDriver();
  line::LineStore::LoadDriver();
  std::unique_ptr<line::LineStore> connection;
  const selftest::LineSettings line;
  for (int i = 0; i < count; ++i) {
    auto store = results::ResultsStore::Open(database);
    if (!store || !store.value()->Save(ARun(prefix + std::to_string(i + 1), station, i))) {
      std::fprintf(stderr, "line_shift: the run was not kept\n");
      return 1;
    }
    store.value().reset();
    production::UploadWaiting(database, line, connection);
    std::this_thread::sleep_for(std::chrono::milliseconds(keepMs));
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(deadline);
  production::LineStatus status;
  while (std::chrono::steady_clock::now() < end) {
    status = production::UploadWaiting(database, line, connection);
    if (status.state == production::LineStatus::State::Synced) {
      std::printf("synced\n");
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::fprintf(stderr, "line_shift: %d runs still waiting: %s\n", status.waiting,
               status.reason.c_str());
  return 1;
}
