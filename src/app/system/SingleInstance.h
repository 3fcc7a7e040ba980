// One program per card on the machine, whichever user runs it and whichever installation
// or card library it starts from: a lock keyed to the card itself, in a folder every user
// shares (a sticky lock folder; a Global\ mutex on Windows), that the system lets go of when
// the process ends, however it ends, so a crashed program never blocks the next start. The
// bench window, the station, the self-test and the recording take the same lock, whatever
// data folder each writes to.
#pragma once

#include <cstdint>
#include <string>

class SingleInstance {
 public:
  enum class State {
    Alone,        // this process holds the lock
    AlreadyRuns,  // another process holds it; `holder` says which
    NoLock,       // no safe lock could be made; `holder` says why: do not drive the card
  };

  explicit SingleInstance(const std::string& dataDirectory);
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

// The card's name on the machine, which the lock is named after. The card maker's library
// drives the one card of its kind in the machine, whatever path it is loaded from, and
// which card it is cannot be asked before the library is opened, the very step the lock
// guards: so the card's kind names it.
inline constexpr char kCardLockKey[] = "kzb7310-card";

// What every form of the program says when another holds the card, naming what its lock
// says of it: "板卡正被另一个程序使用：KZB7310测试程序已在运行（进程 4711，用户 zhang，
// 数据目录 /home/zhang/KZB7310）".
std::string CardInUseText(const SingleInstance& instance);
