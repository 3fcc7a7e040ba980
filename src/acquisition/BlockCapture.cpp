#include "BlockCapture.h"

#include <algorithm>
#include <cstddef>

#include "DataFile.h"
#include "NumberForms.h"

namespace acquisition {

BlockCapture::BlockCapture(std::string dataDirectory) : directory_(std::move(dataDirectory)) {}

void BlockCapture::Capture(const int16_t* block, int channels, int points) {
  if (SaveBlockIndex < 0 || SaveBlockIndex >= kSlots) return;  // counters beyond their range
  // The slots are sized when saving first needs them, and again only if the block's shape
  // changes; the codes a file prints are the first kCellsPerSlot cells' at most.
  const int kept = std::min(points, (kCellsPerSlot + channels - 1) / channels);
  const size_t slotCodes = static_cast<size_t>(kept) * kPrintedChannels;
  if (saveBuf_.size() != kSlots * slotCodes) saveBuf_.assign(kSlots * slotCodes, 0);
  const int cells = std::min(channels * points, kCellsPerSlot);
  uint16_t* slot = saveBuf_.data() + SaveBlockIndex * slotCodes;
  for (int pt = 0; pt < kept; ++pt) {
    for (int ch = 0; ch < kPrintedChannels; ++ch) {
      const int cell = pt * channels + ch;
      slot[pt * kPrintedChannels + ch] = cell < cells ? static_cast<uint16_t>(block[cell]) : 0;
    }
  }
  channels_ = channels;
  points_ = kept;
  ++SaveBlockIndex;

  // While a failed file waits for its retry, its message stays up.
  if (SaveFileIndex == 0 && !writeFailed_) SetInfo("正在采集，准备保存！");

  if (SaveBlockIndex == BlocksPerFile) {
    const bool written = SaveBlocksToFile();
    SaveBlockIndex = 0;
    if (!written) return;  // the next BlocksPerFile blocks try the same file again
    ++SaveFileIndex;
    if (SaveFileIndex == SaveFileCount) {
      SetInfo("保存数据完成!");
    } else {
      SetInfo("保存数据文件到:" + numtext::SignedColumn(SaveFileIndex + 1));
    }
  }
}

bool BlockCapture::SaveBlocksToFile() {
  const std::string path = DataFilePath(directory_, SaveFileIndex);
  FormatDataFile(fileBytes_, saveBuf_.data(), BlocksPerFile, channels_, points_);
  auto written = WriteTemporaryFile(path, fileBytes_);
  writeFailed_ = !written;
  if (writeFailed_) {
    ShowFailure(written.failure());
    return false;
  }
  finisher_.Hand(std::move(written.value()));
  return true;
}

void BlockCapture::ShowFailure(const numtext::Failure& failure) {
  SetInfo("写入失败:" + FileNameOfPath(failure.subject), failure.subject + ": " + failure.reason);
}

// Assigned in place: the status line is set for every block of a run's first file, and the
// tick must not allocate.
void BlockCapture::SetInfo(std::string_view text, std::string_view detail) {
  info_.assign(text);
  infoDetail_.assign(detail);
  infoChanged_ = true;
}

bool BlockCapture::TakeInfoChange() {
  for (const numtext::Failure& failure : finisher_.TakeFailures()) ShowFailure(failure);
  bool changed = infoChanged_;
  infoChanged_ = false;
  return changed;
}

void BlockCapture::WaitForFiles() {
  finisher_.WaitUntilIdle();
}

}  // namespace acquisition
