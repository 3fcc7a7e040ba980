// Loading the card library on Linux: what dlopen says reaches the caller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CardIdentity.h"
#include "DllDef.h"
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
  } cases[] = {
      {"missing", "", "No such file"},
      {"empty", "\n", "file too short"},
      {"corrupt", "not a library" + std::string(200, '\n'), "invalid ELF header"},
      {"other architecture", ElfHeaderOfMachine(3 /* i386 */), "wrong ELF class"},
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
  }
}

}  // namespace
