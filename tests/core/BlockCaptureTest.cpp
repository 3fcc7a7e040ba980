#include "BlockCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "DataFile.h"
#include "TempDirTest.h"
#include "WholeFile.h"

using namespace acquisition;
using namespace base;
namespace fs = std::filesystem;

namespace {

class BlockCaptureTest : public TempDirTest {
 protected:
  void BeginRun(BlockCapture& capture, int16_t files, int16_t blocksPerFile) {
    capture.BeginRun(files, blocksPerFile);
  }
  // Feeds one block and returns the status line if the block changed it.
  std::string Feed(BlockCapture& capture, int16_t fill = 0) {
    std::vector<int16_t> block(64 * 300, fill);
    capture.Capture(BlockView{block.data(), 64, 300});
    return capture.TakeInfoChange() ? capture.Info() : "(unchanged)";
  }
};

TEST_F(BlockCaptureTest, ThreeFilesOfTwoBlocks) {
  BlockCapture capture(dir.string());
  BeginRun(capture, 3, 2);
  const char* expected[] = {"正在采集，准备保存！", "保存数据文件到: 2", "(unchanged)",
                            "保存数据文件到: 3",    "(unchanged)",       "保存数据完成!"};
  for (const char* status : expected) {
    ASSERT_TRUE(capture.Wants(true));
    EXPECT_EQ(Feed(capture), status);
  }
  EXPECT_FALSE(capture.Wants(true));
  capture.WaitForFiles();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fs::exists(dir / DataFileName(i))) << i;
  EXPECT_FALSE(fs::exists(dir / DataFileName(3)));
}

TEST_F(BlockCaptureTest, KeepsTheUnsignedCodesOfThePrintedChannels) {
  BlockCapture capture(dir.string());
  BeginRun(capture, 1, 2);
  Feed(capture, -1);
  Feed(capture, -32768);
  ASSERT_EQ(capture.SaveBuf().size(), 20u * 300 * 4);  // channels 0 to 3 of 20 slots
  EXPECT_EQ(capture.SaveBuf()[0], 65535);              // slot 1, point 0, channel 0
  EXPECT_EQ(capture.SaveBuf()[299 * 4 + 3], 65535);    // slot 1, point 299, channel 3
  EXPECT_EQ(capture.SaveBuf()[300 * 4], 32768);        // slot 2, point 0, channel 0
  capture.WaitForFiles();
  std::ifstream in(dir / DataFileName(0), std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  std::getline(in, line);
  EXPECT_EQ(line, "0,65535,65535,65535,65535\r");
}

TEST_F(BlockCaptureTest, AFailedFileIsRetriedWithTheSameNumber) {
  BlockCapture capture((dir / "not-yet").string());
  BeginRun(capture, 2, 2);
  EXPECT_EQ(Feed(capture), "正在采集，准备保存！");
  EXPECT_EQ(Feed(capture), "写入失败:KZB7315 0.txt");
  EXPECT_NE(capture.InfoDetail().find((dir / "not-yet" / "KZB7315 0.txt").string()),
            std::string::npos);
  EXPECT_EQ(capture.SaveFileIndex, 0);
  EXPECT_EQ(capture.SaveBlockIndex, 0);
  EXPECT_EQ(Feed(capture), "(unchanged)");  // the failure stays up until the retry
  fs::create_directories(dir / "not-yet");
  EXPECT_EQ(Feed(capture), "保存数据文件到: 2");
  capture.WaitForFiles();
  EXPECT_TRUE(fs::exists(dir / "not-yet" / DataFileName(0)));
}

// A disk that fails or lags when a test says: a stand-in for the whole-file write.
struct FakeDisk {
  static inline std::atomic<int> failuresLeft{0};  // the next writes that fail
  static inline std::mutex mutex;
  static inline std::condition_variable opened;
  static inline bool shut = false;  // while shut, every write waits
  static base::Result<> Write(const std::string& path, std::string_view bytes) {
    std::unique_lock lock(mutex);
    opened.wait(lock, [] { return !shut; });
    if (failuresLeft > 0) {
      --failuresLeft;
      return base::Failure{base::Failure::Kind::FileNotWritten, path, "I/O error"};
    }
    return WriteWholeFile(path, bytes);
  }
  static void Shut(bool on) {
    {
      std::lock_guard lock(mutex);
      shut = on;
    }
    opened.notify_all();
  }
};

// "Saved" means on disk: a file that fails is never hidden by a later success, is written
// again under its own number, and the run is complete only when every file has landed.
TEST_F(BlockCaptureTest, AFileThatFailsOnDiskIsShownAndWrittenAgain) {
  BlockCapture capture(dir.string(), FakeDisk::Write);
  BeginRun(capture, 2, 1);
  FakeDisk::failuresLeft = 1;
  FakeDisk::Shut(true);
  EXPECT_EQ(Feed(capture), "保存数据文件到: 2");
  FakeDisk::Shut(false);
  EXPECT_EQ(Feed(capture), "写入失败:KZB7315 0.txt");  // the last file's tick waits for both
  EXPECT_NE(capture.InfoDetail().find("I/O error"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / DataFileName(0)));
  capture.WaitForFiles();  // tries it again now
  EXPECT_TRUE(capture.TakeInfoChange());
  EXPECT_EQ(capture.Info(), "保存数据完成!");
  EXPECT_TRUE(fs::exists(dir / DataFileName(0)));
  EXPECT_TRUE(fs::exists(dir / DataFileName(1)));
  EXPECT_FALSE(capture.TakeLog().empty());  // the failure went to standard error too
}

// A disk slower than the card: a few files wait, then gathering pauses with its reason,
// and nothing waits without bound.
TEST_F(BlockCaptureTest, ASlowDiskPausesGatheringInsteadOfQueueingWithoutBound) {
  BlockCapture capture(dir.string(), FakeDisk::Write);
  BeginRun(capture, 6, 1);
  FakeDisk::Shut(true);
  for (int i = 0; i < 3; ++i) Feed(capture);
  EXPECT_EQ(Feed(capture), "等待磁盘写入…");
  EXPECT_FALSE(capture.Wants(true));
  EXPECT_EQ(capture.FinishFiles(std::chrono::milliseconds(10)).size(), 4u);  // 3 and the one kept
  FakeDisk::Shut(false);
  capture.WaitForFiles();
  EXPECT_TRUE(capture.Wants(true));
  EXPECT_EQ(capture.Info(), "保存数据文件到: 5");
  EXPECT_EQ(capture.SaveFileIndex, 4);
  while (capture.Wants(true)) Feed(capture);
  EXPECT_EQ(capture.Info(), "保存数据完成!");
  EXPECT_TRUE(capture.FinishFiles(std::chrono::seconds(5)).empty());
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(fs::exists(dir / DataFileName(i))) << i;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Stop and Start while a slow disk still holds finished files: the new run drops only the
// file being gathered; the finished ones land, each before the new run's file of its name.
TEST_F(BlockCaptureTest, ANewRunLandsEveryFinishedFileOfTheLastOne) {
  BlockCapture capture(dir.string(), FakeDisk::Write);
  BeginRun(capture, 20, 1);
  FakeDisk::Shut(true);
  for (int i = 0; i < 4; ++i) Feed(capture, 1);  // 1 writing, 2 queued, 1 kept waiting
  EXPECT_EQ(capture.Info(), "等待磁盘写入…");
  BeginRun(capture, 20, 1);
  EXPECT_TRUE(capture.Wants(true));  // the old run's files do not pause the new one
  Feed(capture, 2);                  // the new file 0 waits behind them
  EXPECT_EQ(capture.FinishFiles(std::chrono::milliseconds(10)).size(), 5u);
  FakeDisk::Shut(false);
  capture.WaitForFiles();
  EXPECT_TRUE(capture.FinishFiles(std::chrono::seconds(5)).empty());
  EXPECT_NE(FileText(dir / DataFileName(0)).find("\r\n0,2,2,2,2\r\n"), std::string::npos);
  for (int i = 1; i < 4; ++i) {
    EXPECT_NE(FileText(dir / DataFileName(i)).find("\r\n0,1,1,1,1\r\n"), std::string::npos) << i;
  }
  EXPECT_FALSE(fs::exists(dir / DataFileName(4)));
  for (const std::string& line : capture.TakeLog()) ADD_FAILURE() << line;  // none given up
}

// A finished file that fails on disk stays shown after a new Start, until it lands or the
// new run writes its name.
TEST_F(BlockCaptureTest, ALastRunsFailedFileStaysShownUntilANewFileTakesItsName) {
  BlockCapture capture(dir.string(), FakeDisk::Write);
  FakeDisk::failuresLeft = 1000;
  BeginRun(capture, 1, 1);
  EXPECT_EQ(Feed(capture), "写入失败:KZB7315 0.txt");
  BeginRun(capture, 1, 2);
  EXPECT_EQ(Feed(capture), "(unchanged)");
  EXPECT_EQ(capture.Info(), "写入失败:KZB7315 0.txt");
  FakeDisk::failuresLeft = 0;
  Feed(capture, 3);
  capture.WaitForFiles();
  EXPECT_EQ(capture.Info(), "保存数据完成!");
  EXPECT_NE(FileText(dir / DataFileName(0)).find("\r\n0,3,3,3,3\r\n"), std::string::npos);
}

TEST_F(BlockCaptureTest, ANewRunForgetsThePreviousRunsFailure) {
  BlockCapture capture((dir / "not-yet").string());
  BeginRun(capture, 1, 1);
  EXPECT_EQ(Feed(capture), "写入失败:KZB7315 0.txt");
  BeginRun(capture, 1, 2);
  EXPECT_EQ(Feed(capture), "正在采集，准备保存！");
}

}  // namespace
