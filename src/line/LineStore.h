// The line's database: every station's runs, their checks and measurements, in one
// PostgreSQL database whose schema packaging/line-schema.sql makes. A run goes in as one
// transaction, all of it or none, keyed by its id: the same run sent twice is one run.
// Times are UTC (timestamptz); each run carries its station's clock against the server's.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Failure.h"
#include "LineSettings.h"
#include "ResultsStore.h"
#include "RunRecord.h"

namespace results {
struct SqlWhy;
}
namespace spc {
struct Sample;
}

namespace line {

struct FigureFilter;
struct MonitorStart;
struct MonitorRun;

// The schema this program knows; a newer one is refused, and runs wait.
constexpr int kLineSchemaVersion = 1;

// A station clock this far off the server's is said: "today" would be the wrong day.
constexpr double kClockOffLimitSeconds = 5;

// A run as the line has it.
struct LineRun {
  selftest::RunRecord run;
  double clockOffsetSeconds = 0;  // the server's clock minus the station's, at upload
};

class LineStore {
 public:
  ~LineStore();
  // Loads Qt's PostgreSQL driver on the calling thread (see ResultsStore::LoadDriver).
  static void LoadDriver();
  // Connects and checks the schema. The password comes from libpq's password file or
  // service file, never from here; one that others may read is refused.
  static base::Result<std::unique_ptr<LineStore>> Open(const selftest::LineSettings& settings);

  // The server's clock minus ours, in seconds.
  base::Result<double> ClockOffsetSeconds() const;
  // Adds the run in one transaction; true when it was added, false when the line had it.
  base::Result<bool> Upload(const selftest::RunRecord& run, double clockOffsetSeconds);
  // Runs, oldest first; their checks only where `withChecks`.
  base::Result<std::vector<LineRun>> Runs(const results::Filter& filter, bool withChecks) const;

  // "host:port/database as user", for messages; never a password.
  const std::string& where() const { return where_; }

  // Every figure the filter takes, measured or not, a sample per run and figure, in no order
  // (LineFigures.cpp).
  base::Result<std::vector<spc::Sample>> Figures(const FigureFilter& filter) const;

  // Every statement after this bounded by `wait` (LineMonitor.cpp, as what follows).
  base::Result<> BoundStatements(std::chrono::milliseconds wait);
  // The line monitor's reads: each run the server adds named to `heard` on this thread's
  // event loop; what it shows at first, since `since`, with the samples of `figure` at
  // `station` (empty: the line's); the runs of these ids alone.
  base::Result<> WatchRuns(std::function<void(const std::string& id)> heard);
  base::Result<MonitorStart> MonitorSince(const std::string& since, const std::string& figure,
                                          const std::string& station) const;
  base::Result<std::vector<MonitorRun>> MonitorRuns(const std::vector<std::string>& ids,
                                                    const std::string& figure,
                                                    const std::string& station) const;
  // Whether the server still answers.
  base::Result<> Answers() const;

 private:
  LineStore(std::string connection, std::string where);
  base::Failure Failed(const results::SqlWhy& why) const;
  std::optional<base::Failure> Insert(const selftest::RunRecord& run, double clockOffsetSeconds,
                                      bool& added);
  std::optional<base::Failure> ReadChecks(selftest::RunRecord& run) const;

  std::string connection_;
  std::string where_;
};

// "host:port/database as user" of the settings.
std::string Where(const selftest::LineSettings& settings);

}  // namespace line
