// Loading the card library on Windows: the card maker's decorated export names, MinGW's
// stdcall names and plain ones, and the system's reason when a DLL cannot be loaded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CardIdentity.h"
#include "DllDef.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

using base::Failure;
using CardLibraryFiles = TempDirTest;

TEST(CardLibraryWindows, EntryPointsAreFoundInEveryFormOfTheirName) {
  for (const char* path : {ADCARD_INCOMPLETE_PATH, ADCARD_STDCALL_PATH, ADCARD_PLAIN_PATH}) {
    DllDef dll(path);
    EXPECT_TRUE(acquisition::StopAcquisition(dll)) << path;
    EXPECT_EQ(card::RequestIdentity(dll).value(), "卡名: 9 9 类型: 9  速度: 90K  精度: 9位")
        << path;
  }
}

TEST(CardLibraryWindows, AMissingEntryPointNamesEveryFormLookedFor) {
  DllDef dll(ADCARD_INCOMPLETE_PATH);
  const auto start = acquisition::StartAcquisition(dll);
  ASSERT_FALSE(start);
  EXPECT_NE(start.failure().reason.find("(looked for _Initial@16, Initial@16, Initial)"),
            std::string::npos)
      << start.failure().reason;
}

TEST_F(CardLibraryFiles, AFailedLoadCarriesTheSystemsReason) {
  const std::filesystem::path corrupt = dir / "adcard.dll";
  std::ofstream(corrupt, std::ios::binary) << "MZ not a library" << std::string(300, '\0');
  std::vector<std::string> paths = {(dir / "missing.dll").string(), corrupt.string()};
  // The simulated card of the other architecture, when the build made one.
  const char* other = std::getenv("KZB_OTHER_ARCHITECTURE_DLL");
  if (other && *other) paths.push_back(other);
  for (const std::string& path : paths) {
    DllDef dll(path);
    const auto identity = card::RequestIdentity(dll);
    ASSERT_FALSE(identity) << path;
    EXPECT_EQ(identity.failure().kind, Failure::Kind::CardLibraryMissing);
    // The system's message with its error number, "(126)" or "(193)".
    EXPECT_NE(identity.failure().reason.find('('), std::string::npos)
        << path << ": " << identity.failure().reason;
  }
}

}  // namespace
