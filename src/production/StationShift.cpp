#include "StationShift.h"

#include <filesystem>
#include <system_error>

#include "DllDef.h"
#include "HeldRuns.h"
#include "LineStore.h"
#include "ProgramFolders.h"
#include "ResultsStore.h"

namespace production {

selftest::RunRecord TestCard(const std::string& cardLibrary, const selftest::Profile& profile,
                             const selftest::Clock& clock,
                             const std::function<void(selftest::CheckKind)>& progress,
                             std::atomic<bool>& interrupted, StationFacts facts) {
  const RunClock runClock;
  DllDef dll(cardLibrary);
  const selftest::Outcome outcome = selftest::Run(dll, profile, clock, progress, interrupted);
  facts.cardLibrary = dll.library().path();
  return runClock.Record(outcome, profile, facts);
}

StationShift::StationShift(ShiftPlaces places) : places_(std::move(places)) {}

StationShift::~StationShift() = default;

std::string StationShift::database() const {
  return places_.database.empty() ? DefaultResultsPath() : places_.database;
}

std::string StationShift::heldPath() const {
  return HeldRunsPath(database());
}

Places StationShift::PlacesOf(const selftest::RunRecord& run) const {
  const std::string database = this->database();
  if (!places_.reportsBeside) {
    return {.database = database,
            .holdWhenRefused = true,
            .jsonReport = places_.jsonReport,
            .junitReport = places_.junitReport,
            .makeFolders = false};
  }
  return {.database = database,
          .holdWhenRefused = true,
          .jsonReport = ReportPathBeside(database, run),
          .junitReport = {},
          .makeFolders = true};
}

int StationShift::StoreHeld(std::optional<base::Failure>& why) const {
  return production::StoreHeld(database(), why);
}

int StationShift::CountHeld() const {
  return production::CountHeld(database());
}

ShiftRun StationShift::Run(std::vector<KeptRun> unsaved,
                           const std::function<selftest::RunRecord()>& test) {
  ShiftRun shift;
  StoreHeld(shift.heldFailure);
  bool onDisk = true;
  for (KeptRun& u : unsaved) {
    Keep(u, PlacesOf(u.run));
    onDisk = onDisk && u.onDisk();
    if (u.waiting()) shift.unsaved.push_back(std::move(u));
  }
  if (onDisk) {
    shift.tested = true;
    shift.last = KeptRun(test());
    Keep(shift.last, PlacesOf(shift.last.run));
    if (shift.last.waiting()) shift.unsaved.push_back(shift.last);
  }
  shift.held = CountHeld();  // with this run, if held
  if (uploader_) uploader_->Nudge();
  return shift;
}

std::vector<KeptRun> StationShift::KeepLeft(std::vector<KeptRun> unsaved) const {
  std::vector<KeptRun> left;
  for (KeptRun& u : unsaved) {
    Keep(u, PlacesOf(u.run));
    if (u.waiting()) left.push_back(std::move(u));
  }
  return left;
}

DayResults StationShift::ReadDay(const std::string& sinceUtc, int newest) const {
  DayResults day;
  const std::string database = this->database();
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::u8path(database), error)) return day;
  auto store = results::ResultsStore::OpenForReading(database);
  if (!store) {
    day.historyFailure = store.failure();
    return day;
  }
  // The count, the yield and the list show each run's verdict and first failing check only.
  const auto depth = results::RunDepth::FirstFailure;
  auto today = store.value()->Runs({.serial = {}, .since = sinceUtc, .newest = 0}, depth);
  auto recent = store.value()->Runs({.serial = {}, .since = {}, .newest = newest}, depth);
  if (!today || !recent) {
    day.historyFailure = (today ? recent : today).failure();
    return day;
  }
  day.today = std::move(today.value());
  day.recent = std::move(recent.value());
  return day;
}

void StationShift::StartUploader(const selftest::LineSettings& line,
                                 std::function<void(const LineStatus&)> onStatus) {
  uploader_ = std::make_unique<LineUploader>(database(), line, std::move(onStatus));
}

std::optional<std::vector<std::string>> StationShift::StopUploader() {
  if (!uploader_) return std::nullopt;
  uploader_.reset();
  return WaitingRuns(database());
}

void StationShift::RetrySetAside() {
  if (uploader_) uploader_->RetrySetAside();
}

std::vector<std::string> StationShift::SetAside() const {
  std::vector<std::string> names;
  for (const results::OutboxRun& run : SetAsideRuns(database())) names.push_back(SetAsideName(run));
  return names;
}

LineStatus StationShift::SendWaiting(const selftest::LineSettings& line,
                                     const std::atomic<bool>* stop, bool retrySetAside) const {
  std::unique_ptr<line::LineStore> connection;
  CallWatch watch;
  return UploadWaiting(database(), line, connection,
                       {.stop = stop, .watch = &watch, .releaseSetAside = retrySetAside});
}

}  // namespace production
