// Sends the station's kept runs to the line's database, oldest first, each exactly once:
// the local results database is the outbox (a run is marked there once the line has it),
// and a run the line already holds is not added again. It runs on a thread of its own and
// never holds up a test; a line it cannot reach is tried again later, sooner after a run is
// kept, at most a minute apart, and after a restart where it left off. Every call to the
// server is bounded: one that does not answer in time is cut and said ("no answer"). A run
// the server refuses for a reason of its own is set aside with that reason, so that the runs
// behind it go on; set-aside runs are tried again at each start, hourly and when asked.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Failure.h"
#include "LineSettings.h"
#include "LineStore.h"
#include "ResultsStore.h"

namespace production {

struct LineStatus {
  // Connecting: the line not reached yet; NoAnswer: it was reached, or is there, and does
  // not answer in time; Unreachable: it cannot be reached or refuses the station.
  enum class State { Connecting, Synced, Waiting, Unreachable, NoAnswer };
  State state = State::Connecting;
  int waiting = 0;     // runs not on the line yet, the set-aside ones not counted
  std::string reason;  // why the line could not be reached, when it could not
  base::Failure::Cause cause = base::Failure::Cause::Other;  // that reason's kind
  double clockOffsetSeconds = 0;  // the server's clock minus the station's, at the last upload
  std::vector<results::OutboxRun> setAside;  // runs the line refused, with its reasons
};

// How long one call to the line's server may take before it is cut: the server's own bound
// on a statement, and a little more for the round trip.
constexpr std::chrono::seconds kCallWait = line::kStatementWait + std::chrono::seconds{2};

// Bounds the calls to the line's server from a thread of its own: a call that has not
// returned within its bound has its connection cut (so it returns, the connection broken),
// and one under way can be cut at once when the program stops.
class CallWatch {
 public:
  explicit CallWatch(std::chrono::milliseconds bound = kCallWait);
  ~CallWatch();
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  // A call on `store` begins; it ends with End, which says whether it was cut.
  void Begin(const line::LineStore* store);
  bool End();
  // Cuts the call under way, if any, now, and every call after it at once.
  void CutNow();

 private:
  void Watch();

  const std::chrono::milliseconds bound_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const line::LineStore* store_ = nullptr;  // the call's connection, while one is under way
  std::chrono::steady_clock::time_point since_;
  bool cut_ = false, cutAll_ = false, stopping_ = false;
  std::thread thread_;
};

// What bounds one pass.
struct UploadPass {
  const std::atomic<bool>* stop = nullptr;  // set: the pass ends before the next run
  CallWatch* watch = nullptr;               // bounds each call to the server
  bool releaseSetAside = false;             // try the set-aside runs again, first
};

// One pass, on the calling thread: reaches the line (also with nothing to send, so that it is
// never said to be in step before it was reached), then uploads the runs waiting in the
// results database at `database`, oldest first, until none is left, one fails or the pass is
// stopped. `connection` is kept between passes and dropped when it fails.
LineStatus UploadWaiting(const std::string& database, const selftest::LineSettings& line,
                         std::unique_ptr<line::LineStore>& connection, const UploadPass& pass = {});

// How many runs wait for the line, and each one named ("KZB000001 (run id, started)").
int CountWaiting(const std::string& database);
std::vector<std::string> WaitingRuns(const std::string& database);
// The runs the line refused, set aside, oldest first.
std::vector<results::OutboxRun> SetAsideRuns(const std::string& database);
// A run set aside, named with the line's reason.
std::string SetAsideName(const results::OutboxRun& run);

class LineUploader {
 public:
  // `onStatus` hears each pass's status, on the uploader's thread, never after the uploader
  // is gone.
  LineUploader(std::string database, selftest::LineSettings line,
               std::function<void(const LineStatus&)> onStatus);
  // Stops between runs, a call under way cut; waits for the thread a few seconds at most,
  // and leaves it to end by itself after that.
  ~LineUploader();
  LineUploader(const LineUploader&) = delete;
  LineUploader& operator=(const LineUploader&) = delete;

  // A run was kept: try now.
  void Nudge();
  // Tries the set-aside runs again now.
  void RetrySetAside();

 private:
  struct Shared;
  static void Loop(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace production
