// A test with a fresh directory of its own under the system's temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("kzb-" + std::string(test->name()) + "-" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ignored;  // a read-only file a test left behind
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ignored)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(dir, ignored);
  }

  std::filesystem::path dir;
};
