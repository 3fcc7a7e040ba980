#include "BlockCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "DataFile.h"
#include "TempDirTest.h"

using namespace acquisition;
namespace fs = std::filesystem;

namespace {

class BlockCaptureTest : public TempDirTest {
 protected:
  void BeginRun(BlockCapture& capture, int16_t files, int16_t blocksPerFile) {
    capture.BeginRun(files);
    capture.BlocksPerFile = blocksPerFile;
    capture.SaveBlockIndex = 0;
  }
  // Feeds one block and returns the status line if the block changed it.
  std::string Feed(BlockCapture& capture, int16_t fill = 0) {
    std::vector<int16_t> block(64 * 300, fill);
    capture.Capture(block.data(), 64, 300);
    return capture.TakeInfoChange() ? capture.Info() : "(unchanged)";
  }
};

TEST_F(BlockCaptureTest, ThreeFilesOfTwoBlocks) {
  BlockCapture capture(dir.string());
  BeginRun(capture, 3, 2);
  const char* expected[] = {"正在采集，准备保存！", "保存数据文件到: 2", "(unchanged)",
                            "保存数据文件到: 3",    "(unchanged)",       "保存数据完成!"};
  for (const char* status : expected) {
    ASSERT_TRUE(capture.Wants(1));
    EXPECT_EQ(Feed(capture), status);
  }
  EXPECT_FALSE(capture.Wants(1));
  capture.WaitForFiles();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fs::exists(dir / DataFileName(i))) << i;
  EXPECT_FALSE(fs::exists(dir / DataFileName(3)));
}

TEST_F(BlockCaptureTest, GathersOnlyWhenCheckedExactly) {
  BlockCapture capture(dir.string());
  BeginRun(capture, 1, 1);
  EXPECT_TRUE(capture.Wants(1));
  EXPECT_FALSE(capture.Wants(0));
  EXPECT_FALSE(capture.Wants(2));  // greyed
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

TEST_F(BlockCaptureTest, ANewRunForgetsThePreviousRunsFailure) {
  BlockCapture capture((dir / "not-yet").string());
  BeginRun(capture, 1, 1);
  EXPECT_EQ(Feed(capture), "写入失败:KZB7315 0.txt");
  BeginRun(capture, 1, 2);
  EXPECT_EQ(Feed(capture), "正在采集，准备保存！");
}

}  // namespace
