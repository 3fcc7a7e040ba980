// Keeping a finished run, the same for the station and the headless self-test: stored in
// the results database, each report written once, and, where the station asks, a copy held
// beside the database while it cannot take the run. What landed and why not is kept with
// the run, so that a second try does only what is left.
#pragma once

#include <string>

#include "Failure.h"
#include "RunRecord.h"

namespace production {

// Where a run goes.
struct Places {
  std::string database;
  bool holdWhenRefused = false;         // a copy in HeldRunsPath(database) while it refuses the run
  std::string jsonReport, junitReport;  // empty: none
  // The reports' folder made where it is missing (the station's own "reports"); a folder
  // given on the command line that is gone is a report not written.
  bool makeFolders = false;
};

// A report's place beside the database: its folder "reports" and a name no other run shares
// (ReportName).
std::string ReportPathBeside(const std::string& database, const selftest::RunRecord& run);

// A report's file name: the serial (at most 40 characters, letters of any script kept; what
// a file name on Linux or Windows cannot hold, a path separator, a control or direction
// mark and a leading dot become "_"), the start and the run's id, so that no two runs share
// a name and none is too long for a file system.
std::string ReportName(const selftest::RunRecord& run);

struct Landing {
  bool done = false;
  std::string failure;                                       // the system's reason, when not
  base::Failure::Cause cause = base::Failure::Cause::Other;  // its kind
};

struct KeptRun {
  explicit KeptRun(selftest::RunRecord finished = {}) : run(std::move(finished)) {}
  selftest::RunRecord run;
  Landing stored, held, json, junit;
  // On disk somewhere (the database, a report or a held copy): the station may go on testing.
  bool onDisk() const { return stored.done || held.done || json.done || junit.done; }
  // Neither in the database nor held for it: to be tried again.
  bool waiting() const { return !stored.done && !held.done; }
};

// Tries what has not landed yet: the database (again, where it refused), each report not yet
// written, and the held copy where the database refused and the places ask for one.
void Keep(KeptRun& kept, const Places& places);

}  // namespace production
