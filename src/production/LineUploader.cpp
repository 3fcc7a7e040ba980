#include "LineUploader.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "LineStore.h"
#include "ResultsStore.h"
#include "RunClock.h"

namespace production {
namespace {

using Cause = base::Failure::Cause;

constexpr int kBatch = 100;  // runs read from the outbox at a time
constexpr std::chrono::seconds kLongestWait{60};
constexpr std::chrono::hours kRetrySetAside{1};
// How long the window's thread waits for the uploader at close (a connection under way has
// its own bound); after that it goes on.
constexpr std::chrono::seconds kStopWait = line::kConnectWait + std::chrono::seconds{1};

LineStatus Unreachable(const base::Failure& failure, int waiting) {
  LineStatus status;
  status.state = failure.cause == Cause::LineNoAnswer ? LineStatus::State::NoAnswer
                                                      : LineStatus::State::Unreachable;
  status.waiting = waiting;
  status.reason = failure.reason;
  status.cause = failure.cause;
  return status;
}

// A call to the server, bounded by the pass's watch; a call that was cut failed for want of
// an answer, whatever libpq made of the broken connection, and so did one that failed without
// a kind on a connection the server no longer answers (it stopped or went away meanwhile).
template <typename T, typename Call>
base::Result<T> Bounded(const UploadPass& pass, const line::LineStore& store, Call call) {
  const auto watched = [&pass, &store](auto step) {
    if (pass.watch) pass.watch->Begin(&store);
    auto result = step();
    return std::pair{std::move(result), pass.watch && pass.watch->End()};
  };
  auto [result, cut] = watched(call);
  if (!result && cut) {
    return base::Failure{base::Failure::Kind::ResultsNotStored, store.where(),
                         "no answer within " + std::to_string(kCallWait.count()) + " s",
                         Cause::LineNoAnswer};
  }
  if (!result && result.failure().cause == Cause::Other &&
      !watched([&store] { return store.Answers(); }).first) {
    base::Failure broken = result.failure();
    broken.cause = Cause::LineNoAnswer;
    return broken;
  }
  return result;
}

}  // namespace

CallWatch::CallWatch(std::chrono::milliseconds bound) : bound_(bound) {
  thread_ = std::thread([this] { Watch(); });
}

CallWatch::~CallWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void CallWatch::Begin(const line::LineStore* store) {
  {
    std::lock_guard lock(mutex_);
    store_ = store;
    since_ = std::chrono::steady_clock::now();
    cut_ = false;
  }
  changed_.notify_all();
}

bool CallWatch::End() {
  std::lock_guard lock(mutex_);  // a cut under way finishes first: the socket is still open
  store_ = nullptr;
  return cut_;
}

void CallWatch::CutNow() {
  {
    std::lock_guard lock(mutex_);
    cutAll_ = true;
  }
  changed_.notify_all();
}

void CallWatch::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (!store_ || cut_) {
      changed_.wait(lock);
      continue;
    }
    // Once the program stops, every call is cut at once.
    const auto due = cutAll_ ? since_ : since_ + bound_;
    if (std::chrono::steady_clock::now() < due) {
      changed_.wait_until(lock, due);
      continue;
    }
    store_->Cut();
    cut_ = true;
  }
}

namespace {

bool Stopped(const UploadPass& pass) {
  return pass.stop && pass.stop->load();
}

// What became of one batch: the runs the line has now, how many were set aside, and the
// failure that ended it early.
struct Batch {
  std::vector<std::string> sent;
  int setAside = 0;
  std::optional<base::Failure> failed;
};

// Sends `runs` in order until one fails or the pass is stopped; a run the server refuses for
// a reason of its own waits aside, and the rest go on.
Batch SendBatch(results::ResultsStore& outbox, std::unique_ptr<line::LineStore>& connection,
                const std::vector<selftest::RunRecord>& runs, const line::ClockReading& clock,
                const UploadPass& pass) {
  Batch batch;
  for (const selftest::RunRecord& run : runs) {
    if (Stopped(pass)) break;
    const auto uploaded =
        Bounded<bool>(pass, *connection, [&] { return connection->Upload(run, clock); });
    if (uploaded) {
      batch.sent.push_back(run.id);
      continue;
    }
    if (uploaded.failure().cause == Cause::LineRunRefused &&
        outbox.SetAside(run.id, uploaded.failure().reason, UtcNowIso8601())) {
      ++batch.setAside;
      continue;
    }
    connection.reset();
    batch.failed = uploaded.failure();
    break;
  }
  return batch;
}

// Connects when there is no connection yet, each statement bounded on the server, and reads
// the server's clock against ours.
base::Result<line::ClockReading> Reach(const selftest::LineSettings& line,
                                       std::unique_ptr<line::LineStore>& connection,
                                       const UploadPass& pass) {
  if (!connection) {
    auto opened = line::LineStore::Open(line);
    if (!opened) return opened.failure();
    const auto bounded = Bounded<std::monostate>(pass, *opened.value(),
                                                 [&] { return opened.value()->BoundStatements(); });
    if (!bounded) return bounded.failure();
    connection = std::move(opened.value());
  }
  auto clock =
      Bounded<line::ClockReading>(pass, *connection, [&] { return connection->ReadClock(); });
  if (!clock) connection.reset();
  return clock;
}

}  // namespace

LineStatus UploadWaiting(const std::string& database, const selftest::LineSettings& line,
                         std::unique_ptr<line::LineStore>& connection, const UploadPass& pass) {
  auto outbox = results::ResultsStore::Open(database);
  if (!outbox) return Unreachable(outbox.failure(), 0);
  if (pass.releaseSetAside) {
    if (auto released = outbox.value()->ReleaseSetAside(); !released) {
      return Unreachable(released.failure(), outbox.value()->CountWaiting().value_or(0));
    }
  }
  LineStatus status;
  status.state = LineStatus::State::Synced;
  for (;;) {
    const auto waiting = outbox.value()->Waiting(kBatch);
    const int left = outbox.value()->CountWaiting().value_or(0);
    if (!waiting) return Unreachable(waiting.failure(), left);
    const auto clock = Reach(line, connection, pass);
    if (!clock) return Unreachable(clock.failure(), left);
    // A clock read too loosely is no offset to speak of: nothing is said, and the line keeps
    // the run's bound without an offset.
    const double offset = clock.value().offsetSeconds.value_or(0);
    status.clockOffsetSeconds = offset;
    status.setAside = outbox.value()->SetAsideRuns().value_or({});
    if (waiting.value().empty()) return status;
    // Marked once the line has them, a batch at a time: a mark lost sends its run again, as
    // nothing (the line keys runs by their id).
    const Batch batch =
        SendBatch(*outbox.value(), connection, waiting.value(), clock.value(), pass);
    if (auto marked = outbox.value()->MarkUploaded(batch.sent, UtcNowIso8601(), offset); !marked) {
      return Unreachable(marked.failure(), left);
    }
    status.setAside = outbox.value()->SetAsideRuns().value_or({});
    const int stillLeft = left - static_cast<int>(batch.sent.size()) - batch.setAside;
    if (batch.failed) {
      LineStatus unreachable = Unreachable(*batch.failed, stillLeft);
      unreachable.setAside = std::move(status.setAside);
      return unreachable;
    }
    if (Stopped(pass)) {
      status.state = stillLeft > 0 ? LineStatus::State::Waiting : LineStatus::State::Synced;
      status.waiting = stillLeft;
      return status;
    }
  }
}

int CountWaiting(const std::string& database) {
  auto outbox = results::ResultsStore::Open(database);
  return outbox ? outbox.value()->CountWaiting().value_or(0) : 0;
}

std::vector<std::string> WaitingRuns(const std::string& database) {
  std::vector<std::string> names;
  auto outbox = results::ResultsStore::Open(database);
  if (!outbox) return names;
  for (const results::OutboxRun& run : outbox.value()->WaitingNames().value_or({})) {
    names.push_back((run.serial.empty() ? std::string("-") : run.serial) + " (" + run.id + ", " +
                    run.startedIso8601 + ")");
  }
  return names;
}

std::vector<results::OutboxRun> SetAsideRuns(const std::string& database) {
  auto outbox = results::ResultsStore::Open(database);
  if (!outbox) return {};
  return outbox.value()->SetAsideRuns().value_or({});
}

std::string SetAsideName(const results::OutboxRun& run) {
  return (run.serial.empty() ? std::string("-") : run.serial) + " (" + run.id + ", " +
         run.startedIso8601 + "): " + run.reason;
}

struct LineUploader::Shared {
  std::string database;
  selftest::LineSettings line;
  std::function<void(const LineStatus&)> onStatus;  // emptied when the uploader goes
  std::mutex mutex;
  std::condition_variable wake, ended;
  bool nudged = true, release = true, stopping = false, done = false;
  std::atomic<bool> stop{false};
  CallWatch watch;

  void Say(const LineStatus& status) {
    std::lock_guard lock(mutex);
    if (onStatus) onStatus(status);
  }
};

LineUploader::LineUploader(std::string database, selftest::LineSettings line,
                           std::function<void(const LineStatus&)> onStatus)
    : shared_(std::make_shared<Shared>()) {
  shared_->database = std::move(database);
  shared_->line = std::move(line);
  shared_->onStatus = std::move(onStatus);
  thread_ = std::thread([shared = shared_] { Loop(shared); });
}

LineUploader::~LineUploader() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->onStatus = nullptr;
  }
  shared_->stop = true;
  shared_->wake.notify_all();
  shared_->watch.CutNow();
  std::unique_lock lock(shared_->mutex);
  if (shared_->ended.wait_for(lock, kStopWait, [this] { return shared_->done; })) {
    lock.unlock();
    thread_.join();
    return;
  }
  // Whatever it still waits for, it no longer speaks to anyone; it ends with the program.
  lock.unlock();
  std::fprintf(stderr, "kzb7310: 全线上传未能及时停止 the line's uploader did not stop in time\n");
  thread_.detach();
}

void LineUploader::Nudge() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->nudged = true;
  }
  shared_->wake.notify_all();
}

void LineUploader::RetrySetAside() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->nudged = shared_->release = true;
  }
  shared_->wake.notify_all();
}

void LineUploader::Loop(const std::shared_ptr<Shared>& shared) {
  Shared& s = *shared;
  std::unique_ptr<line::LineStore> connection;
  std::chrono::seconds wait = kLongestWait, backoff{1};
  auto released = std::chrono::steady_clock::now();
  bool reached = false;
  std::unique_lock lock(s.mutex);
  while (!s.stopping) {
    s.wake.wait_for(lock, wait, [&s] { return s.nudged || s.stopping; });
    if (s.stopping) break;
    // The set-aside runs go again at the start, when asked, and every hour.
    const bool release = s.release || std::chrono::steady_clock::now() - released >= kRetrySetAside;
    s.nudged = s.release = false;
    lock.unlock();
    if (release) released = std::chrono::steady_clock::now();
    if (const int waiting = CountWaiting(s.database); waiting > 0) {
      LineStatus before;
      before.state = reached ? LineStatus::State::Waiting : LineStatus::State::Connecting;
      before.waiting = waiting;
      s.Say(before);
    }
    const LineStatus status =
        UploadWaiting(s.database, s.line, connection,
                      {.stop = &s.stop, .watch = &s.watch, .releaseSetAside = release});
    s.Say(status);
    lock.lock();
    // Backing off while the line cannot be reached: 1 s, 2 s, 4 s … at most a minute; a
    // kept run always tries at once.
    const bool answered =
        status.state == LineStatus::State::Synced || status.state == LineStatus::State::Waiting;
    reached = reached || answered;
    wait = answered ? kLongestWait : backoff;
    backoff = answered ? std::chrono::seconds{1} : std::min(backoff * 2, kLongestWait);
  }
  lock.unlock();
  connection.reset();  // closed on the thread that opened it
  lock.lock();
  s.done = true;
  s.ended.notify_all();
}

}  // namespace production
