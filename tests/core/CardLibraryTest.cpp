#include "CardLibrary.h"

#include <gtest/gtest.h>

#include "CardIdentity.h"
#include "DllDef.h"
#include "SimCardControl.h"

namespace {

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

TEST(CardLibrary, AMissingLibraryIsReportedAtEveryCall) {
  DllDef dll("/nonexistent/libadcard.so");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      dll.QueryBuf();
      FAIL() << "no exception";
    } catch (const card::CardUnavailable& e) {
      EXPECT_EQ(e.reason, card::CardUnavailable::Reason::LibraryMissing);
      EXPECT_EQ(e.subject, "/nonexistent/libadcard.so");
    }
  }
}

TEST(CardLibrary, AMissingEntryPointIsReportedWhileOthersWork) {
  DllDef dll(ADCARD_INCOMPLETE_PATH);
  EXPECT_EQ(dll.StopIntr(), 1);
  try {
    dll.Initial(0, 0, 0, 0);
    FAIL() << "no exception";
  } catch (const card::CardUnavailable& e) {
    EXPECT_EQ(e.reason, card::CardUnavailable::Reason::EntryPointMissing);
    EXPECT_EQ(e.subject, "Initial");
  }
  EXPECT_EQ(card::RequestIdentity(dll), "卡名: 9 9 类型: 9  速度: 90K  精度: 9位");
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
  EXPECT_EQ(card::RequestIdentity(dll), "卡名: 73 10 类型: 1  速度: 50K  精度: 16位");
  EXPECT_EQ(dll.IoctlIn[0], 70);
  EXPECT_EQ(dll.IoctlIn[1], 64);
  EXPECT_EQ(dll.IoctlIn[2], 0);
  int32_t args[8];
  SimCard_LastArgs("IOCtl", args);
  EXPECT_EQ(args[0], 100);
  EXPECT_EQ(args[2], 100);
}

}  // namespace
