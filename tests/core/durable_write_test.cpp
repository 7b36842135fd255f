// Every whole-file writer pushes the new file to the disk before the rename
// makes it the file, and the rename itself after: after a power cut the file
// is the old one or the new one, never an empty one. The system calls are
// watched by defining fsync and rename in this test program, which the
// writers then call instead of the C library's (they forward to the kernel).
#include <gtest/gtest.h>

#include "temp_folder.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "schedule/schedule_file.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

namespace {

bool recording = false;
std::vector<std::string> events;

std::string PathOfDescriptor(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  ssize_t n = ::readlink(link, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "?";
}

}  // namespace

extern "C" int fsync(int fd) {
  if (recording) events.push_back("fsync " + PathOfDescriptor(fd));
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) noexcept {
  if (recording) events.push_back(std::string("rename ") + from + " > " + to);
  return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace {

using namespace vello;
namespace fs = std::filesystem;

class DurableWrite : public vello::testing::TempFolderTest {
 protected:
  // The calls the action made, in order.
  std::vector<std::string> Record(const std::function<void()>& action) {
    events.clear();
    recording = true;
    action();
    recording = false;
    return events;
  }

  // Checks: the file renamed over `target` was flushed before, and the
  // folder after.
  void ExpectFlushedAroundTheRename(const std::vector<std::string>& calls, const std::string& target) {
    const std::string folder = fs::canonical(dir_).string();
    const std::string suffix = " > " + target;
    std::size_t rename = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i)
      if (calls[i].rfind("rename ", 0) == 0 && calls[i].size() > suffix.size() &&
          calls[i].compare(calls[i].size() - suffix.size(), suffix.size(), suffix) == 0)
        rename = i;
    ASSERT_LT(rename, calls.size()) << "no rename over " << target << "\n" << ::testing::PrintToString(calls);
    const std::string temp = calls[rename].substr(7, calls[rename].size() - 7 - suffix.size());
    const std::string flushTemp = "fsync " + fs::canonical(dir_).string() + "/" + fs::path(temp).filename().string();
    bool flushedBefore = false, folderAfter = false;
    for (std::size_t i = 0; i < rename; ++i) flushedBefore = flushedBefore || calls[i] == flushTemp;
    for (std::size_t i = rename + 1; i < calls.size(); ++i) folderAfter = folderAfter || calls[i] == "fsync " + folder;
    EXPECT_TRUE(flushedBefore) << ::testing::PrintToString(calls);
    EXPECT_TRUE(folderAfter) << ::testing::PrintToString(calls);
  }
};

TEST_F(DurableWrite, EveryWholeFileWriterFlushesBeforeAndAfterTheRename) {
  const std::string ini = PathOf("vello.ini"), book = PathOf("vello.dat"), phrases = PathOf("velloFixed.dat"),
                    schedule = PathOf("vellot.dat");
  Write(ini, "[setup]\r\nport=1\r\n");
  Write(book, "taro : PC01\r\n");
  Write(phrases, "[連絡]\r\n至急=\r\n");
  struct Case {
    const char* what;
    std::string target;
    std::function<void()> action;
  } cases[] = {
      {"settings", ini, [&] { IniFile(ini).WriteInteger("setup", "port", 2); }},
      {"settings key removed", ini, [&] { IniFile(ini).DeleteKey("setup", "port"); }},
      {"address book line added", book, [&] { AddAddressBookLine(book, "jiro : PC02"); }},
      {"address book line removed", book, [&] { RemoveAddressBookLine(book, 0, "taro : PC01"); }},
      {"address book saved", book, [&] { SaveAddressBook(book, {"saburo : PC03"}); }},
      {"phrase added", phrases, [&] { PhraseStore(phrases).AddPhrase("連絡", "会議"); }},
      {"phrase removed", phrases, [&] { PhraseStore(phrases).DeletePhrase("連絡", "会議"); }},
      {"schedule saved", schedule, [&] { SaveScheduleFile(schedule, std::vector<TScheduleEntry>(2)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectFlushedAroundTheRename(Record(c.action), c.target);
  }
}

}  // namespace
