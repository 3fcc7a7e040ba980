#include "FileFinisher.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "WholeFile.h"

namespace acquisition {

// A file on its way; named outside the unnamed namespace because the finisher's state holds it.
namespace finishing {

struct Job {
  int run;
  bool tried = false;  // since it was handed over, or since a retry was asked for
  int16_t number;
  std::string path;
  std::string bytes;
  std::chrono::steady_clock::time_point due = {};
  std::chrono::milliseconds retryAfter = std::chrono::milliseconds(500);
  std::optional<base::Failure> lastFailure = std::nullopt;
};

}  // namespace finishing

namespace {

using finishing::Job;

// A failing disk is tried again after half a second, then less and less often.
constexpr std::chrono::milliseconds kLongestRetry{8000};

FileResult Superseded(const Job& job) {
  FileResult result{job.run, job.number, job.path, false, true, {}};
  if (job.lastFailure) result.failure = *job.lastFailure;
  return result;
}

}  // namespace

using finishing::Job;

struct FileFinisher::State {
  Writer writer;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> queue;  // in the order handed over; a failed job keeps its place
  std::optional<Job> busy;
  std::vector<FileResult> results;
  bool stopping = false;

  void Run();
};

void FileFinisher::State::Run() {
  std::unique_lock lock(mutex);
  for (;;) {
    if (stopping && queue.empty()) return;
    if (queue.empty()) {
      changed.wait(lock);
      continue;
    }
    // The first file whose time has come: a failing one waits for its retry while the
    // files after it (other names) go on.
    const auto now = std::chrono::steady_clock::now();
    auto next =
        std::find_if(queue.begin(), queue.end(), [&](const Job& j) { return j.due <= now; });
    if (next == queue.end()) {
      const auto soonest = std::min_element(
          queue.begin(), queue.end(), [](const Job& a, const Job& b) { return a.due < b.due; });
      changed.wait_until(lock, soonest->due);
      continue;
    }
    const size_t place = static_cast<size_t>(next - queue.begin());
    busy = std::move(*next);
    queue.erase(next);
    lock.unlock();
    const base::Result<> written = writer(busy->path, busy->bytes);
    lock.lock();
    Job job = std::move(*busy);
    busy.reset();
    FileResult result{job.run, job.number, job.path, static_cast<bool>(written), false, {}};
    if (!written) {
      result.failure = written.failure();
      job.lastFailure = written.failure();
      job.tried = true;
      job.due = std::chrono::steady_clock::now() + job.retryAfter;
      job.retryAfter = std::min(job.retryAfter * 2, kLongestRetry);
    }
    results.push_back(std::move(result));
    if (!written) {
      // Back in its place, before the files handed after it, unless a file of its name was
      // handed over while it was being written.
      const bool replaced =
          std::any_of(queue.begin(), queue.end(), [&](const Job& j) { return j.path == job.path; });
      if (replaced) {
        results.push_back(Superseded(job));
      } else {
        queue.insert(queue.begin() + static_cast<ptrdiff_t>(std::min(place, queue.size())),
                     std::move(job));
      }
    }
    changed.notify_all();
  }
}

FileFinisher::FileFinisher(Writer writer) : state_(std::make_shared<State>()) {
  state_->writer = writer;
  std::thread([state = state_] { state->Run(); }).detach();
}

FileFinisher::~FileFinisher() {
  Settle(kExitWait, true);
  std::lock_guard lock(state_->mutex);
  state_->stopping = true;
  state_->queue.clear();  // what is still failing after the wait is lost with the process
  state_->changed.notify_all();
}

bool FileFinisher::Hand(int run, int16_t number, std::string path, std::string& bytes) {
  std::lock_guard lock(state_->mutex);
  auto& queue = state_->queue;
  // The file of this name still waiting would only land under this one: it makes room.
  const auto sameName =
      std::find_if(queue.begin(), queue.end(), [&](const Job& j) { return j.path == path; });
  const size_t staying = queue.size() - (sameName != queue.end() ? 1 : 0);
  if (staying + (state_->busy ? 1 : 0) >= kMostWaiting) return false;
  if (sameName != queue.end()) {
    state_->results.push_back(Superseded(*sameName));
    queue.erase(sameName);
  }
  queue.push_back(Job{.run = run,
                      .tried = false,
                      .number = number,
                      .path = std::move(path),
                      .bytes = std::move(bytes)});
  state_->changed.notify_all();
  return true;
}

std::vector<FileResult> FileFinisher::TakeResults() {
  std::lock_guard lock(state_->mutex);
  return std::exchange(state_->results, {});
}

void FileFinisher::Settle(std::chrono::milliseconds bound, bool retryNow) {
  std::unique_lock lock(state_->mutex);
  if (retryNow) {
    for (Job& job : state_->queue) {
      job.tried = false;
      job.due = {};
    }
    state_->changed.notify_all();
  }
  state_->changed.wait_for(lock, bound, [this] {
    return !state_->busy && std::all_of(state_->queue.begin(), state_->queue.end(),
                                        [](const Job& job) { return job.tried; });
  });
}

std::vector<FileResult> FileFinisher::Unfinished() {
  std::lock_guard lock(state_->mutex);
  std::vector<FileResult> unfinished;
  auto add = [&](const Job& job) {
    FileResult r{job.run, job.number, job.path, false, false, {}};
    if (job.lastFailure) r.failure = *job.lastFailure;
    unfinished.push_back(std::move(r));
  };
  if (state_->busy) add(*state_->busy);
  for (const Job& job : state_->queue) add(job);
  return unfinished;
}

}  // namespace acquisition
