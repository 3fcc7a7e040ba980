#include "DataFile.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "TempDirTest.h"

using namespace acquisition;
namespace fs = std::filesystem;

namespace {

constexpr int kSlotCells = 32000;

std::string FromGbk(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  std::string out(gbk.size() * 3, '\0');
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size(), outLeft = out.size();
  char* to = out.data();
  iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(DataFile, Names) {
  EXPECT_EQ(DataFileName(0), "KZB7315 0.txt");
  EXPECT_EQ(DataFileName(10), "KZB7315 10.txt");
  EXPECT_EQ(DataFilePath("/tmp", 19), "/tmp/KZB7315 19.txt");
  EXPECT_EQ(DataFilePath("/data/", 1), "/data/KZB7315 1.txt");
  EXPECT_EQ(DirectoryCaption("/tmp"), "文件保存到:/tmp");
}

TEST(DataFile, RecordsAsTheReadersExpectThem) {
  std::vector<float> saveBuf(2 * kSlotCells, 0.0f);
  const float point0[] = {32768, 32770, 32771, 32769}, point1[] = {32767, 32772, 32770, 32768};
  std::copy(std::begin(point0), std::end(point0), saveBuf.begin());
  std::copy(std::begin(point1), std::end(point1), saveBuf.begin() + 64);
  saveBuf[kSlotCells + 299 * 64 + 3] = 65535;

  std::string bytes;
  FormatDataFile(bytes, saveBuf.data(), kSlotCells, 2, 64, 300);

  const std::string header =
      "采集数据文件,通道数: 64 "
      "这里仅仅打印起始的4个通道的数据，数据定义：顺序号，通道1，通道2，通道3，通道4";
  const size_t firstEnd = bytes.find("\r\n");
  const std::string firstRecord = bytes.substr(0, firstEnd);
  // GBK: two bytes per Chinese character, "采" is B2 C9 and "集" BC AF.
  EXPECT_EQ(firstRecord.substr(0, 5), "\"\xB2\xC9\xBC\xAF");
  EXPECT_EQ(FromGbk(firstRecord), "\"" + header + "\"");

  const std::string body =
      "\r\n\"----------------Block 1------------------\"\r\n"
      "0,32768,32770,32771,32769\r\n"
      "1,32767,32772,32770,32768\r\n"
      "2,0,0,0,0\r\n";
  EXPECT_EQ(bytes.substr(firstEnd, body.size()), body);
  EXPECT_NE(bytes.find("\r\n299,0,0,0,0\r\n\"----------------Block 2------------------\"\r\n0,"),
            std::string::npos);
  const std::string end = "\r\n299,0,0,0,65535\r\n";
  EXPECT_EQ(bytes.substr(bytes.size() - end.size()), end);
}

TEST(DataFile, TenBlocksMake3011Lines) {
  std::vector<float> saveBuf(10 * kSlotCells, 1.0f);
  std::string bytes;
  FormatDataFile(bytes, saveBuf.data(), kSlotCells, 10, 64, 300);
  size_t crlf = 0, lf = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') ++lf;
    if (bytes[i] == '\n' && i > 0 && bytes[i - 1] == '\r') ++crlf;
  }
  EXPECT_EQ(lf, 3011u);
  EXPECT_EQ(crlf, 3011u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

class WriteWholeFileTest : public TempDirTest {
 protected:
  std::string error;
};

TEST_F(WriteWholeFileTest, CreatesAndTruncates) {
  const fs::path file = dir / "KZB7315 0.txt";
  ASSERT_TRUE(WriteWholeFile(file, std::string(100000, 'x'), error)) << error;
  ASSERT_TRUE(WriteWholeFile(file, "short", error)) << error;
  EXPECT_EQ(ReadFile(file), "short");
}

TEST_F(WriteWholeFileTest, FailuresAreReportedNotHidden) {
  struct Case {
    const char* what;
    fs::path path;
  } cases[] = {{"missing directory", dir / "missing" / "f.txt"},
               {"directory in the way", dir},
               {"full disk", "/dev/full"}};
  fs::create_directories(dir / "sub");
  for (const Case& c : cases) {
    error.clear();
    EXPECT_FALSE(WriteWholeFile(c.path, "data", error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST_F(WriteWholeFileTest, DoesNotFollowAPlantedLink) {
  const fs::path target = dir / "target.txt";
  const fs::path link = dir / "KZB7315 0.txt";
  { std::ofstream(target) << "precious"; }
  fs::create_symlink(target, link);
  EXPECT_FALSE(WriteWholeFile(link, "overwritten", error));
  EXPECT_EQ(ReadFile(target), "precious");
}

}  // namespace
