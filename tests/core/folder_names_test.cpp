// Every file the program keeps, in a folder whose name code page 932 cannot
// hold ("Müller"): the path stays the system's own from the executable's
// location to the file call, and is shown in CP932 only in messages.
#include <gtest/gtest.h>

#include "temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_io.h"
#include "common/native_path.h"
#include "common/vello_error.h"
#include "messaging/log_entry.h"
#include "schedule/schedule_file.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

using namespace vello;
namespace fs = std::filesystem;

namespace {

// The path as the file system spells it (UTF-8 here), and as a message
// shows it: code page 932 bytes, "?" for a character that code page lacks.
TEST(PathText, ShowsWhatCodePage932HoldsAndAQuestionMarkForTheRest) {
  struct Case { std::string path; std::string shown; } cases[] = {
      {"/tmp/plain/vello.ini", "/tmp/plain/vello.ini"},
      {reinterpret_cast<const char*>(u8"/home/Müller/vello.ini"), "/home/M?ller/vello.ini"},
      {reinterpret_cast<const char*>(u8"/x/한글/v"), "/x/?\?/v"},
      // Never a look-alike: "é" is not "e", another folder's name.
      {reinterpret_cast<const char*>(u8"/x/café/v"), "/x/caf?/v"},
      {reinterpret_cast<const char*>(u8"/x/😀/v"), "/x/?/v"},
      // Characters of code page 932, lead bytes E0-FC and trail byte 5C among them.
      {reinterpret_cast<const char*>(u8"/x/ソ饅纊ｱ～/v"), "/x/ソ饅纊ｱ～/v"},
      // Bytes that are no UTF-8 at all.
      {"/x/\xFF\xC3/v", "/x/?\?/v"},
      {"/x/\xE3\x82", "/x/??"},
  };
  for (const auto& c : cases) EXPECT_EQ(PathText(fs::path(c.path)), c.shown) << c.path;
}

class ForeignFolder : public vello::testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    // Its UTF-8 bytes also read as code page 932 text ("ﾃｼ" for "ü"): a path
    // taken for CP932 and converted would name another folder.
    folder_ = dir_ / fs::path(u8"Müller") / fs::path(u8"ソ");
    fs::create_directories(folder_);
  }
  // A file beside the pretend executable, named as the system names it.
  std::string In(const std::string& name) const { return (folder_ / name).string(); }
  // How a message shows that path.
  std::string Shown(const std::string& name) const { return dir_.string() + "/M?ller/ソ/" + name; }

  fs::path folder_;
};

TEST_F(ForeignFolder, EveryFileIsKeptUnderItsRealName) {
  IniFile settings(In("vello.ini"));
  settings.WriteString("setup", "port", "6000");
  EXPECT_EQ(settings.ReadInteger("setup", "port", 5963), 6000);

  AddAddressBookLine(In("vello.dat"), "taro : pc01");
  EXPECT_EQ(LoadAddressBook(In("vello.dat")), std::vector<std::string>{"taro : pc01"});

  PhraseStore phrases(In("velloFixed.dat"));
  phrases.AddPhrase("あいさつ", "おはよう");
  ASSERT_EQ(phrases.Load().size(), 1u);
  EXPECT_EQ(phrases.Load()[0].phrases, std::vector<std::string>{"おはよう"});

  std::vector<TScheduleEntry> entries;
  LoadScheduleFile(In("vellot.dat"), entries);
  entries.resize(1);
  SaveScheduleFile(In("vellot.dat"), entries);
  LoadScheduleFile(In("vellot.dat"), entries);
  EXPECT_EQ(entries.size(), 1u);

  AppendLogEntry(In("vello.log"), "x\r\n");

  {
    FileLock lock(In("vello.ini"));
    EXPECT_EQ(lock.state(), FileLock::State::kHeld);
    EXPECT_TRUE(fs::exists(folder_ / "vello.ini.lock"));
  }

  // Each in the folder itself, as the bytes written.
  EXPECT_EQ(Bytes(In("vello.ini")), "[setup]\r\nport=6000\r\n");
  EXPECT_EQ(Bytes(In("vello.dat")), "taro : pc01\r\n");
  EXPECT_EQ(Bytes(In("velloFixed.dat")), "[あいさつ]\r\nおはよう=\r\n");
  EXPECT_EQ(fs::file_size(folder_ / "vellot.dat"), 344u);
  EXPECT_EQ(Bytes(In("vello.log")), "x\r\n");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"vello.dat", "vello.ini", "vello.log", "velloFixed.dat", "vellot.dat"}));
}

TEST_F(ForeignFolder, ErrorsNameThePathAsCp932Shows) {
  // Folders where the files should be: nothing can read or replace them.
  for (const char* name : {"vello.ini", "vello.dat", "velloFixed.dat", "vello.log"})
    fs::create_directory(folder_ / name);
  EXPECT_EQ(ErrorText([&] { IniFile(In("vello.ini")).WriteString("setup", "port", "1"); }),
            Shown("vello.ini") + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { LoadAddressBook(In("vello.dat")); }), "ファイル " + Shown("vello.dat") + " は開けません");
  EXPECT_EQ(ErrorText([&] { PhraseStore(In("velloFixed.dat")).AddPhrase("a", "b"); }),
            Shown("velloFixed.dat") + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { AppendLogEntry(In("vello.log"), "x\r\n"); }),
            "ファイル " + Shown("vello.log") + " を作成できません");
  // Another writer keeps the address book.
  fs::remove(folder_ / "vello.dat");
  FileLock held(In("vello.dat"));
  ASSERT_EQ(held.state(), FileLock::State::kHeld);
  SetFileLockWaitMilliseconds(50);
  std::string busy = ErrorText([&] { AddAddressBookLine(In("vello.dat"), "a : b"); });
  SetFileLockWaitMilliseconds(kFileLockWaitMilliseconds);
  EXPECT_EQ(busy, "ファイル " + Shown("vello.dat") + " は使用中のため書き込めません");
}

}  // namespace
