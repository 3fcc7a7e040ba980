#include "DataFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "DataFileTestSupport.h"
#include "WholeFile.h"

using namespace acquisition;
using namespace base;
namespace fs = std::filesystem;

namespace {

constexpr int kSlotCodes = 300 * 4;  // four channels' codes at 300 points

// The header record's text in GBK, two bytes per Chinese character.
const char kHeaderGbk[] =
    "\xb2\xc9\xbc\xaf\xca\xfd\xbe\xdd\xce\xc4\xbc\xfe,\xcd\xa8\xb5\xc0\xca\xfd: 64 "
    "\xd5\xe2\xc0\xef\xbd\xf6\xbd\xf6\xb4\xf2\xd3\xa1\xc6\xf0\xca\xbc\xb5\xc4"
    "4\xb8\xf6\xcd\xa8\xb5\xc0\xb5\xc4\xca\xfd\xbe\xdd\xa3\xac\xca\xfd\xbe\xdd\xb6"
    "\xa8\xd2\xe5\xa3\xba\xcb\xb3\xd0\xf2\xba\xc5\xa3\xac\xcd\xa8\xb5\xc0"
    "1\xa3\xac\xcd\xa8\xb5\xc0"
    "2\xa3\xac\xcd\xa8\xb5\xc0"
    "3\xa3\xac\xcd\xa8\xb5\xc0"
    "4";

TEST(DataFile, Names) {
  EXPECT_EQ(DataFileName(0), "KZB7315 0.txt");
  EXPECT_EQ(DataFileName(10), "KZB7315 10.txt");
  EXPECT_EQ(DataFileName(19), "KZB7315 19.txt");
}

TEST(DataFile, RecordsAsTheReadersExpectThem) {
  std::vector<uint16_t> codes(2 * kSlotCodes, 0);
  const uint16_t point0[] = {32768, 32770, 32771, 32769}, point1[] = {32767, 32772, 32770, 32768};
  std::copy(std::begin(point0), std::end(point0), codes.begin());
  std::copy(std::begin(point1), std::end(point1), codes.begin() + 4);
  codes[kSlotCodes + 299 * 4 + 3] = 65535;

  std::string bytes;
  FormatDataFile(bytes, codes.data(), 2, 64, 300);

  const size_t firstEnd = bytes.find("\r\n");
  EXPECT_EQ(bytes.substr(0, firstEnd), "\"" + std::string(kHeaderGbk) + "\"");

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

// Every width of number the records hold, each written without sign, padding or point.
TEST(DataFile, NumbersOfEveryWidth) {
  std::vector<uint16_t> codes(kSlotCodes, 7);
  const uint16_t widths[] = {0, 9, 10, 99, 100, 999, 1000, 9999, 10000, 65535, 32768, 1};
  std::copy(std::begin(widths), std::end(widths), codes.begin());
  std::string bytes;
  FormatDataFile(bytes, codes.data(), 1, 64, 300);
  for (const char* record :
       {"\n0,0,9,10,99\r\n1,100,999,1000,9999\r\n2,10000,65535,32768,1\r\n3,7,7,7,7\r\n",
        "\n9,7,7,7,7\r\n10,7,7,7,7\r\n", "\n99,7,7,7,7\r\n100,7,7,7,7\r\n", "\n299,7,7,7,7\r\n"}) {
    EXPECT_NE(bytes.find(record), std::string::npos) << record;
  }
}

TEST(DataFile, TenBlocksMake3011Lines) {
  std::vector<uint16_t> codes(10 * kSlotCodes, 1);
  std::string bytes;
  FormatDataFile(bytes, codes.data(), 10, 64, 300);
  size_t crlf = 0, lf = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') ++lf;
    if (bytes[i] == '\n' && i > 0 && bytes[i - 1] == '\r') ++crlf;
  }
  EXPECT_EQ(lf, 3011u);
  EXPECT_EQ(crlf, 3011u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

// A temporary file is found by its file's name and kept under one that says what it was.
TEST(WholeFile, TemporaryNamesAndTheirRecovery) {
  struct Case {
    const char* finalName;
    const char* recovered;
  } cases[] = {
      {"KZB7315 0.txt", "KZB7315 0 (recovered Ab3xQz).txt"},
      {"waveform.png", "waveform (recovered Ab3xQz).png"},
      {"report", "report (recovered Ab3xQz)"},
  };
  for (const Case& c : cases) {
    const std::string temporary = TemporaryName(c.finalName, "Ab3xQz");
    EXPECT_EQ(RecoveredName(temporary), c.recovered) << c.finalName;
    EXPECT_EQ(IsTemporaryName(temporary, "KZB7315 "), c.finalName[0] == 'K') << c.finalName;
  }
  EXPECT_FALSE(IsTemporaryName("KZB7315 0.txt", "KZB7315 "));
}

// Whatever holds the file's name, the program never opens it, so nothing there can block
// it or lead it elsewhere. What cannot be replaced safely is refused, kept intact.
TEST_F(WriteWholeFileTest, WhatHoldsTheNameIsReplacedWholeOrKept) {
  struct Case {
    const char* what;
    std::function<void()> plant;
    bool replaced;
  };
  std::vector<Case> cases = {
      {"nothing", [] {}, true},
      {"an earlier file", [&] { std::ofstream(file) << std::string(100000, 'x'); }, true},
      {"a directory", [&] { fs::create_directory(file); }, false},
      {"a read-only file",
       [&] {
         std::ofstream(file) << "keep";
         fs::permissions(file, fs::perms::owner_read);
       },
       false},
  };
  for (auto& [what, plant, replaced] : PlatformPlants(file, dir / "precious")) {
    cases.push_back({what, plant, replaced});
  }
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

}  // namespace
