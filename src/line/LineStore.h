// The line's database: every station's runs, their checks and measurements, in one
// PostgreSQL database whose schema packaging/line-schema.sql makes. A run goes in as one
// transaction, all of it or none, keyed by its id: the same run sent twice is one run.
// Times are UTC (timestamptz); each run carries its station's clock against the server's.
#pragma once

#include <chrono>
#include <cstdint>
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

// The schema this program knows; a newer one is refused, and runs wait.
constexpr int kLineSchemaVersion = 1;

// How long a connection may take, and an upload's statement on the server: a server that
// takes longer is said not to answer.
constexpr std::chrono::seconds kConnectWait{5};
constexpr std::chrono::seconds kStatementWait{5};

// A station clock this far off the server's is said: "today" would be the wrong day.
constexpr double kClockOffLimitSeconds = 5;

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

  // The server's clock minus ours, in seconds.
  base::Result<double> ClockOffsetSeconds() const;
  // Adds the run in one transaction; true when it was added, false when the line had it.
  base::Result<bool> Upload(const selftest::RunRecord& run, double clockOffsetSeconds);
  // Runs, oldest first, with what `depth` asks of them.
  base::Result<std::vector<LineRun>> Runs(const results::Filter& filter, LineDepth depth) const;
  // The same, handed to `page` a few thousand at a time, all read in one snapshot of the line:
  // however many runs the line holds, only a page of them is held at once.
  std::optional<base::Failure> EachPage(
      const results::Filter& filter, LineDepth depth,
      const std::function<void(std::vector<LineRun>& page)>& page) const;

  // Each statement on this connection given at most kStatementWait on the server (the
  // uploader's: a report may read longer).
  base::Result<> BoundStatements() const;
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

 private:
  LineStore(std::string connection, std::string where);
  base::Failure Failed(const results::SqlWhy& why) const;
  std::optional<base::Failure> Insert(const selftest::RunRecord& run, double clockOffsetSeconds,
                                      bool& added);

  std::string connection_;
  std::string where_;
  std::intptr_t socket_ = -1;  // the connection's socket, for Cut
};

// "host:port/database as user" of the settings.
std::string Where(const selftest::LineSettings& settings);

}  // namespace line
