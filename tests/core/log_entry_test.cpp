// Log entries, the locale's date-time text, and appending to the log file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"
#include "common/file_io.h"
#include "common/vello_error.h"
#include "messaging/log_entry.h"

using namespace vello;
namespace fs = std::filesystem;

namespace {

const LocaleTimeFormat kJapanese{":", false, false, "午前", "午後", false};
const LocaleTimeFormat kUnitedStates{":", false, true, "AM", "PM", false};
const LocaleTimeFormat kDesignatorFirst{":", false, true, "午前", "午後", true};
const LocaleTimeFormat kLeadingZero{".", true, false, "", "", false};
const LocaleTimeFormat kLeadingZero12{":", true, true, "am", "pm", false};

}  // namespace

// The date is the system's text, taken as it stands; the time follows the
// locale's rules and is left out at exactly midnight.
TEST(DateTimeText, LocalesAndTimesOfDay) {
  struct Case { const LocaleTimeFormat* f; const char* date; LocalDateTime t; std::string text; } cases[] = {
      {&kJapanese, "2026/12/08", {2026, 12, 8, 9, 4, 2}, "2026/12/08 9:04:02"},
      {&kJapanese, "2026/12/09", {2026, 12, 9, 0, 0, 0}, "2026/12/09"},  // midnight: the date alone
      {&kJapanese, "2026/12/09", {2026, 12, 9, 0, 0, 1}, "2026/12/09 0:00:01"},
      {&kJapanese, "2026/12/09", {2026, 12, 9, 0, 1, 0}, "2026/12/09 0:01:00"},
      {&kJapanese, "2026/03/05", {2026, 3, 5, 23, 59, 59}, "2026/03/05 23:59:59"},
      {&kJapanese, "2026/03/05", {2026, 3, 5, 12, 0, 0}, "2026/03/05 12:00:00"},
      {&kUnitedStates, "12/8/2026", {2026, 12, 8, 9, 4, 2}, "12/8/2026 9:04:02 AM"},
      {&kUnitedStates, "3/5/2026", {2026, 3, 5, 12, 0, 0}, "3/5/2026 12:00:00 PM"},
      {&kUnitedStates, "3/5/2026", {2026, 3, 5, 0, 30, 0}, "3/5/2026 12:30:00 AM"},
      {&kUnitedStates, "3/5/2026", {2026, 3, 5, 23, 5, 9}, "3/5/2026 11:05:09 PM"},
      {&kUnitedStates, "3/5/2026", {2026, 3, 5, 11, 59, 59}, "3/5/2026 11:59:59 AM"},
      {&kUnitedStates, "3/5/2026", {2026, 3, 5, 0, 0, 0}, "3/5/2026"},
      {&kDesignatorFirst, "2026/12/8", {2026, 12, 8, 9, 4, 2}, "2026/12/8 午前 9:04:02"},
      {&kDesignatorFirst, "2026/12/8", {2026, 12, 8, 13, 0, 0}, "2026/12/8 午後 1:00:00"},
      {&kLeadingZero, "08.12.2026", {2026, 12, 8, 9, 4, 2}, "08.12.2026 09.04.02"},
      {&kLeadingZero, "02.01.2026", {2026, 1, 2, 0, 0, 5}, "02.01.2026 00.00.05"},
      {&kLeadingZero12, "08/12/26", {2026, 12, 8, 21, 4, 2}, "08/12/26 09:04:02 pm"},
      {&kLeadingZero12, "08/12/26", {2026, 12, 8, 0, 0, 7}, "08/12/26 12:00:07 am"},
      // Names and eras as the system spells them, double-byte characters
      // with lead bytes E0-FC among them (饅 E9 5C, 纊 FA 5C), pass unchanged.
      {&kJapanese, "令和8年12月8日(火)", {2026, 12, 8, 9, 4, 2}, "令和8年12月8日(火) 9:04:02"},
      {&kUnitedStates, "Tue, Dec 08 26", {2026, 12, 8, 0, 0, 0}, "Tue, Dec 08 26"},
      {&kJapanese, "饅纊 08", {2026, 12, 8, 10, 0, 0}, "饅纊 08 10:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(DateTimeText(c.date, c.t, *c.f), c.text) << c.text;
}

TEST(LogEntry, SentAndReceivedBytes) {
  EXPECT_EQ(SentLogEntry("2026/12/08 9:04:02", "*taro", "こんにちは\r\n"),
            "\x81\x79\x91\x97\x90\x4D\x81\x7A\r\n"
            "Date : 2026/12/08 9:04:02\r\n"
            "To : *taro\r\n"
            "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n"
            "\r\n");
  EXPECT_EQ(ReceivedLogEntry("2026/12/08 9:05:40", "PC02", "はい\r\n"),
            "\x81\x79\x8E\xF3\x90\x4D\x81\x7A\r\n"
            "Date : 2026/12/08 9:05:40\r\n"
            "From : PC02\r\n"
            "\x82\xCD\x82\xA2\r\n"
            "\r\n");
  EXPECT_EQ(SentLogEntry("2026/12/09", "192.168.0.2", ""),
            "【送信】\r\nDate : 2026/12/09\r\nTo : 192.168.0.2\r\n\r\n");
  EXPECT_EQ(ReceivedLogEntry("2026/12/09", "", "a\r\nb\r\n"),
            "【受信】\r\nDate : 2026/12/09\r\nFrom : \r\na\r\nb\r\n\r\n");
}

// Whatever a sender puts in a message, the log shows it as lines of text:
// nothing in it rings, moves the cursor or recolours the terminal of
// whoever reads the log, and every line ends with CR LF.
TEST(LogEntry, ControlBytesAndLineBreaksFromTheNetwork) {
  struct Case { std::string text, logged; } cases[] = {
      {"\x1b[2J\x1b]0;title\x07red\x1b[0m", "?[2J?]0;title?red?[0m"},  // ESC and BEL
      {std::string("a\0b\x7f\x08" "c", 6), "a?b??c"},                   // NUL, DEL, backspace
      {"a\tb\x0b\x0c", "a\tb??"},                                         // a tab stays
      {"a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd"},                              // lone CR, lone LF
      {"\r\r\n\n", "\r\n\r\n\r\n"},                                         // three breaks, three lines
      {"\n\r", "\r\n\r\n"},                                                 // LF CR is two breaks
      {"ソ\x1b表\x1f", "ソ?表?"},  // trail bytes 0x5C of double-byte characters stay
      {"\x1b【受信】", "?【受信】"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReceivedLogEntry("d", "PC", c.text), "【受信】\r\nDate : d\r\nFrom : PC\r\n" + c.logged + "\r\n")
        << ::testing::PrintToString(c.text);
    EXPECT_EQ(SentLogEntry("d", "PC", c.text), "【送信】\r\nDate : d\r\nTo : PC\r\n" + c.logged + "\r\n")
        << ::testing::PrintToString(c.text);
  }
  EXPECT_EQ(ReceivedLogEntry("d", "PC\x1b]0;x\x07\x7f\t", "t"), "【受信】\r\nDate : d\r\nFrom : PC?]0;x???\r\nt\r\n");
}

class AppendLogEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vello_log_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Read(const std::string& path) { return ReadFileBytes(path).value_or("(missing)"); }
  static std::string ErrorOf(const fs::path& path, const std::string& entry) {
    try {
      AppendLogEntry(path, entry);
    } catch (const VelloError& e) {
      return e.text();
    }
    return "(no error)";
  }

  fs::path dir_;
};

TEST_F(AppendLogEntryTest, AddsTheEntryAfterWhatTheLogHolds) {
  const std::string entry = SentLogEntry("2026/12/08 9:04:02", "*taro", "hi\r\n");
  struct Case { const char* name; std::optional<std::string> before; std::string after; } cases[] = {
      {"missing", std::nullopt, entry},
      {"empty", "", entry},
      {"crlf", "old\r\n\r\n", "old\r\n\r\n" + entry},
      {"no_break", "old", "old\r\n" + entry},
      {"ends_dbcs", "ソ", "ソ\r\n" + entry},
      // Line ends typed by hand stay as they are.
      {"lone_lf", "a\nb\n", "a\nb\n" + entry},
      {"lone_cr", "a\rb\r", "a\rb\r" + entry},
  };
  for (const auto& c : cases) {
    std::string path = Path(std::string(c.name) + ".log");
    if (c.before) Write(path, *c.before);
    AppendLogEntry(path, entry);
    EXPECT_EQ(Read(path), c.after) << c.name;
  }
}

TEST_F(AppendLogEntryTest, EntriesFollowEachOtherInOrder) {
  std::string path = Path("vello.log");
  AppendLogEntry(path, SentLogEntry("2026/12/08 9:04:02", "*taro", "こんにちは\r\n"));
  AppendLogEntry(path, ReceivedLogEntry("2026/12/08 9:05:40", "PC02", "はい\r\n"));
  AppendLogEntry(path, SentLogEntry("2026/12/08 9:06:00", "PC02", ""));
  EXPECT_EQ(Read(path),
            "【送信】\r\nDate : 2026/12/08 9:04:02\r\nTo : *taro\r\nこんにちは\r\n\r\n"
            "【受信】\r\nDate : 2026/12/08 9:05:40\r\nFrom : PC02\r\nはい\r\n\r\n"
            "【送信】\r\nDate : 2026/12/08 9:06:00\r\nTo : PC02\r\n\r\n");
}

TEST_F(AppendLogEntryTest, PathsKeepEveryCharacterAndErrorsShowThemInCp932) {
  // Folder names as the file system spells them: in code page 932 and not.
  const fs::path folder = dir_ / fs::path(u8"ソ饅") / fs::path(u8"Müller한글");
  fs::create_directories(folder);
  AppendLogEntry(folder / "v.log", "x\r\n");
  EXPECT_EQ(Read((folder / "v.log").string()), "x\r\n");
  // "ソ饅" in CP932 bytes; "ü" and each Hangul syllable as "?".
  EXPECT_EQ(ErrorOf(folder / "missing" / "v.log", "x\r\n"),
            "ファイル " + dir_.string() + "/ソ饅/M?ller?\?/missing/v.log を作成できません");
}

TEST_F(AppendLogEntryTest, PlacesThatCannotBeWritten) {
  Write(Path("plain_file"), "data");
  fs::create_directories(dir_ / "a_directory.log");
  const std::string cases[] = {
      Path("no_such_dir/vello.log"),
      Path("plain_file/vello.log"),
      Path("a_directory.log"),
  };
  for (const auto& path : cases)
    EXPECT_EQ(ErrorOf(path, "x\r\n"), "ファイル " + path + " を作成できません") << path;
  EXPECT_FALSE(fs::exists(dir_ / "no_such_dir"));
  EXPECT_EQ(Read(Path("plain_file")), "data");
}

TEST_F(AppendLogEntryTest, ReadOnlyAndUnreadableFiles) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  std::string readOnly = Path("read_only.log");
  Write(readOnly, "old\r\n");
  fs::permissions(readOnly, fs::perms::owner_read);
  EXPECT_EQ(ErrorOf(readOnly, "x\r\n"), "ファイル " + readOnly + " を作成できません");
  EXPECT_EQ(Read(readOnly), "old\r\n");

  std::string unreadable = Path("unreadable.log");
  Write(unreadable, "old");
  fs::permissions(unreadable, fs::perms::owner_write);
  EXPECT_EQ(ErrorOf(unreadable, "x\r\n"), "ファイル " + unreadable + " は開けません");
  fs::permissions(unreadable, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Read(unreadable), "old");  // nothing was written

  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  std::string inReadOnlyDir = Path("new.log");
  EXPECT_EQ(ErrorOf(inReadOnlyDir, "x\r\n"), "ファイル " + inReadOnlyDir + " を作成できません");
}

TEST_F(AppendLogEntryTest, LargeLogKeepsEveryEarlierByte) {
  // 20 MB of varied bytes, ending without a line break and with bytes that
  // rewriting through a line splitter would have changed (lone CR, lone LF).
  std::string before;
  before.reserve(20u << 20);
  uint32_t x = 12345;
  while (before.size() < (20u << 20)) {
    x = x * 1103515245u + 12345u;
    before.push_back(static_cast<char>(x >> 24));
  }
  before += "\rlone\nend";
  std::string path = Path("big.log");
  Write(path, before);

  const std::string entry = ReceivedLogEntry("2026/12/08 9:05:40", "PC02", "はい\r\n");
  AppendLogEntry(path, entry);

  std::string after = Read(path);
  ASSERT_EQ(after.size(), before.size() + 2 + entry.size());
  EXPECT_TRUE(after.compare(0, before.size(), before) == 0) << "earlier bytes changed";
  EXPECT_EQ(after.substr(before.size()), "\r\n" + entry);
}

TEST_F(AppendLogEntryTest, AnAppendTheDiskCannotHoldLeavesTheLogAsItWas) {
  // The disk fills up part of the way into the entry, as a full disk does.
  const std::string entry = ReceivedLogEntry("2026/12/08 9:05:40", "PC02", "はい\r\n");
  std::string path = Path("vello.log");
  Write(path, "old");
  {
    vello::testing::FileSizeLimit full(3 + 2 + entry.size() / 2);
    EXPECT_EQ(ErrorOf(path, entry), "ファイル " + path + " を作成できません");
    EXPECT_EQ(ErrorOf(Path("new.log"), entry), "ファイル " + Path("new.log") + " を作成できません");
  }
  EXPECT_EQ(Read(path), "old");
  EXPECT_FALSE(fs::exists(Path("new.log")));
  // Room again: the next entry follows the old bytes, no half entry between.
  AppendLogEntry(path, entry);
  EXPECT_EQ(Read(path), "old\r\n" + entry);
}
