#include "FileFinisher.h"

#include <utility>

namespace acquisition {

FileFinisher::~FileFinisher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void FileFinisher::Hand(PendingFile file) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(file));
    if (!worker_.joinable()) worker_ = std::thread(&FileFinisher::Run, this);
  }
  changed_.notify_all();
}

std::vector<numtext::Failure> FileFinisher::TakeFailures() {
  std::lock_guard lock(mutex_);
  return std::exchange(failures_, {});
}

void FileFinisher::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void FileFinisher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left to finish
    PendingFile file = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    numtext::Result<> committed = CommitFile(file);
    lock.lock();
    busy_ = false;
    if (!committed) failures_.push_back(committed.failure());
    changed_.notify_all();
  }
}

}  // namespace acquisition
