#include "BlockCapture.h"

#include <algorithm>
#include <cstddef>

#include "DataFile.h"
#include "NumberForms.h"
#include "WholeFile.h"

namespace acquisition {

namespace {

// After the status that follows a file whose blocks are not all consecutive because some were
// lost, and after every status of that run since.
constexpr std::string_view kLossSuffix = "丢块";  // the label has room for two more characters
constexpr std::string_view kLossDetail =
    "这一轮采集中有数据块丢失：程序跟不上板卡，文件中的数据块不全是连续的 (blocks were lost "
    "during this run: the files' blocks are not all consecutive)";

}  // namespace

BlockCapture::BlockCapture(std::string dataDirectory, FileFinisher::Writer writer)
    : directory_(std::move(dataDirectory)), finisher_(writer) {}

void BlockCapture::BeginRun(int16_t fileCount, std::optional<int16_t> blocksPerFile) {
  SaveFileCount = fileCount;
  SaveFileIndex = 0;
  if (blocksPerFile) {
    BlocksPerFile = *blocksPerFile;
    SaveBlockIndex = 0;
  }
  writeFailed_ = false;
  ++run_;
  lossInFile_ = lossInRun_ = false;
  landed_ = 0;
  completionPending_ = false;
}

void BlockCapture::NoteLoss() {
  if (SaveBlockIndex > 0) lossInFile_ = true;
}

void BlockCapture::Capture(const BlockView& block) {
  const int channels = block.channels, points = block.points;
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
      slot[pt * kPrintedChannels + ch] =
          cell < cells ? static_cast<uint16_t>(block.cells[cell]) : 0;
    }
  }
  channels_ = channels;
  points_ = kept;
  ++SaveBlockIndex;

  // While a failed file waits for its retry, its message stays up.
  if (SaveFileIndex == 0 && !writeFailed_ && failing_.empty()) SetInfo("正在采集，准备保存！");

  if (SaveBlockIndex == BlocksPerFile) {
    const bool started = SaveBlocksToFile();
    SaveBlockIndex = 0;
    if (!started) return;  // the next BlocksPerFile blocks try the same file again
    HandWaiting();
    if (completionPending_) Collect();
    ShowProgress();
  }
}

// The bytes are made here; the disk is touched only by the finisher. What is quick to check
// (the folder, what holds the name) is checked first, so the tick that completes a file into
// a missing folder says so at once.
bool BlockCapture::SaveBlocksToFile() {
  const std::string path = DataFilePath(directory_, SaveFileIndex);
  auto target = base::CheckWriteTarget(path);
  writeFailed_ = !target;
  if (writeFailed_) {
    ShowFailure(target.failure());
    log_.push_back(target.failure().subject + ": " + target.failure().reason);
    return false;
  }
  WaitingFile& file = waiting_.emplace_back(WaitingFile{run_, SaveFileIndex, path, {}});
  FormatDataFile(file.bytes, saveBuf_.data(), BlocksPerFile, channels_, points_);
  lossInRun_ = lossInRun_ || lossInFile_;
  lossInFile_ = false;
  return true;
}

bool BlockCapture::HandWaiting() {
  bool handedOwn = false;
  while (!waiting_.empty()) {
    WaitingFile& file = waiting_.front();
    if (!finisher_.Hand(file.run, file.number, file.path, file.bytes)) break;
    const bool own = file.run == run_;
    handedOwn = handedOwn || own;
    waiting_.pop_front();  // its bytes went with the file
    if (own && ++SaveFileIndex == SaveFileCount) {
      // The run's last file: it is done only when every file is on disk.
      completionPending_ = true;
      finisher_.Settle(kCompletionWait, false);
    }
  }
  return handedOwn;
}

void BlockCapture::ShowProgress() {
  if (!failing_.empty()) return;  // a failure is never hidden by a later success
  std::string text;
  if (OwnFileWaits()) {
    SetInfo("等待磁盘写入…", "前面的数据文件还没有写完，暂停采集 (the disk is behind the card)");
    return;
  } else if (completionPending_) {
    text = "正在保存数据…";
  } else if (SaveFileIndex == SaveFileCount) {
    text = "保存数据完成!";
  } else if (SaveFileIndex == 0) {
    text = "正在采集，准备保存！";
  } else {
    text = "保存数据文件到:" + numtext::SignedColumn(SaveFileIndex + 1);
  }
  if (lossInRun_ && SaveFileIndex > 0) {
    SetInfo(text + std::string(kLossSuffix), kLossDetail);
  } else {
    SetInfo(text);
  }
}

// What the finisher did since the last look.
void BlockCapture::Collect() {
  const bool resumed = HandWaiting();  // room again on the disk: gathering goes on
  const bool wasFailing = !failing_.empty();
  for (const FileResult& r : finisher_.TakeResults()) {
    if (r.superseded) {
      failing_.erase(r.path);
      log_.push_back(r.path + ": 由同名的新文件取代 replaced by a later file of its name" +
                     (r.failure.reason.empty() ? "" : " (" + r.failure.reason + ")"));
      continue;
    }
    if (r.landed) {
      if (failing_.erase(r.path)) log_.push_back(r.path + ": 已写入 written after all");
      if (r.run == run_) ++landed_;
      continue;
    }
    // Said once a file; it is tried again until it lands or a file of its name replaces it.
    if (!failing_.count(r.path)) {
      log_.push_back(r.failure.subject + ": " + r.failure.reason + " (will be tried again)");
    }
    failing_[r.path] = r.failure;
    ShowFailure(r.failure);
  }
  const bool wasPending = completionPending_;
  if (completionPending_ && landed_ >= SaveFileCount) completionPending_ = false;
  if (resumed || (failing_.empty() && (wasFailing || (wasPending && !completionPending_)))) {
    ShowProgress();
  }
}

void BlockCapture::ShowFailure(const base::Failure& failure) {
  SetInfo("写入失败:" + base::FileNameOfPath(failure.subject),
          failure.subject + ": " + failure.reason);
}

// Assigned in place: the status line is set for every block of a run's first file, and the
// tick must not allocate.
void BlockCapture::SetInfo(std::string_view text, std::string_view detail) {
  info_.assign(text);
  infoDetail_.assign(detail);
  infoChanged_ = true;
}

bool BlockCapture::TakeInfoChange() {
  Collect();
  bool changed = infoChanged_;
  infoChanged_ = false;
  return changed;
}

std::vector<std::string> BlockCapture::TakeLog() {
  return std::exchange(log_, {});
}

void BlockCapture::WaitForFiles() {
  finisher_.Settle(FileFinisher::kExitWait, true);
  Collect();
}

std::vector<std::string> BlockCapture::FinishFiles(std::chrono::milliseconds bound) {
  finisher_.Settle(bound, true);
  Collect();
  std::vector<std::string> unfinished;
  for (const FileResult& r : finisher_.Unfinished()) {
    unfinished.push_back(r.path + ": " +
                         (r.failure.reason.empty() ? "not written yet" : r.failure.reason));
  }
  for (const WaitingFile& file : waiting_) {
    unfinished.push_back(file.path + ": still waiting for the disk");
  }
  return unfinished;
}

}  // namespace acquisition
