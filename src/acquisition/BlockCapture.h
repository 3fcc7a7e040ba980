// Gathering delivered blocks and writing them as a run of numbered data files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FileFinisher.h"

namespace acquisition {

class BlockCapture {
 public:
  static constexpr int kSlots = 20;            // blocks one file can gather
  static constexpr int kCellsPerSlot = 32000;  // cells of a block that a file can draw on
  static constexpr int kPrintedChannels = 4;   // a file prints channels 0 to 3

  explicit BlockCapture(std::string dataDirectory);

  // Save counters, set at each start.
  int16_t SaveFileCount = 0;
  int16_t SaveFileIndex = 0;
  int16_t BlocksPerFile = 0;
  int16_t SaveBlockIndex = 0;

  // A delivered block is gathered while the run is not complete and the save check box
  // reads exactly 1 (a greyed box reads 2 and does not count).
  bool Wants(int saveCheckValue) const {
    return SaveFileIndex < SaveFileCount && saveCheckValue == 1;
  }

  // The capture step: keeps the codes the file prints (channels 0 to 3 at every point) in the
  // next slot of SaveBuf and writes a file once BlocksPerFile blocks are gathered. `block`
  // points at the block's first cell.
  void Capture(const int16_t* block, int channels, int points);

  // A new run numbers its files from 0 again and forgets the last run's failed file.
  void BeginRun(int16_t fileCount) {
    SaveFileCount = fileCount;
    SaveFileIndex = 0;
    writeFailed_ = false;
  }

  // The file status line, and whether it changed since the last call. A file that could
  // not be finished on disk after its tick shows up here at a later call.
  const std::string& Info() const { return info_; }
  const std::string& InfoDetail() const { return infoDetail_; }
  bool TakeInfoChange();

  // Returns once every written file is on disk under its final name.
  void WaitForFiles();

  const std::string& directory() const { return directory_; }
  // Slot after slot, point after point, the unsigned codes of channels 0 to 3.
  const std::vector<uint16_t>& SaveBuf() const { return saveBuf_; }

 private:
  // Writes file number SaveFileIndex from the gathered slots.
  bool SaveBlocksToFile();
  void SetInfo(std::string_view text, std::string_view detail = {});
  void ShowFailure(const numtext::Failure& failure);

  std::string directory_;
  std::vector<uint16_t> saveBuf_;  // kSlots slots, empty until saving first needs them
  int channels_ = 0;
  int points_ = 0;
  bool writeFailed_ = false;
  std::string fileBytes_;
  FileFinisher finisher_;
  std::string info_;
  std::string infoDetail_;
  bool infoChanged_ = false;
};

}  // namespace acquisition
