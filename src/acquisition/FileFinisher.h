// Finishes written data files away from the window's thread: flushing a file to disk can
// take many milliseconds on a slow disk, and the tick must never wait for it. Files are
// finished one at a time, in the order they were handed over, so a later file of the same
// name always ends up on top.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "DataFile.h"

namespace acquisition {

class FileFinisher {
 public:
  FileFinisher() = default;
  ~FileFinisher();  // finishes every file handed over before it returns
  FileFinisher(const FileFinisher&) = delete;
  FileFinisher& operator=(const FileFinisher&) = delete;

  void Hand(PendingFile file);
  // The files that could not be finished since the last call.
  std::vector<numtext::Failure> TakeFailures();
  void WaitUntilIdle();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PendingFile> queue_;
  std::vector<numtext::Failure> failures_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread worker_;  // started with the first file
};

}  // namespace acquisition
