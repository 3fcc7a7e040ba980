// Every self-test run kept on the station: a SQLite database (through Qt SQL, its embedded
// driver) of runs, their checks and their measurements, one file in the user's data folder.
// WAL mode, so that a reader never blocks the writer; a schema version, so that a later
// program knows what it opens; a unique id for every run.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "RunRecord.h"

class QSqlQuery;

namespace results {

struct SqlWhy;

// A time --since takes: "2026-12-09" or "2026-12-09T08:00:00Z" (UTC), a real date.
bool IsSinceTime(const std::string& since);

// What a reader needs of each run: every check and figure, or, for a list that shows a run's
// verdict and first failing check, that check alone, without figures (a day of thousands of
// runs is then a read of their rows, not of a million figures).
enum class RunDepth { Whole, FirstFailure };

struct Filter {
  std::string serial;  // empty: every serial
  std::string since;   // "2026-12-09" or a fuller ISO 8601 time (UTC); empty: all
  int newest = 0;      // the newest this many, when above 0
};

// A run of the line's outbox, named: its serial, id and start; for a run set aside, the
// line's words for why and when it refused it.
struct OutboxRun {
  std::string serial, id, startedIso8601;
  std::string reason, refusedIso8601;
};

class ResultsStore {
 public:
  ~ResultsStore();
  // Opens the database at `path`, creating it and its folder when needed. A file that is
  // not such a database, or one of a newer schema, is refused with the reason.
  static base::Result<std::unique_ptr<ResultsStore>> Open(const std::string& path);
  // Opens an existing database to read it only: nothing is created, upgraded or written,
  // and one on a read-only file system is read as it is.
  static base::Result<std::unique_ptr<ResultsStore>> OpenForReading(const std::string& path);
  // Loads Qt's SQLite driver on the calling thread. Qt loads it at its first use, on the
  // thread that asks; where that is a worker thread that then ends, the next use crashes
  // on Windows. A program that opens stores on workers calls this first, on its own thread.
  static void LoadDriver();

  // Stores the run in one transaction: all of it or none. Gives the run's id (a new one
  // for a run without). A run already stored under its id is left as it is.
  base::Result<std::string> Save(const selftest::RunRecord& run);
  // Removes the run with this id, whole (a held copy once the database has it).
  base::Result<> Forget(const std::string& id);
  // Runs, oldest first, with their checks and measurements, or as `depth` says.
  base::Result<std::vector<selftest::RunRecord>> Runs(const Filter& filter,
                                                      RunDepth depth = RunDepth::Whole) const;

  // The outbox of the line's database: the runs that have not reached it, in the order they
  // were tested (at most `most` of them, 0 for all); how many; and marking those that have.
  base::Result<std::vector<selftest::RunRecord>> Waiting(int most) const;
  base::Result<int> CountWaiting() const;
  base::Result<> MarkUploaded(const std::vector<std::string>& ids,
                              const std::string& uploadedIso8601, double clockOffsetSeconds);
  // The waiting runs named, oldest first, without their checks.
  base::Result<std::vector<OutboxRun>> WaitingNames() const;
  // A run the line refused for a reason of its own is set aside: not waiting, so that the
  // runs behind it go on, until released to be tried again (all of them at once; gives how
  // many).
  base::Result<> SetAside(const std::string& id, const std::string& reason,
                          const std::string& refusedIso8601);
  base::Result<std::vector<OutboxRun>> SetAsideRuns() const;
  base::Result<int> ReleaseSetAside();

  const std::string& path() const { return path_; }

 private:
  explicit ResultsStore(std::string path, std::string connection);
  static base::Result<std::unique_ptr<ResultsStore>> OpenAs(const std::string& path, bool reading);
  base::Failure Failed(const SqlWhy& why) const;
  std::optional<base::Failure> Insert(const std::string& id, const selftest::RunRecord& run);
  std::optional<base::Failure> ReadChecks(selftest::RunRecord& run) const;
  base::Result<std::vector<selftest::RunRecord>> Read(QSqlQuery& query,
                                                      RunDepth depth = RunDepth::Whole) const;

  std::string path_;
  std::string connection_;  // the Qt SQL connection's name, one per store
};

}  // namespace results
