#include "CardLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "CardIdentity.h"
#include "DllDef.h"
#include "LibraryImage.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

namespace fs = std::filesystem;
using base::Failure;
using CardLibraryFiles = TempDirTest;
using card::ImageCheck;

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lengths an interrupted copy of a library may stop at.
std::vector<size_t> CutLengths(size_t whole) {
  return {0, 1, 63, 64, 4096, whole / 2, whole - 1};
}

TEST(CardLibrary, BindsTheSimulatedCardByNameFromAPath) {
  SimCard_Reset();
  DllDef dll(ADCARD_PATH);
  EXPECT_EQ(dll.Initial(0, 0, 0, 0), 1);
  EXPECT_EQ(dll.StartIntr(10, 300, 0, 64, 50000, 0, 1), 1);
  EXPECT_EQ(dll.StopIntr(), 1);
  EXPECT_EQ(SimCard_CallCount("Initial"), 1);
  int32_t args[8];
  SimCard_LastArgs("StartIntr", args);
  EXPECT_EQ((std::vector<int32_t>(args, args + 7)),
            (std::vector<int32_t>{10, 300, 0, 64, 50000, 0, 1}));
}

TEST_F(CardLibraryFiles, AMissingLibraryIsReportedWithItsPathAndReason) {
  const std::string path = (dir / "libadcard.so").string();
  DllDef dll(path);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto identity = card::RequestIdentity(dll);
    ASSERT_FALSE(identity);
    EXPECT_EQ(identity.failure().kind, Failure::Kind::CardLibraryMissing);
    EXPECT_EQ(identity.failure().subject, path);
    EXPECT_FALSE(identity.failure().reason.empty());
    EXPECT_EQ(identity.failure().cause, Failure::Cause::NotFound);
    EXPECT_EQ(identity.failure().reason.find(path), std::string::npos)
        << "the path is said once: " << identity.failure().reason;
  }
}

// A library cut short anywhere (an update stopped by a full disk) is refused as damaged,
// never handed to the system's loader, which would map pages past its end.
TEST_F(CardLibraryFiles, ALibraryCutShortIsRefusedAsDamaged) {
  const std::string whole = FileBytes(ADCARD_PATH);
  ASSERT_GT(whole.size(), 8192u);
  for (const size_t length : CutLengths(whole.size())) {
    const fs::path path =
        dir / ("cut-" + std::to_string(length) + fs::path(ADCARD_PATH).extension().string());
    std::ofstream(path, std::ios::binary) << whole.substr(0, length);
    DllDef dll(path.string());
    const auto identity = card::RequestIdentity(dll);
    ASSERT_FALSE(identity) << length;
    const Failure& failure = identity.failure();
    EXPECT_EQ(failure.kind, Failure::Kind::CardLibraryMissing) << length;
    EXPECT_EQ(failure.subject, path.string()) << length;
    EXPECT_EQ(failure.cause, Failure::Cause::LibraryDamaged) << length << ": " << failure.reason;
    EXPECT_EQ(failure.reason.find(path.string()), std::string::npos) << failure.reason;
  }
}

// A whole file's headers, tables and sections lie within it; cut anywhere past its
// signature, something they describe does not.
TEST(LibraryImage, ACutLibraryIsTruncatedAndAWholeOneIsNot) {
  const std::string whole = FileBytes(ADCARD_PATH);
  const ImageCheck check = card::CheckLibraryImage(whole);
  ASSERT_EQ(check.shape, ImageCheck::Shape::Whole) << check.fault;
  EXPECT_EQ(card::ImageKindOfHeaders(whole.substr(0, 4096)).kind, check.kind);
  for (const size_t length : CutLengths(whole.size())) {
    const ImageCheck cut = card::CheckLibraryImage(std::string_view(whole).substr(0, length));
    EXPECT_EQ(cut.shape, length < 4 ? ImageCheck::Shape::NotAnImage : ImageCheck::Shape::Truncated)
        << length;
  }
}

// The smallest PE library: a DOS header, the PE headers of a 32-bit x86 image, one section
// of 512 bytes at 512.
std::string SmallPe() {
  std::string image(1024, '\0');
  auto put = [&](size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
  };
  image[0] = 'M';
  image[1] = 'Z';
  put(0x3c, 64, 4);
  image.replace(64, 4, std::string("PE\0\0", 4));
  put(68, 0x14c, 2);      // Machine: i386
  put(70, 1, 2);          // one section
  put(84, 224, 2);        // the optional header's size
  put(88, 0x10b, 2);      // PE32
  put(88 + 60, 512, 4);   // SizeOfHeaders
  put(88 + 92, 16, 4);    // data directories
  put(312 + 16, 512, 4);  // the section's raw size
  put(312 + 20, 512, 4);  // and where it starts
  return image;
}

TEST(LibraryImage, PeImages) {
  struct Case {
    const char* what;
    size_t at;  // a field to change, 0 for none
    uint32_t value;
    int width;
    size_t length;  // of the file
    ImageCheck::Shape shape;
  } cases[] = {
      {"whole", 0, 0, 0, 1024, ImageCheck::Shape::Whole},
      {"cut by a byte", 0, 0, 0, 1023, ImageCheck::Shape::Truncated},
      {"cut in the headers", 0, 0, 0, 300, ImageCheck::Shape::Truncated},
      {"no PE signature", 64, 0, 4, 1024, ImageCheck::Shape::NotAnImage},
      {"PE headers past the end", 0x3c, 0xfffffff0u, 4, 1024, ImageCheck::Shape::Truncated},
      {"sections past the end", 70, 0xffff, 2, 1024, ImageCheck::Shape::Truncated},
      {"section data past the end", 312 + 20, 0xfffffe00u, 4, 1024, ImageCheck::Shape::Truncated},
      {"certificates past the end", 88 + 96 + 36, 2000, 4, 1024, ImageCheck::Shape::Truncated},
      {"symbols past the end", 76, 1022, 4, 1024, ImageCheck::Shape::Truncated},
  };
  for (const Case& c : cases) {
    std::string image = SmallPe();
    for (int i = 0; i < c.width; ++i) image[c.at + i] = static_cast<char>(c.value >> (8 * i));
    const ImageCheck check = card::CheckLibraryImage(image.substr(0, c.length));
    EXPECT_EQ(check.shape, c.shape) << c.what << ": " << check.fault;
    if (c.shape == ImageCheck::Shape::Whole) {
      EXPECT_EQ(check.kind.Text(), "PE 32-bit, machine 332");
    }
  }
}

TEST_F(CardLibraryFiles, ALibraryCopiedIntoPlaceLaterIsUsedAtTheNextStep) {
  const fs::path path = dir / "libadcard.so";
  DllDef dll(path.string());
  EXPECT_FALSE(acquisition::StopAcquisition(dll));
  fs::copy_file(ADCARD_PATH, path);
  EXPECT_FALSE(card::RequestIdentity(dll)) << "one load attempt until a step looks again";
  EXPECT_TRUE(acquisition::StopAcquisition(dll));
  EXPECT_TRUE(dll.library().IsSimulated());
}

TEST(CardLibrary, AMissingEntryPointIsNamedWhileOthersWork) {
  DllDef dll(ADCARD_INCOMPLETE_PATH);
  EXPECT_TRUE(acquisition::StopAcquisition(dll));
  const auto start = acquisition::StartAcquisition(dll);
  ASSERT_FALSE(start);
  EXPECT_EQ(start.failure().kind, Failure::Kind::EntryPointMissing);
  EXPECT_EQ(start.failure().subject, "Initial");
  EXPECT_EQ(card::RequestIdentity(dll).value(), "卡名: 9 9 类型: 9  速度: 90K  精度: 9位");
  EXPECT_FALSE(dll.library().IsSimulated());
}

TEST(CardIdentity, Lines) {
  struct Case {
    uint8_t reply[5];
    const char* line;
  } cases[] = {
      {{12, 34, 5, 16, 1}, "卡名: 12 34 类型: 1  速度: 50K  精度: 16位"},
      {{0, 0, 0, 0, 0}, "卡名: 0 0 类型: 0  速度: 0K  精度: 0位"},
      {{255, 255, 255, 255, 255}, "卡名: 255 255 类型: 255  速度: 2550K  精度: 255位"},
  };
  for (const Case& c : cases) EXPECT_EQ(card::IdentityLine(c.reply), c.line);
}

TEST(CardIdentity, SendsTheRequestBytes) {
  SimCard_Reset();
  DllDef dll(ADCARD_PATH);
  EXPECT_EQ(card::RequestIdentity(dll).value(), "卡名: 73 10 类型: 1  速度: 50K  精度: 16位");
  EXPECT_EQ(dll.IoctlIn[0], 70);
  EXPECT_EQ(dll.IoctlIn[1], 64);
  EXPECT_EQ(dll.IoctlIn[2], 0);
  int32_t args[8];
  SimCard_LastArgs("IOCtl", args);
  EXPECT_EQ(args[0], 100);
  EXPECT_EQ(args[2], 100);
}

}  // namespace
