// Loading the card library on Linux: what dlopen says reaches the caller, and the snapshot
// the program runs on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CardIdentity.h"
#include "DllDef.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

namespace fs = std::filesystem;
using base::Failure;
using CardLibraryFiles = TempDirTest;

// The start of a 32-bit ELF shared object for another machine.
std::string ElfHeaderOfMachine(uint16_t machine) {
  std::string header(52, '\0');
  header.replace(0, 4,
                 "\x7f"
                 "ELF");
  header[4] = 1;  // 32-bit
  header[5] = 1;  // little-endian
  header[6] = 1;
  header[16] = 3;  // shared object
  header[18] = static_cast<char>(machine);
  header[20] = 1;
  return header + std::string(512, '\0');
}

// What the system says about a library that cannot be loaded reaches the caller, for a
// missing file and for files that are not a loadable library of this machine.
TEST_F(CardLibraryFiles, AFailedLoadCarriesTheSystemsReason) {
  struct Case {
    const char* what;
    std::string contents;  // empty: no file at all
    const char* reasonPart;
    Failure::Cause cause;
  } cases[] = {
      {"missing", "", "No such file", Failure::Cause::NotFound},
      {"empty", "\n", "file too short", Failure::Cause::LibraryDamaged},
      {"corrupt", "not a library" + std::string(200, '\n'), "invalid ELF header",
       Failure::Cause::LibraryDamaged},
      {"other architecture", ElfHeaderOfMachine(3 /* i386 */), "wrong ELF class",
       Failure::Cause::LibraryDamaged},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / (std::string(c.what) + ".so");
    if (!c.contents.empty()) std::ofstream(path, std::ios::binary) << c.contents;
    DllDef dll(path.string());
    const auto identity = card::RequestIdentity(dll);
    ASSERT_FALSE(identity) << c.what;
    EXPECT_EQ(identity.failure().kind, Failure::Kind::CardLibraryMissing) << c.what;
    EXPECT_EQ(identity.failure().subject, path.string()) << c.what;
    EXPECT_NE(identity.failure().reason.find(c.reasonPart), std::string::npos)
        << c.what << ": " << identity.failure().reason;
    EXPECT_EQ(identity.failure().cause, c.cause) << c.what;
  }
}

// The program runs on the snapshot it loaded: the file cut short on disk meanwhile costs
// nothing until the next start.
TEST_F(CardLibraryFiles, ALibraryWhoseFileShrinksWhileLoadedKeepsWorking) {
  const fs::path path = dir / "libadcard.so";
  fs::copy_file(ADCARD_PATH, path);
  DllDef dll(path.string());
  ASSERT_TRUE(card::RequestIdentity(dll));
  fs::resize_file(path, 4096);
  EXPECT_TRUE(card::RequestIdentity(dll));
  EXPECT_TRUE(acquisition::StopAcquisition(dll));
}

// A file whose length is not what it said while it was read (as one being written is) is
// refused, not loaded in part. /proc says 0 bytes and then gives more.
TEST(CardLibraryPosix, AFileThatChangesWhileReadIsRefused) {
  DllDef dll("/proc/self/status");
  const auto identity = card::RequestIdentity(dll);
  ASSERT_FALSE(identity);
  EXPECT_EQ(identity.failure().cause, Failure::Cause::LibraryDamaged);
  EXPECT_NE(identity.failure().reason.find("changed while it was read"), std::string::npos)
      << identity.failure().reason;
}

}  // namespace
