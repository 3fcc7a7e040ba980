// Writes data files away from the window's thread: writing, flushing and moving a file into
// place can take long on a slow disk, and the tick must never wait for it. Files are written
// one at a time, in the order they were handed over. A file that fails is written again, a
// little later each time, until it lands, while the files after it go on. A file handed
// over is complete as far as the operator knows, so a new run never gives it up: only a
// later file of the same name, which would land on top of it anyway, replaces one still
// waiting, and says so. At most a few files wait: beyond that the caller keeps its file and
// pauses.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"
#include "WholeFile.h"

namespace acquisition {

struct FileResult {
  int run = 0;
  int16_t number = 0;
  std::string path;
  bool landed = false;      // false: this attempt failed, or the file was replaced
  bool superseded = false;  // a later file of the same name was handed over before it landed
  base::Failure failure;    // for a failed attempt: the system's reason
};

class FileFinisher {
 public:
  static constexpr size_t kMostWaiting = 3;
  static constexpr std::chrono::seconds kExitWait{10};

  // How a file is put on disk: the whole-or-nothing write, or a test's stand-in.
  using Writer = base::Result<> (*)(const std::string& path, std::string_view bytes);

  explicit FileFinisher(Writer writer = base::WriteWholeFile);
  // Gives every file handed over one more try, within kExitWait; any still unwritten then
  // are lost with the process (the caller asks Unfinished() first to report them).
  ~FileFinisher();
  FileFinisher(const FileFinisher&) = delete;
  FileFinisher& operator=(const FileFinisher&) = delete;

  // Takes the bytes (leaving `bytes` empty); false, taking nothing, when kMostWaiting files
  // already wait. A file of the same name still waiting is replaced by this one.
  bool Hand(int run, int16_t number, std::string path, std::string& bytes);
  // What happened to the files since the last call: every attempt that failed, every file
  // that landed, every file replaced by a later one of its name.
  std::vector<FileResult> TakeResults();
  // Returns once each file handed over has been tried (landed, or failed and waiting for
  // its retry), or after `bound`. With `retryNow`, every failing file is tried again first.
  void Settle(std::chrono::milliseconds bound, bool retryNow);
  // The files not on disk yet, each with its last failure if it had one.
  std::vector<FileResult> Unfinished();

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the writing thread, which may outlive this
};

}  // namespace acquisition
