// What the data-file tests on every platform share: a directory of their own, the file's
// bytes, and the things a platform can plant at the file's name.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "TempDirTest.h"

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class WriteWholeFileTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    file = dir / "KZB7315 0.txt";
  }
  std::filesystem::path file;
  // Everything in the directory but `file`: no temporary file may be left behind.
  std::vector<std::string> Others() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      if (e.path() != file) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct PlantedThing {
  const char* what;
  std::function<void()> plant;
  bool replaced;  // true: the new file takes the name; false: refused, the thing kept
};

// What only this platform can put at `file` (a FIFO, a symbolic link to `target`, ...).
std::vector<PlantedThing> PlatformPlants(const std::filesystem::path& file,
                                         const std::filesystem::path& target);
