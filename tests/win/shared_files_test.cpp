// Two copies of the program writing into one folder, as two real processes
// under the system's own file sharing rules: nothing stored may be lost, and
// a writer kept waiting says so. Also the replacement of a file that a
// reader holds open for a moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "common/vello_error.h"
#include "file_writer_helper.h"
#include "platform/win_text.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

namespace vello::testing {
namespace {

class SharedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = Narrow(temp) + "vello_shared_" + std::to_string(GetCurrentProcessId()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryW(Widen(folder_).c_str(), nullptr));
  }
  void TearDown() override {
    for (const std::string& name : Names()) {
      std::wstring file = Widen(folder_ + "\\" + name);
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    }
    RemoveDirectoryW(Widen(folder_).c_str());
  }

  // The folder is ASCII, so its CP932 text and the system's path agree.
  std::string PathOf(const std::string& name) const { return folder_ + "\\" + name; }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Widen(folder_ + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.insert(Narrow(name));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
  }

  static void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
  }
  static std::string ReadBytes(const std::string& path) { return ReadFileBytes(path).value_or("(missing)"); }

  // This test program started again as a second writer (see RunFileWriter).
  static HANDLE StartWriter(const std::vector<std::string>& args) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" " + Widen(kFileWriterSwitch);
    for (const std::string& a : args) command += L" \"" + Widen(a) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
  }
  // The writer's exit status, or -1 when it did not end in time.
  static int WaitWriter(HANDLE process, DWORD timeoutMs = 180000) {
    if (!process) return -2;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
  }

  static std::string ErrorText(const std::function<void()>& action) {
    try {
      action();
    } catch (const VelloError& e) {
      return e.text();
    }
    return "(no error)";
  }

  std::string folder_;
};

TEST_F(SharedFiles, TwoProcessesWritingTheSettingsFileLoseNoKey) {
  // Forty keys written before, then two copies each writing its key 2,000 times.
  const std::string path = PathOf("vello.ini");
  std::string before = "[setup]\r\n";
  for (int i = 0; i < 40; ++i) before += "key" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
  WriteBytes(path, before);
  HANDLE a = StartWriter({"settings", path, "writer0", "2000"});
  HANDLE b = StartWriter({"settings", path, "writer1", "2000"});
  EXPECT_EQ(WaitWriter(a), 0);
  EXPECT_EQ(WaitWriter(b), 0);

  // As this program and as the system's profile functions read it.
  IniFile ini(path);
  for (int i = 0; i < 40; ++i) {
    std::string key = "key" + std::to_string(i);
    EXPECT_EQ(ini.ReadString("setup", key, "(lost)"), "value " + std::to_string(i)) << key;
    char value[64];
    GetPrivateProfileStringA("setup", key.c_str(), "(lost)", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, ("value " + std::to_string(i)).c_str()) << key;
  }
  EXPECT_EQ(ini.ReadInteger("setup", "writer0", 0), 2000);
  EXPECT_EQ(ini.ReadInteger("setup", "writer1", 0), 2000);
  EXPECT_EQ(Names(), std::set<std::string>{"vello.ini"});
}

TEST_F(SharedFiles, TwoProcessesAddingToTheAddressBookAndThePhrasesKeepEveryLine) {
  const std::string book = PathOf("vello.dat"), phrases = PathOf("velloFixed.dat");
  WriteBytes(book, "taro : PC01\r\n");
  HANDLE a = StartWriter({"book", book, "a", "150"});
  HANDLE b = StartWriter({"book", book, "b", "150"});
  HANDLE c = StartWriter({"phrases", phrases, "c", "150"});
  HANDLE d = StartWriter({"phrases", phrases, "d", "150"});
  for (HANDLE h : {a, b, c, d}) EXPECT_EQ(WaitWriter(h), 0);

  std::vector<std::string> lines = LoadAddressBook(book);
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines[0], "taro : PC01");
  for (const char* prefix : {"a", "b"}) {
    std::vector<std::string> own;
    for (const auto& l : lines)
      if (l.rfind(std::string(prefix) + "-", 0) == 0) own.push_back(l);
    ASSERT_EQ(own.size(), 150u) << prefix;
    for (int i = 0; i < 150; ++i) EXPECT_EQ(own[i], std::string(prefix) + "-" + std::to_string(i) + " : PC");
  }
  std::vector<PhraseCategory> all = PhraseStore(phrases).Load();
  ASSERT_EQ(all.size(), 2u);
  for (const auto& category : all) EXPECT_EQ(category.phrases.size(), 150u) << category.name;
  EXPECT_EQ(Names(), (std::set<std::string>{"vello.dat", "velloFixed.dat"}));
}

TEST_F(SharedFiles, AWriterKeptWaitingByAnotherProcessSaysSoAndChangesNothing) {
  const std::string path = PathOf("vello.ini"), marker = PathOf("held");
  WriteBytes(path, "[setup]\r\nport=1\r\n");
  HANDLE holder = StartWriter({"hold", path, marker});
  for (int i = 0; i < 500 && GetFileAttributesW(Widen(marker).c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
  ASSERT_NE(GetFileAttributesW(Widen(marker).c_str()), INVALID_FILE_ATTRIBUTES);

  const int saved = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(300);
  EXPECT_EQ(ErrorText([&] { IniFile(path).WriteInteger("setup", "port", 2); }),
            "ファイル " + path + " は使用中のため書き込めません");
  EXPECT_EQ(ReadBytes(path), "[setup]\r\nport=1\r\n");

  DeleteFileW(Widen(marker).c_str());  // lets the holder go
  EXPECT_EQ(WaitWriter(holder), 0);
  IniFile(path).WriteInteger("setup", "port", 2);
  SetFileLockWaitMilliseconds(saved);
  EXPECT_EQ(ReadBytes(path), "[setup]\r\nport=2\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"vello.ini"});  // the lock file went with its holder
}

TEST_F(SharedFiles, ThreeProcessesContendingNeverHoldTheLockTogether) {
  // Each holder makes a marker of its own while it holds the lock; one made
  // by another holder still there means two held it at once.
  const std::string path = PathOf("vello.ini");
  std::vector<HANDLE> contenders;
  for (int i = 0; i < 3; ++i) contenders.push_back(StartWriter({"contend", path, "150"}));
  for (HANDLE h : contenders) EXPECT_EQ(WaitWriter(h), 0);
  EXPECT_EQ(Names(), std::set<std::string>{});
}

TEST_F(SharedFiles, TemporaryFilesLeftByWritersThatDiedGoAtTheNextSave) {
  // Left by writers killed half-way, here or on another machine using the
  // folder; then names that only look alike, and another file's leftover.
  const std::string path = PathOf("vello.ini");
  WriteBytes(path, "[setup]\r\nport=1\r\n");
  for (const char* name : {"vello.ini.4242-7.tmp", "vello.ini.1-1.tmp", "vello.ini.tmp", "vello.ini.12-x.tmp",
                           "vello.dat.12-3.tmp"})
    WriteBytes(PathOf(name), "half");
  IniFile(path).WriteInteger("setup", "port", 2);
  EXPECT_EQ(Names(), (std::set<std::string>{"vello.ini", "vello.ini.tmp", "vello.ini.12-x.tmp", "vello.dat.12-3.tmp"}));
  EXPECT_EQ(ReadBytes(path), "[setup]\r\nport=2\r\n");
}

// A reader without delete sharing, as the C runtime opens files.
HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

TEST_F(SharedFiles, AFileAReaderHoldsForAMomentIsStillReplaced) {
  const std::string path = PathOf("vello.ini");
  WriteBytes(path, "[setup]\r\nport=1\r\n");
  HANDLE reader = OpenForReading(path);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::thread letGo([reader] {
    Sleep(300);
    CloseHandle(reader);
  });
  std::string error = ErrorText([&] { IniFile(path).WriteInteger("setup", "port", 2); });
  letGo.join();
  EXPECT_EQ(error, "(no error)");
  EXPECT_EQ(ReadBytes(path), "[setup]\r\nport=2\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"vello.ini"});
}

TEST_F(SharedFiles, AReplacementTheSystemRefusesLeavesTheFileAndNoTemporaryFile) {
  const std::string path = PathOf("vello.ini");
  WriteBytes(path, "[setup]\r\nport=1\r\n");
  HANDLE reader = OpenForReading(path);  // held for the whole write
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::string error = ErrorText([&] { IniFile(path).WriteInteger("setup", "port", 2); });
  CloseHandle(reader);
  EXPECT_EQ(error, path + " に書き込めません");
  EXPECT_EQ(ReadBytes(path), "[setup]\r\nport=1\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"vello.ini"});
}

}  // namespace
}  // namespace vello::testing
