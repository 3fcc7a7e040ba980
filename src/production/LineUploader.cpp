#include "LineUploader.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "LineStore.h"
#include "ResultsStore.h"
#include "RunClock.h"

namespace production {
namespace {

constexpr int kBatch = 100;  // runs read from the outbox at a time
constexpr std::chrono::seconds kLongestWait{60};

LineStatus Unreachable(const base::Failure& failure, int waiting) {
  return {.state = LineStatus::State::Unreachable,
          .waiting = waiting,
          .reason = failure.reason,
          .cause = failure.cause};
}

}  // namespace

LineStatus UploadWaiting(const std::string& database, const selftest::LineSettings& line,
                         std::unique_ptr<line::LineStore>& connection) {
  auto outbox = results::ResultsStore::Open(database);
  if (!outbox) return Unreachable(outbox.failure(), 0);
  LineStatus status;
  status.state = LineStatus::State::Synced;
  for (;;) {
    const auto waiting = outbox.value()->Waiting(kBatch);
    const int left = outbox.value()->CountWaiting().value_or(0);
    if (!waiting) return Unreachable(waiting.failure(), left);
    if (waiting.value().empty()) return status;
    if (!connection) {
      auto opened = line::LineStore::Open(line);
      if (!opened) return Unreachable(opened.failure(), left);
      connection = std::move(opened.value());
    }
    const auto clock = connection->ReadClock();
    if (!clock) {
      connection.reset();
      return Unreachable(clock.failure(), left);
    }
    // A clock read too loosely is no offset to speak of: nothing is said, and the line keeps
    // the run's bound without an offset.
    const double offset = clock.value().offsetSeconds.value_or(0);
    status.clockOffsetSeconds = offset;
    // Marked once the line has them, a batch at a time: a mark lost sends its run again, as
    // nothing (the line keys runs by their id).
    std::vector<std::string> sent;
    std::optional<base::Failure> failed;
    for (const selftest::RunRecord& run : waiting.value()) {
      if (auto uploaded = connection->Upload(run, clock.value()); !uploaded) {
        connection.reset();
        failed = uploaded.failure();
        break;
      }
      sent.push_back(run.id);
    }
    if (auto marked = outbox.value()->MarkUploaded(sent, UtcNowIso8601(), offset); !marked) {
      return Unreachable(marked.failure(), left);
    }
    if (failed) return Unreachable(*failed, left - static_cast<int>(sent.size()));
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
  for (const selftest::RunRecord& run : outbox.value()->Waiting(0).value_or({})) {
    names.push_back((run.info.serial.empty() ? std::string("-") : run.info.serial) + " (" + run.id +
                    ", " + run.info.startedIso8601 + ")");
  }
  return names;
}

LineUploader::LineUploader(std::string database, selftest::LineSettings line,
                           std::function<void(const LineStatus&)> onStatus)
    : database_(std::move(database)), line_(std::move(line)), onStatus_(std::move(onStatus)) {
  thread_ = std::thread([this] { Loop(); });
}

LineUploader::~LineUploader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LineUploader::Nudge() {
  {
    std::lock_guard lock(mutex_);
    nudged_ = true;
  }
  wake_.notify_all();
}

void LineUploader::Loop() {
  std::unique_ptr<line::LineStore> connection;
  std::chrono::seconds wait = kLongestWait, backoff{1};
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, wait, [this] { return nudged_ || stopping_; });
    if (stopping_) break;
    nudged_ = false;
    lock.unlock();
    if (const int waiting = CountWaiting(database_); waiting > 0) {
      onStatus_({.state = LineStatus::State::Waiting, .waiting = waiting, .reason = {}});
    }
    const LineStatus status = UploadWaiting(database_, line_, connection);
    onStatus_(status);
    lock.lock();
    // Backing off while the line cannot be reached: 1 s, 2 s, 4 s … at most a minute; a
    // kept run always tries at once.
    const bool reached = status.state != LineStatus::State::Unreachable;
    wait = reached ? kLongestWait : backoff;
    backoff = reached ? std::chrono::seconds{1} : std::min(backoff * 2, kLongestWait);
  }
  connection.reset();  // closed on the thread that opened it
}

}  // namespace production
