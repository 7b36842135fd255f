#pragma once
// A temporary folder of its own for each file test, with the helpers the
// file tests share: paths in it, a file's bytes, and an action's error text.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/vello_error.h"

namespace vello::testing {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("vello_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_suite()->name() + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_, ec);
  }

  // The temporary folder is ASCII, so its text is the same in CP932.
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  template <typename F>
  static std::string ErrorText(F&& action) {
    try {
      action();
    } catch (const VelloError& e) {
      return e.text();
    }
    return "(no error)";
  }

  std::filesystem::path dir_;
};

}  // namespace vello::testing
