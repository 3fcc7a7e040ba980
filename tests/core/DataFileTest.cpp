#include "DataFile.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>

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
  void SetUp() override {
    TempDirTest::SetUp();
    file = dir / "KZB7315 0.txt";
  }
  fs::path file;
  // Everything in the directory but `file`: no temporary file may be left behind.
  std::vector<std::string> Others() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path() != file) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Whatever holds the file's name, the program never opens it: a FIFO cannot block it and a
// link cannot lead it elsewhere. What cannot be replaced safely is refused, kept intact.
TEST_F(WriteWholeFileTest, WhatHoldsTheNameIsReplacedWholeOrKept) {
  struct Case {
    const char* what;
    std::function<void()> plant;
    bool replaced;
  } cases[] = {
      {"nothing", [] {}, true},
      {"an earlier file", [&] { std::ofstream(file) << std::string(100000, 'x'); }, true},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(file.c_str(), 0644), 0); }, true},
      {"a link", [&] { fs::create_symlink(dir / "precious", file); }, true},
      {"a directory", [&] { fs::create_directory(file); }, false},
      {"a read-only file",
       [&] {
         std::ofstream(file) << "keep";
         fs::permissions(file, fs::perms::owner_read);
       },
       false},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "precious") << "precious";
    c.plant();
    const auto before = fs::symlink_status(file).type();
    const auto written = WriteWholeFile(file.string(), "new");
    EXPECT_EQ(bool(written), c.replaced) << c.what;
    if (c.replaced) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << c.what;
      EXPECT_EQ(ReadFile(file), "new") << c.what;
    } else {
      EXPECT_EQ(written.failure().subject, file.string()) << c.what;
      EXPECT_FALSE(written.failure().reason.empty()) << c.what;
      EXPECT_EQ(fs::symlink_status(file).type(), before) << c.what;
    }
    EXPECT_EQ(ReadFile(dir / "precious"), "precious") << c.what;
    EXPECT_EQ(Others(), std::vector<std::string>{"precious"}) << c.what;
  }
}

TEST_F(WriteWholeFileTest, FailuresSayWhyAndLeaveNothingBehind) {
  struct Case {
    const char* what;
    fs::path path;
  } cases[] = {{"missing directory", dir / "missing" / "f.txt"},
               {"a file where the directory should be", dir / "plain" / "f.txt"},
               {"a directory that takes no files", "/proc/KZB7315 0.txt"}};
  std::ofstream(dir / "plain") << "x";
  for (const Case& c : cases) {
    const auto written = WriteWholeFile(c.path.string(), "data");
    ASSERT_FALSE(written) << c.what;
    EXPECT_EQ(written.failure().kind, numtext::Failure::Kind::FileNotWritten);
    EXPECT_FALSE(written.failure().reason.empty()) << c.what;
  }
  EXPECT_EQ(Others(), std::vector<std::string>{"plain"});
}

// A disk that fills up in the middle of the file: the earlier file stays whole.
TEST_F(WriteWholeFileTest, ADiskFullMidwayKeepsTheEarlierFile) {
  std::ofstream(file) << "earlier";
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  auto savedHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 36864;
  setrlimit(RLIMIT_FSIZE, &small);
  const auto written = WriteWholeFile(file.string(), std::string(82000, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);
  ASSERT_FALSE(written);
  EXPECT_EQ(ReadFile(file), "earlier");
  EXPECT_TRUE(Others().empty());
}

// Killed after writing but before the file is moved into place: the earlier file is intact,
// and the temporary file left behind is cleared away at the next start.
TEST_F(WriteWholeFileTest, AKillWhileWritingKeepsTheEarlierFile) {
  std::ofstream(file) << "earlier";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto pending = WriteTemporaryFile(file.string(), std::string(82000, 'x'));
    raise(SIGKILL);
    _exit(pending ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadFile(file), "earlier");
  ASSERT_EQ(Others().size(), 1u);
  EXPECT_TRUE(Others()[0].starts_with(".KZB7315 0.txt."));
  RemoveLeftoverTemporaryFiles(dir.string());
  EXPECT_TRUE(Others().empty());
}

}  // namespace
