// One program per card: a lock in the data directory that the system lets go of when the
// process ends, however it ends, so a crashed program never blocks the next start.
#pragma once

#include <cstdint>
#include <string>

class SingleInstance {
 public:
  enum class State {
    Alone,        // this process holds the lock
    AlreadyRuns,  // another process holds it; `holder` says which
    NoLock,       // the lock could not be made (no such directory, ...); `holder` says why
  };

  explicit SingleInstance(const std::string& dataDirectory);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  State state() const { return state_; }
  // For AlreadyRuns: the running program's process id and data directory, one per line.
  const std::string& holder() const { return holder_; }

 private:
  State state_ = State::NoLock;
  std::string holder_;
  intptr_t handle_ = -1;  // the open lock file
};
