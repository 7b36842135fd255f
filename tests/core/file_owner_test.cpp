// A file the user may not write, in a folder the user may: the folder lets
// anyone rename a new file over it, so every writer must look at the file
// itself first, as the system would refuse a write into it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "schedule/schedule_file.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"

using namespace vello;
using vello::testing::StartChild;
using vello::testing::WaitChild;
namespace fs = std::filesystem;

namespace {

class FileOfAnotherUser : public vello::testing::TempFolderTest {};

TEST_F(FileOfAnotherUser, IsRefusedNotReplacedByTheRename) {
  // An administrator's files, writable by their owner alone, in a folder
  // where an ordinary user may make files. Making them takes the
  // administrator, and the writers then run as that ordinary user.
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make another user's files (the root run covers this)";
  const passwd* user = ::getpwnam("nobody");
  ASSERT_NE(user, nullptr);
  const std::string ini = PathOf("vello.ini"), book = PathOf("vello.dat"), schedule = PathOf("vellot.dat");
  Write(ini, "[setup]\r\nport=1\r\n");
  Write(book, "taro : PC01\r\n");
  Write(schedule, std::string(344, '\0'));
  for (const std::string& file : {ini, book, schedule})
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
  ASSERT_EQ(::chown(dir_.c_str(), user->pw_uid, user->pw_gid), 0);

  pid_t writer = StartChild([&] {
    if (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0) throw VelloError("no user");
    std::vector<std::string> wrong;
    if (ReplaceFileBytes(ini, "[setup]\r\nport=2\r\n")) wrong.push_back("ReplaceFileBytes");
    if (ErrorText([&] { IniFile(ini).WriteInteger("setup", "port", 2); }) != ini + " に書き込めません")
      wrong.push_back("settings");
    if (ErrorText([&] { AddAddressBookLine(book, "jiro : PC02"); }) != "ファイル " + book + " を作成できません")
      wrong.push_back("address book");
    if (ErrorText([&] { SaveScheduleFile(schedule, {}); }).find("ファイルへのアクセスが拒否されました") ==
        std::string::npos)
      wrong.push_back("schedule");
    for (const std::string& w : wrong) std::fprintf(stderr, "written over: %s\n", w.c_str());
    std::_Exit(wrong.empty() ? 0 : 1);
  });
  EXPECT_EQ(WaitChild(writer), 0);
  EXPECT_EQ(Bytes(ini), "[setup]\r\nport=1\r\n");
  EXPECT_EQ(Bytes(book), "taro : PC01\r\n");
  EXPECT_EQ(Bytes(schedule), std::string(344, '\0'));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"vello.ini", "vello.dat", "vellot.dat"}));
}

}  // namespace
