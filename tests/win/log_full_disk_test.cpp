// A log append the disk cannot hold, under the system's own file calls: run
// by the test win_log_full_disk, which starts this program with a limit on
// the size of the files it may write (the way a full disk refuses a write
// part of the way in) and names the limit in VELLO_FILE_SIZE_LIMIT.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_io.h"
#include "common/vello_error.h"
#include "messaging/log_entry.h"

namespace vello::testing {
namespace {

TEST(LogOnAFullDisk, AnAppendTheDiskCannotHoldLeavesTheLogAsItWas) {
  const char* limitText = std::getenv("VELLO_FILE_SIZE_LIMIT");
  if (!limitText) GTEST_SKIP() << "runs in the test win_log_full_disk, with a limit on file sizes";
  const std::size_t limit = std::strtoul(limitText, nullptr, 10);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path dir =
      std::filesystem::path(temp) / (L"vello-full-" + std::to_wstring(GetCurrentProcessId()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path log = dir / L"vello.log", fresh = dir / L"new.log";
  std::ofstream(log, std::ios::binary) << "old\r\n";
  // An entry that goes past the limit part of the way in.
  const std::string entry = ReceivedLogEntry("2026/12/08 9:05:40", "PC02", std::string(limit, 'x') + "\r\n");
  for (const std::filesystem::path& path : {log, fresh}) {
    std::string error = "(no error)";
    try {
      AppendLogEntry(path, entry);
    } catch (const VelloError& e) {
      error = e.text();
    }
    EXPECT_NE(error.find("を作成できません"), std::string::npos) << error;
  }
  EXPECT_EQ(ReadFileBytes(log).value_or("(missing)"), "old\r\n");
  EXPECT_FALSE(std::filesystem::exists(fresh));
  // Room for a small one: it follows the old bytes, no half entry between.
  const std::string small = ReceivedLogEntry("2026/12/08 9:05:41", "PC02", "はい\r\n");
  AppendLogEntry(log, small);
  EXPECT_EQ(ReadFileBytes(log).value_or("(missing)"), "old\r\n" + small);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace vello::testing
