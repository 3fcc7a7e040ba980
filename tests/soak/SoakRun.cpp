// A long run of the whole window: 200,000 blocks with saving switched on and off again and
// again. Every data file written is read back and compared with the blocks that went into
// it, and resident memory must stay flat. Not part of the test command: scripts/soak runs it.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "DataFile.h"
#include "FrmMultiBuf.h"
#include "Gbk.h"
#include "SimCardControl.h"

namespace {

constexpr int kBlockCells = 64 * 300;
constexpr long kBlocks = 200000;
constexpr int kBlocksPerTick = 33;
constexpr long kPhaseBlocks = 4999;  // saving flips between on and off this often
constexpr int kFiles = 20, kBlocksPerFile = 10;

// Block k's code at (pt, ch): every block is different, and its first code names it.
uint16_t Code(long k, int pt, int ch) {
  return static_cast<uint16_t>(k * 131 + pt * 64 + ch);
}

long MemoryKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

std::string ExpectedFile(const std::vector<long>& blocks) {
  std::string gbk;
  base::ToGbk(
      "采集数据文件,通道数: 64 "
      "这里仅仅打印起始的4个通道的数据，数据定义：顺序号，通道1，通道2，通道3，通道4",
      gbk);
  std::string text = "\"" + gbk + "\"\r\n";
  for (size_t b = 0; b < blocks.size(); ++b) {
    text += "\"----------------Block " + std::to_string(b + 1) + "------------------\"\r\n";
    for (int pt = 0; pt < 300; ++pt) {
      text += std::to_string(pt);
      for (int ch = 0; ch < 4; ++ch) text += "," + std::to_string(Code(blocks[b], pt, ch));
      text += "\r\n";
    }
  }
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SimCard_Reset();
  SimCard_SetManualClock(1);
  QTemporaryDir dir;
  FrmMultiBuf window(ADCARD_PATH, dir.path().toStdString());
  window.findChild<QLineEdit*>("txtSaveFileNum")->setText(QString::number(kFiles));
  window.findChild<QLineEdit*>("txtBlockNumMax")->setText(QString::number(kBlocksPerFile));
  auto* saveBox = window.findChild<QCheckBox*>("chkSaveData");
  window.cmdStart_Click();

  // The files as they should be: the blocks each one gathered, in order.
  std::vector<long> gathering;
  int fileIndex = 0;
  long verified = 0, failures = 0, memoryAtStart = 0;
  std::vector<int16_t> cells(kBlockCells);

  for (long k = 0; k < kBlocks;) {
    const bool saving = (k / kPhaseBlocks) % 2 == 0;
    saveBox->setChecked(saving);
    const int count = static_cast<int>(std::min<long>(kBlocksPerTick, kBlocks - k));
    SimCard_ScriptQuery(static_cast<int16_t>(count));
    std::vector<std::pair<int, std::vector<long>>> written;
    for (int i = 0; i < count; ++i, ++k) {
      for (int pt = 0; pt < 300; ++pt)
        for (int ch = 0; ch < 64; ++ch) cells[pt * 64 + ch] = static_cast<int16_t>(Code(k, pt, ch));
      SimCard_ScriptFetch(1, cells.data());
      if (saving && fileIndex < kFiles) {
        gathering.push_back(k);
        if (static_cast<int>(gathering.size()) == kBlocksPerFile) {
          written.emplace_back(fileIndex++, gathering);
          gathering.clear();
        }
      }
    }
    window.TimerAD_Timer();
    // What the event loop does between two ticks (the text field posts its layout work);
    // the timers themselves stay quiet, so only this loop feeds the card's script.
    QCoreApplication::sendPostedEvents();
    if (!written.empty()) window.WaitForDataFiles();

    for (const auto& [number, blocks] : written) {
      QFile file(dir.filePath(QString::fromStdString(acquisition::DataFileName(number))));
      const bool ok =
          file.open(QIODevice::ReadOnly) && file.readAll().toStdString() == ExpectedFile(blocks);
      if (!ok) {
        std::fprintf(stderr, "file %d with blocks from %ld is not as written\n", number,
                     blocks.front());
        ++failures;
      }
      ++verified;
    }
    if (fileIndex == kFiles) {  // a complete run: start another, numbering from 0 again
      window.cmdStart_Click();
      fileIndex = 0;
      gathering.clear();
    }
    if (k / 20000 != (k - count) / 20000) std::printf("  %6ld blocks: %ld kB\n", k, MemoryKb());
    if (memoryAtStart == 0 && k >= 1000) memoryAtStart = MemoryKb();
  }

  const long memoryAtEnd = MemoryKb();
  const double growthMb = static_cast<double>(memoryAtEnd - memoryAtStart) / 1024;
  const bool flat = growthMb < 2.0;
  std::printf(
      "soak: %ld blocks, %ld files verified, %ld wrong; resident memory %.1f MB after "
      "1000 blocks, %.1f MB at the end (%+.2f MB): %s\n",
      kBlocks, verified, failures, static_cast<double>(memoryAtStart) / 1024,
      static_cast<double>(memoryAtEnd) / 1024, growthMb, flat ? "flat" : "GROWING");
  return failures == 0 && flat && verified > 0 ? 0 : 1;
}
