// Sends the station's kept runs to the line's database, oldest first, each exactly once:
// the local results database is the outbox (a run is marked there once the line has it),
// and a run the line already holds is not added again. It runs on a thread of its own and
// never holds up a test; a line it cannot reach is tried again later, sooner after a run is
// kept, at most a minute apart, and after a restart where it left off.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Failure.h"
#include "LineSettings.h"

namespace line {
class LineStore;
}

namespace production {

struct LineStatus {
  enum class State { Synced, Waiting, Unreachable };
  State state = State::Waiting;
  int waiting = 0;     // runs not on the line yet
  std::string reason;  // why the line could not be reached, when it could not
  base::Failure::Cause cause = base::Failure::Cause::Other;  // that reason's kind
  double clockOffsetSeconds = 0;  // the server's clock minus the station's, at the last upload
};

// One pass, on the calling thread: uploads the runs waiting in the results database at
// `database`, oldest first, until none is left or one fails. `connection` is kept between
// passes and dropped when it fails.
LineStatus UploadWaiting(const std::string& database, const selftest::LineSettings& line,
                         std::unique_ptr<line::LineStore>& connection);

// How many runs wait for the line, and each one named ("KZB000001 (run id, started)").
int CountWaiting(const std::string& database);
std::vector<std::string> WaitingRuns(const std::string& database);

class LineUploader {
 public:
  // `onStatus` hears each pass's status, on the uploader's thread.
  LineUploader(std::string database, selftest::LineSettings line,
               std::function<void(const LineStatus&)> onStatus);
  ~LineUploader();
  LineUploader(const LineUploader&) = delete;
  LineUploader& operator=(const LineUploader&) = delete;

  // A run was kept: try now.
  void Nudge();

 private:
  void Loop();

  std::string database_;
  selftest::LineSettings line_;
  std::function<void(const LineStatus&)> onStatus_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool nudged_ = true, stopping_ = false;
  std::thread thread_;
};

}  // namespace production
