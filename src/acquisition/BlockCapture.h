// Gathering delivered blocks and writing them as a run of numbered data files.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Block.h"
#include "DataFile.h"
#include "FileFinisher.h"

namespace acquisition {

class BlockCapture {
 public:
  static constexpr int kSlots = 20;            // blocks one file can gather
  static constexpr int kCellsPerSlot = 32000;  // cells of a block that a file can draw on
  static constexpr int kPrintedChannels = 4;   // a file prints channels 0 to 3
  // How long the tick that completes a run waits for its files to land before it says so.
  static constexpr std::chrono::milliseconds kCompletionWait{500};

  explicit BlockCapture(std::string dataDirectory,
                        FileFinisher::Writer writer = base::WriteWholeFile);

  // Save counters, set at each start.
  int16_t SaveFileCount = 0;
  int16_t SaveFileIndex = 0;
  int16_t BlocksPerFile = 0;
  int16_t SaveBlockIndex = 0;

  // A delivered block is gathered while saving is on and the run is not complete, unless a
  // finished file still waits for the disk.
  bool Wants(bool saving) const {
    return saving && SaveFileIndex < SaveFileCount && !OwnFileWaits();
  }

  // The capture step: keeps the codes the file prints (channels 0 to 3 at every point) in the
  // next slot of SaveBuf and hands a file to the disk once BlocksPerFile blocks are gathered.
  void Capture(const BlockView& block);

  // A new run numbers its files from 0 again and drops only the file still being gathered:
  // every finished file of an earlier run still lands (or stays shown as failed) unless a
  // file of the new run takes its name. Without a block count (its setting could not be
  // read) the file count is set all the same, the block counters are kept.
  void BeginRun(int16_t fileCount, std::optional<int16_t> blocksPerFile);

  // Blocks were lost while the file now being gathered had some: its status says so.
  void NoteLoss();

  // The file status line, and whether it changed since the last call. A file that could
  // not be finished on disk after its tick shows up here at a later call; its failure stays
  // up until it lands.
  const std::string& Info() const { return info_; }
  const std::string& InfoDetail() const { return infoDetail_; }
  bool TakeInfoChange();
  // Lines for standard error: every failure, every file given up.
  std::vector<std::string> TakeLog();

  // Tries every failing file again at once and returns when each handed file has been
  // tried since: on disk under its final name, or failed with its reason shown.
  void WaitForFiles();
  // Waits up to `bound` for the files still on their way; returns those that did not land,
  // each as "path: reason".
  std::vector<std::string> FinishFiles(std::chrono::milliseconds bound);

  const std::string& directory() const { return directory_; }
  // Slot after slot, point after point, the unsigned codes of channels 0 to 3.
  const std::vector<uint16_t>& SaveBuf() const { return saveBuf_; }

 private:
  // A finished file kept here while the disk is behind.
  struct WaitingFile {
    int run;
    int16_t number;
    std::string path;
    std::string bytes;
  };

  // Writes file number SaveFileIndex from the gathered slots.
  bool SaveBlocksToFile();
  // Hands the waiting files to the disk, oldest first, as far as there is room; true when
  // this run's own file went.
  bool HandWaiting();
  // This run's finished file waits for room on the disk: gathering pauses.
  bool OwnFileWaits() const { return !waiting_.empty() && waiting_.back().run == run_; }
  // The status line that follows the file just handed over.
  void ShowProgress();
  void SetInfo(std::string_view text, std::string_view detail = {});
  void ShowFailure(const base::Failure& failure);
  void Collect();

  std::string directory_;
  std::vector<uint16_t> saveBuf_;  // kSlots slots, empty until saving first needs them
  int channels_ = 0;
  int points_ = 0;
  bool writeFailed_ = false;  // the last file could not even be started
  int run_ = 0;
  bool lossInFile_ = false;                       // the file being gathered spans lost blocks
  bool lossInRun_ = false;                        // ... a file of this run handed over did
  int landed_ = 0;                                // files of this run on disk
  std::deque<WaitingFile> waiting_;               // formatted, waiting for room on the disk
  std::map<std::string, base::Failure> failing_;  // files that failed, not landed, by path
  bool completionPending_ = false;  // the run is complete, its files not all landed yet
  FileFinisher finisher_;
  std::string info_;
  std::string infoDetail_;
  bool infoChanged_ = false;
  std::vector<std::string> log_;
};

}  // namespace acquisition
