// Data files on Windows: names and the directory the window names.
#include <gtest/gtest.h>

#include "DataDirectory.h"
#include "DataFile.h"
#include "DataFileTestSupport.h"
#include "WholeFile.h"

using namespace acquisition;
using namespace base;

std::vector<PlantedThing> PlatformPlants(const std::filesystem::path&,
                                         const std::filesystem::path&) {
  return {};
}

namespace {

TEST(DataFileWindows, NamesAndDirectory) {
  EXPECT_EQ(DefaultDataDirectory(), "c:\\temp");
  EXPECT_EQ(DirectoryCaption("c:\\temp"), "文件保存到:c:\\Temp");
  EXPECT_EQ(DataFilePath("c:\\temp", 0), "c:\\temp\\KZB7315 0.txt");
  EXPECT_EQ(DataFilePath("d:\\data\\", 19), "d:\\data\\KZB7315 19.txt");
  EXPECT_EQ(FileNameOfPath("c:\\temp\\KZB7315 1.txt"), "KZB7315 1.txt");
  EXPECT_EQ(FileNameOfPath("C:/Users/op/Temp/view.png"), "view.png");
}

TEST_F(WriteWholeFileTest, AMissingDirectoryIsReportedWithTheSystemsReason) {
  const auto written = WriteWholeFile((dir / "missing" / "KZB7315 0.txt").string(), "data");
  ASSERT_FALSE(written);
  EXPECT_NE(written.failure().reason.find("("), std::string::npos) << written.failure().reason;
}

}  // namespace
