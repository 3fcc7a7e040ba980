// A station's shift: one road for a run from the scan to kept and sent to the line, the same
// for the station window and the headless self-test. Runs held beside the database go in
// first, oldest first; runs still on no disk are kept next, in the order they were tested,
// and while one of them is on no disk at all no card is tested; then the test, its run kept
// (the database, a held copy while the database refuses it, the reports) and the line's
// uploader woken.
//
// Threads: the store (the results database, the copies held beside it and the reports)
// belongs to the one thread that calls StoreHeld, Run and KeepLeft at a time. The station
// hands it on in turn: to its start thread, then to each test's worker, which joins the
// start before it stores, and to the window's thread at close, once both are joined. The
// command line calls everything on its main thread. The uploader's own thread only marks
// what the line has, through connections of its own.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "KeepRun.h"
#include "LineUploader.h"
#include "ProductionCheck.h"
#include "Profile.h"
#include "RunClock.h"
#include "RunRecord.h"

namespace production {

// Where a shift keeps its runs: the results database (empty: the default one, looked up at
// each use, so that KZB_RESULTS_DB holds from the next scan), and the reports either in "reports"
// beside it (the station's, the folder made when missing) or in the files named (the
// command line's; empty: none).
struct ShiftPlaces {
  std::string database;
  bool reportsBeside = true;
  std::string jsonReport, junitReport;
};

// What became of one scan.
struct ShiftRun {
  bool tested = false;  // false: an earlier run was still on no disk at all, so none ran
  KeptRun last;
  std::vector<KeptRun> unsaved;  // not stored and not held: tried again at the next scan
  int held = 0;                  // runs held on disk for the database, this one with them
  std::optional<base::Failure> heldFailure;  // why they are still held
};

// The day's results, as the station shows them.
struct DayResults {
  std::vector<selftest::RunRecord> today, recent;
  std::optional<base::Failure> historyFailure;  // why they could not be read
};

// One test of the card behind `cardLibrary` on the calling thread, `progress` hearing each
// check as it begins; the run recorded with `facts` and the library that answered.
selftest::RunRecord TestCard(const std::string& cardLibrary, const selftest::Profile& profile,
                             const selftest::Clock& clock,
                             const std::function<void(selftest::CheckKind)>& progress,
                             std::atomic<bool>& interrupted, StationFacts facts);

class StationShift {
 public:
  explicit StationShift(ShiftPlaces places);
  ~StationShift();
  StationShift(const StationShift&) = delete;
  StationShift& operator=(const StationShift&) = delete;

  std::string database() const;
  std::string heldPath() const;
  Places PlacesOf(const selftest::RunRecord& run) const;

  // Moves the held runs into the database; gives how many are left and why in `why`.
  int StoreHeld(std::optional<base::Failure>& why) const;
  int CountHeld() const;
  // One scan: the held runs, then `unsaved` kept in order, then, when every one of them is
  // on disk, `test` run and its run kept; the uploader is woken once it is.
  ShiftRun Run(std::vector<KeptRun> unsaved, const std::function<selftest::RunRecord()>& test);
  // One more try for runs on no disk; gives those still neither stored nor held.
  std::vector<KeptRun> KeepLeft(std::vector<KeptRun> unsaved) const;
  // The runs since `sinceUtc` and the newest `newest`; nothing when there is no database yet.
  DayResults ReadDay(const std::string& sinceUtc, int newest) const;

  // Sends kept runs to the line on a thread of its own; `onStatus` hears it there.
  void StartUploader(const selftest::LineSettings& line,
                     std::function<void(const LineStatus&)> onStatus);
  // Stops the uploader; the runs not on the line yet, named, or nothing without one.
  std::optional<std::vector<std::string>> StopUploader();
  // The set-aside runs tried again now, by the uploader.
  void RetrySetAside();
  // The runs the line refused, set aside, each named with the line's reason.
  std::vector<std::string> SetAside() const;
  // One pass to the line on the calling thread, for a shift without an uploader: each call
  // to the server bounded, ending before the next run once `stop` is set; with
  // `retrySetAside`, the set-aside runs are tried again first.
  LineStatus SendWaiting(const selftest::LineSettings& line,
                         const std::atomic<bool>* stop = nullptr, bool retrySetAside = false) const;

 private:
  ShiftPlaces places_;
  std::unique_ptr<LineUploader> uploader_;
};

}  // namespace production
