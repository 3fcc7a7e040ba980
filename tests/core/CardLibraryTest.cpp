#include "CardLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CardIdentity.h"
#include "DllDef.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

namespace fs = std::filesystem;
using base::Failure;
using CardLibraryFiles = TempDirTest;

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
