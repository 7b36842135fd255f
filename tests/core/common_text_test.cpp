// CP932 scanning, error texts and paths beside the executable.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_paths.h"
#include "common/sjis.h"
#include "common/text_format.h"

using namespace vello;

TEST(Sjis, LiteralsAreCompiledToCp932) {
  // "ソ" is 83 5C: its trail byte is a backslash.
  EXPECT_EQ(std::string("ソ"), std::string("\x83\x5C"));
  EXPECT_EQ(std::string("【送信】"), std::string("\x81\x79\x91\x97\x90\x4D\x81\x7A"));
}

TEST(Sjis, SplitLinesOnEveryKindOfBreak) {
  struct Case { std::string in; std::vector<std::string> lines; } cases[] = {
    {"", {}},
    {"a", {"a"}},
    {"a\r\n", {"a"}},
    {"a\r\nb\r\n", {"a", "b"}},
    {"a\rb\nc", {"a", "b", "c"}},
    {"a\r\n\r\nb", {"a", "", "b"}},
    {"\n", {""}},
    {"ソ\r\nソ", {"ソ", "ソ"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitLines(c.in), c.lines) << c.in;
}

TEST(Sjis, CaseIsFoldedOnlyForAsciiLetters) {
  EXPECT_TRUE(SameTextIgnoreCase("Setup", "SETUP"));
  // 0x83 0x61 ("ヂ") must not match 0x83 0x41 ("ア") by folding its trail byte.
  EXPECT_FALSE(SameTextIgnoreCase("\x83\x61", "\x83\x41"));
  EXPECT_EQ(CountChar("ソ.ソ.\\", '\\'), 1u);
  EXPECT_EQ(FindText("ソ\\", "\\"), 2u);
  // Lead bytes E0-FC too: 濛 E0 61 is not 漓 E0 41, 饅 E9 5C holds no backslash.
  EXPECT_FALSE(SameTextIgnoreCase("濛", "漓"));
  EXPECT_FALSE(SameTextIgnoreCase("\xFC\x61", "\xFC\x41"));
  EXPECT_EQ(CountChar("饅.纊.\\", '\\'), 1u);
  EXPECT_EQ(FindText("饅\\", "\\"), 2u);
  EXPECT_EQ(LastCharStart("a饅"), 1u);
}

TEST(FormatText, PlainAndNumberedPlaceholders) {
  EXPECT_EQ(FormatText("ファイル %s を作成できません", {"C:\\a.log"}), "ファイル C:\\a.log を作成できません");
  EXPECT_EQ(FormatText("'%2:s' API でWindows ソケットエラー: %0:s (%1:d)", {"text", "10048", "bind"}),
            "'bind' API でWindows ソケットエラー: text (10048)");
  EXPECT_EQ(FormatText("100%% %d", {"5"}), "100% 5");
}

TEST(ErrorDisplayText, DotOnlyAfterCharactersThatSortAfterDot) {
  struct Case { const char* in; const char* out; } cases[] = {
    {"abc", "abc."}, {"abc.", "abc."}, {"abc!", "abc!"}, {"I/O エラー (5)", "I/O エラー (5)"},
    {"は開けません", "は開けません."}, {"。", "。."}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorDisplayText(c.in), c.out) << c.in;
}

TEST(BesideExecutable, EndingsReplaceTheExtensionOfTheLastComponent) {
  // The path as the system spells it (here UTF-8; UTF-16 on Windows), with
  // folder names code page 932 cannot hold.
  struct Case { const char8_t* exe; std::string_view ending; const char8_t* out; } cases[] = {
    {u8"C:\\Tools\\vello.exe", kSettingsEnding, u8"C:\\Tools\\vello.ini"},
    {u8"C:\\Tools\\vello.exe", kAddressBookEnding, u8"C:\\Tools\\vello.dat"},
    {u8"C:\\Tools\\vello.exe", kLogEnding, u8"C:\\Tools\\vello.log"},
    {u8"C:\\Tools\\vello.exe", kPhrasesEnding, u8"C:\\Tools\\velloFixed.dat"},
    {u8"C:\\Tools\\vello.exe", kScheduleEnding, u8"C:\\Tools\\vellot.dat"},
    {u8"C:\\My.Tools\\vello", kSettingsEnding, u8"C:\\My.Tools\\vello.ini"},
    {u8"C:\\My.Tools\\vello", kScheduleEnding, u8"C:\\My.Tools\\vellot.dat"},
    {u8"/opt/my.tools/vello", kLogEnding, u8"/opt/my.tools/vello.log"},
    {u8"C:vello", kLogEnding, u8"C:vello.log"},
    {u8"C:\\ソ.d\\vello.x.exe", kSettingsEnding, u8"C:\\ソ.d\\vello.x.ini"},
    {u8"C:\\Users\\Müller\\한글.앱\\vello.exe", kPhrasesEnding, u8"C:\\Users\\Müller\\한글.앱\\velloFixed.dat"},
    {u8"C:\\Users\\Müller\\한글\\벨로", kSettingsEnding, u8"C:\\Users\\Müller\\한글\\벨로.ini"},
    {u8"C:\\Tools\\vello.饅", kSettingsEnding, u8"C:\\Tools\\vello.ini"},
    {u8"C:\\饅頭.d\\vello.饅頭", kScheduleEnding, u8"C:\\饅頭.d\\vellot.dat"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BesideExecutable(std::filesystem::path(c.exe), c.ending), std::filesystem::path(c.out))
        << std::filesystem::path(c.exe).string();
}
