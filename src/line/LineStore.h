// The line's database: every station's runs, their checks and measurements, in one
// PostgreSQL database whose schema packaging/line-schema.sql makes. A run goes in as one
// transaction, all of it or none, keyed by its id: the same run sent twice is one run.
// The station never writes the line's tables: it hands the whole run to the schema's
// kzb_add_run, which stamps who sent it and when. Times are UTC (timestamptz); each run
// carries its station's clock against the server's, where it could be read closely enough.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// The schema this program knows; any other is refused (an older one until the owner applies
// this program's schema file), and runs wait.
constexpr int kLineSchemaVersion = 2;

// How long a connection may take, and an upload's statement on the server: a server that
// takes longer is said not to answer.
constexpr std::chrono::seconds kConnectWait{5};
constexpr std::chrono::seconds kStatementWait{5};

// A station clock this far off the server's is said: "today" would be the wrong day.
constexpr double kClockOffLimitSeconds = 5;
// An offset is taken only where it is known to this (half the round trip that read it): a
// slow answer must not make equal clocks look apart.
constexpr double kClockBoundLimitSeconds = 0.5;

// The station's clock against the server's.
struct ClockReading {
  std::optional<double> offsetSeconds;  // the server's clock minus ours; none beyond the limit
  double boundSeconds = 0;              // how far off the offset may be: half the round trip
};

// What a reader needs of each run beside its facts: nothing more (the line's report); its
// first failing check, without figures (the history's table and CSV); or every check with
// the failing figures of the failing ones (JUnit, which shows no others).
enum class LineDepth { Facts, FirstFailure, Failures };

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

  // The server's clock against ours, from the shortest of a few round trips.
  base::Result<ClockReading> ReadClock() const;
  // Adds the run, its checks and figures in one statement; true when it was added, false when
  // the line had it. A station name another role owns is refused (Cause::LineNoGrant).
  base::Result<bool> Upload(const selftest::RunRecord& run, const ClockReading& clock);
  // Runs, oldest first, with what `depth` asks of them.
  base::Result<std::vector<LineRun>> Runs(const results::Filter& filter, LineDepth depth) const;
  // The same, handed to `page` a few thousand at a time, all read in one snapshot of the line:
  // however many runs the line holds, only a page of them is held at once.
  std::optional<base::Failure> EachPage(
      const results::Filter& filter, LineDepth depth,
      const std::function<void(std::vector<LineRun>& page)>& page) const;

  // Each statement on this connection given at most `wait` on the server (the uploader's and
  // the monitor's: a report may read longer).
  base::Result<> BoundStatements(std::chrono::milliseconds wait = kStatementWait) const;
  // Whether the server still answers on this connection (after a call failed without a kind:
  // a broken connection is the server's, not the call's).
  bool Answers() const;
  // Cuts the connection from any thread, while its owner's call waits on a server that does
  // not answer: the call returns with the connection broken. The owner must not close it
  // meanwhile.
  void Cut() const;

  // "host:port/database as user", for messages; never a password.
  const std::string& where() const { return where_; }

  // Every figure the filter takes, measured or not, a sample per run and figure, in no order
  // (LineFigures.cpp).
  base::Result<std::vector<spc::Sample>> Figures(const FigureFilter& filter) const;

  // The line monitor's reads (LineMonitor.cpp): each run the server adds named to `heard` on this
  // thread's event loop; what it shows at first, since `since`, with the samples of `figure` at
  // `station` (empty: the line's); the runs of these ids alone.
  base::Result<> WatchRuns(std::function<void(const std::string& id)> heard);
  base::Result<MonitorStart> MonitorSince(const std::string& since, const std::string& figure,
                                          const std::string& station) const;
  base::Result<std::vector<MonitorRun>> MonitorRuns(const std::vector<std::string>& ids,
                                                    const std::string& figure,
                                                    const std::string& station) const;

 private:
  LineStore(std::string connection, std::string where);
  base::Failure Failed(const results::SqlWhy& why) const;
  std::optional<base::Failure> SchemaProblem() const;

  std::string connection_;
  std::string where_;
  std::intptr_t socket_ = -1;  // the connection's socket, for Cut
};

// "host:port/database as user" of the settings.
std::string Where(const selftest::LineSettings& settings);

}  // namespace line
