// One program per card on the machine, whichever user runs it: a lock keyed to the card
// library in use, in a folder every user shares (a sticky lock folder; a Global\ mutex on
// Windows), that the system lets go of when the process ends, however it ends, so a crashed
// program never blocks the next start. The bench window, the station and the self-test take
// the same lock, whatever data folder each writes to.
#pragma once

#include <cstdint>
#include <string>

#include "Checksum.h"

class SingleInstance {
 public:
  enum class State {
    Alone,        // this process holds the lock
    AlreadyRuns,  // another process holds it; `holder` says which
    NoLock,       // no safe lock could be made; `holder` says why: do not drive the card
  };

  SingleInstance(const std::string& cardLibrary, const std::string& dataDirectory);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  State state() const { return state_; }
  // For AlreadyRuns: the running program's process id, data directory and user (each may be
  // empty when it could not say); for NoLock: why.
  const std::string& holder() const { return holder_; }
  std::string holderProcess() const { return Line(0); }
  std::string holderDirectory() const { return Line(1); }
  std::string holderUser() const { return Line(2); }

 private:
  std::string Line(int n) const {
    size_t start = 0;
    for (int i = 0; i < n && start != std::string::npos; ++i) {
      start = holder_.find('\n', start);
      if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return {};
    return holder_.substr(start, holder_.find('\n', start) - start);
  }

  State state_ = State::NoLock;
  std::string holder_;
  intptr_t handle_ = -1;  // the open lock file
};

// The lock file's name for a card library, from its full path.
inline std::string CardLockName(const std::string& fullLibraryPath) {
  return "card-" + base::Checksum(fullLibraryPath) + ".lock";
}
