// The profile file object: reading hand-written files, and writes that touch
// only the line they are about.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/vello_error.h"
#include "settings/ini_file.h"

using namespace vello;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

class IniFileTest : public vello::testing::TempFolderTest {
 protected:
  // A file with a little of everything a hand-edited file may hold.
  std::string Fixture(const std::string& bytes) {
    std::string path = PathOf("vello.ini");
    Write(path, bytes);
    return path;
  }
};

TEST_F(IniFileTest, ReadsValuesAsTheSystemProfileFunctionsDo) {
  std::string long_value(3000, 'a');
  // 2046 ASCII bytes, then a double-byte character across the 2047-byte cut.
  std::string split_value = std::string(2046, 'b') + "あい";
  IniFile ini(Fixture(
      "orphan=before any section\r\n"
      "[setup]\r\n"
      "port=6000\r\n"
      "  Sound-File =  C:\\sounds\\ding.wav  \r\n"
      "\tIME\t=\t1\t\r\n"
      "dq=\"quoted value\"\r\n"
      "sq=' kept blanks '\r\n"
      "mixed=\"not stripped'\r\n"
      "lone=\"\r\n"
      "empty=\"\"\r\n"
      "twice=\"\"x\"\"\r\n"
      "inner=a \"b\" c\r\n"
      "blank=\r\n"
      "noequals\r\n"
      ";comment=1\r\n"
      "  ; indented=2\r\n"
      "eq=a=b\r\n"
      "port=7000\r\n"
      "long=" + long_value + "\r\n"
      "split=" + split_value + "\r\n"
      "[Edit]\r\n"
      "Font-Name=MS ゴシック\r\n"
      "ソ=表\r\n"
      "ヂ=katakana di\r\n"
      "[ window ]\r\n"
      "Width=400\r\n"
      "[ゾ\r\n"  // 5B 83 5D: the 5D is half of ゾ, not a closing bracket
      "bad=header without a closing bracket\r\n"
      "[蘊\r\n"  // 5B E5 5D: the same with a lead byte from E0-FC
      "bad2=another header without one\r\n"
      "[饌]\r\n"  // E9 61: a trail byte that is a small letter
      "fold=kept apart from 顴 (E9 41)\r\n"
      "[setup]\r\n"
      "late=second section of the same name\r\n"));

  struct Case { const char* section; const char* key; std::string expected; } cases[] = {
    {"setup", "port", "6000"},  // the first of two lines wins
    {"SETUP", "PORT", "6000"},
    {" setup ", " port ", "6000"},
    {"setup", "sound-file", "C:\\sounds\\ding.wav"},
    {"setup", "ime", "1"},
    {"setup", "dq", "quoted value"},
    {"setup", "sq", " kept blanks "},
    {"setup", "mixed", "\"not stripped'"},
    {"setup", "lone", "\""},
    {"setup", "empty", ""},
    {"setup", "twice", "\"x\""},
    {"setup", "inner", "a \"b\" c"},
    {"setup", "blank", ""},
    {"setup", "noequals", "DEF"},
    {"setup", ";comment", "DEF"},
    {"setup", "eq", "a=b"},
    {"setup", "long", std::string(2047, 'a')},
    {"setup", "split", std::string(2046, 'b')},
    {"setup", "late", "DEF"},
    {"setup", "orphan", "DEF"},
    {"", "orphan", "DEF"},
    {"setup", "missing", "DEF"},
    {"missing", "port", "DEF"},
    {"edit", "font-name", "MS ゴシック"},
    {"Edit", "ソ", "表"},
    {"Edit", "ア", "DEF"},  // 83 41 must not match ヂ (83 61) by folding its trail byte
    {"window", "width", "400"},
    {"ゾ", "bad", "DEF"},
    {"window", "bad2", "another header without one"},
    {"蘊", "bad2", "DEF"},
    {"饌", "fold", "kept apart from 顴 (E9 41)"},
    {"顴", "fold", "DEF"},
    {"window", "bad", "header without a closing bracket"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, "DEF"), c.expected) << c.section << "/" << c.key;
  }
}

TEST_F(IniFileTest, MissingOrUnreadableFileReadsAsDefaults) {
  IniFile missing(PathOf("none.ini"));
  EXPECT_EQ(missing.ReadString("setup", "Font-Name", "MS ゴシック"), "MS ゴシック");
  EXPECT_EQ(missing.ReadInteger("setup", "port", 5963), 5963);
  EXPECT_TRUE(missing.ReadBool("setup", "Sound", true));
  EXPECT_TRUE(missing.ReadSections().empty());
  EXPECT_TRUE(missing.ReadSection("setup").empty());
  EXPECT_FALSE(fs::exists(PathOf("none.ini")));

  fs::create_directory(PathOf("folder.ini"));
  IniFile folder(PathOf("folder.ini"));
  EXPECT_EQ(folder.ReadInteger("setup", "port", 5963), 5963);
}

TEST_F(IniFileTest, LineBreaksOfEveryKind) {
  IniFile ini(Fixture("[a]\nx=1\r[b]\r\ny=2\n\n[c]\rz=3"));
  EXPECT_EQ(ini.ReadString("a", "x", ""), "1");
  EXPECT_EQ(ini.ReadString("b", "y", ""), "2");
  EXPECT_EQ(ini.ReadString("c", "z", ""), "3");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(IniFileTest, AByteOrderMarkIsNoPartOfTheFirstSection) {
  // Saved by an editor as UTF-8: the mark before the first section's header.
  const std::string mark = "\xEF\xBB\xBF";
  std::string path = Fixture(mark + "[window]\r\nWidth=400\r\n[setup]\r\nport=6000\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("window", "Width", 323), 400);
  EXPECT_EQ(ini.ReadInteger("setup", "port", 5963), 6000);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"window", "setup"}));
  // The next save changes the line in place: no second "[window]".
  ini.WriteInteger("window", "Width", 500);
  EXPECT_EQ(Bytes(path), mark + "[window]\r\nWidth=500\r\n[setup]\r\nport=6000\r\n");
  // A file holding the mark alone is an empty file that keeps its mark.
  Write(path, mark);
  ini.WriteInteger("setup", "port", 1);
  EXPECT_EQ(Bytes(path), mark + "[setup]\r\nport=1\r\n");
  // Only at the very start is it a mark.
  Write(path, "[a]\r\n" + mark + "[b]\r\nk=1\r\n");
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"a"});
}

TEST_F(IniFileTest, IntegerTextRule) {
  struct Case { const char* text; std::optional<int32_t> value; } cases[] = {
    {"5963", 5963}, {"-1", -1}, {"+7", 7}, {"007", 7}, {"0", 0},
    {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
    {"2147483648", std::nullopt}, {"-2147483649", std::nullopt}, {"99999999999999999999", std::nullopt},
    {"0x1F", 31}, {"0X1f", 31}, {"0x0", 0}, {"$1F", 31}, {"-$10", -16},
    {"0xFFFFFFFF", -1}, {"0x80000005", -2147483643}, {"0x000000001", 1},
    {"0x100000000", std::nullopt}, {"0x", std::nullopt}, {"0x1G", std::nullopt}, {"0x-1", std::nullopt},
    {"-0x10", std::nullopt}, {"1F", std::nullopt}, {"$", std::nullopt},
    {"", std::nullopt}, {"-", std::nullopt}, {"abc", std::nullopt}, {"yes", std::nullopt},
    {"12a", std::nullopt}, {"1.5", std::nullopt}, {" 5", std::nullopt}, {"5 ", std::nullopt},
    {"１", std::nullopt},  // full-width digit
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInteger(c.text), c.value) << c.text;
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheirDefaults) {
  IniFile ini(Fixture(
      "[setup]\r\n"
      "port=0x1F\r\n"
      "Sound=2\r\n"
      "Log=-1\r\n"
      "Clear=0x1\r\n"
      "IME=0\r\n"
      "mini=yes\r\n"
      "Desktop=\r\n"
      "Startup= \"12\" \r\n"
      "[window]\r\n"
      "Width=abc\r\n"
      "Height=\r\n"));
  EXPECT_EQ(ini.ReadInteger("setup", "port", 5963), 31);
  EXPECT_EQ(ini.ReadInteger("setup", "Startup", 0), 12);  // quotes go before the number is read
  EXPECT_EQ(ini.ReadInteger("window", "Width", 323), 323);
  EXPECT_EQ(ini.ReadInteger("window", "Height", 258), 258);
  EXPECT_EQ(ini.ReadInteger("window", "Top", 244), 244);

  struct Case { const char* key; bool def; bool expected; } cases[] = {
    {"Sound", false, true}, {"Log", false, true}, {"Clear", false, true},
    {"IME", true, false}, {"mini", false, false}, {"mini", true, true},
    {"Desktop", true, true}, {"Desktop", false, false}, {"missing", true, true},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadBool("setup", c.key, c.def), c.expected) << c.key;
}

TEST_F(IniFileTest, FirstWritesCreateTheFileInWriteOrder) {
  std::string path = PathOf("vello.ini");
  IniFile ini(path);
  ini.WriteString("setup", "port", "5963");
  ini.WriteBool("setup", "IME", false);
  ini.WriteBool("setup", "Sound", true);
  ini.WriteString("setup", "Sound-File", "");
  ini.WriteInteger("window", "Left", -120);
  ini.WriteString("Edit", "Font-Name", "MS ゴシック");
  EXPECT_EQ(Bytes(path),
            "[setup]\r\nport=5963\r\nIME=0\r\nSound=1\r\nSound-File=\r\n"
            "[window]\r\nLeft=-120\r\n"
            "[Edit]\r\nFont-Name=MS \x83\x53\x83\x56\x83\x62\x83\x4E\r\n");
  EXPECT_EQ(ini.ReadInteger("window", "left", 360), -120);
  EXPECT_TRUE(ini.ReadBool("SETUP", "sound", false));
}

TEST_F(IniFileTest, WritesEditOnlyTheirOwnLine) {
  const std::string before =
      "; Vello settings, edited by hand\r\n"
      "[setup]\n"
      "  Port = 5963  \n"
      "Unknown=kept as it is\r\n"
      "\r\n"
      "[window]\r\n"
      "Width=323\r\n"
      "; window comment\r\n"
      "\r\n"
      "\r\n"
      "[連絡]\r\n"
      "ソ=表\r\n";
  std::string path = Fixture(before);
  IniFile ini(path);

  // An existing key: its line is rewritten with the file's spelling of the key,
  // keeping that line's own break.
  ini.WriteInteger("SETUP", "PORT", 6000);
  std::string expected = before;
  expected.replace(expected.find("  Port = 5963  \n"), 16, "Port=6000\n");
  EXPECT_EQ(Bytes(path), expected);

  // A new key: below the section's last non-blank line (a comment counts),
  // above the blank lines before the next section.
  ini.WriteInteger("window", "Height", 258);
  expected.insert(expected.find("; window comment\r\n") + 18, "Height=258\r\n");
  EXPECT_EQ(Bytes(path), expected);

  ini.WriteString("setup", "Sound-File", "C:\\音\\ソ.wav");
  expected.insert(expected.find("Unknown=kept as it is\r\n") + 23, "Sound-File=C:\\音\\ソ.wav\r\n");
  EXPECT_EQ(Bytes(path), expected);

  // Japanese section and key names keep their bytes.
  ini.WriteString("連絡", "ソ", "裏");
  expected.replace(expected.find("ソ=表"), 5, "ソ=裏");
  EXPECT_EQ(Bytes(path), expected);

  // A new section goes at the very end.
  ini.WriteBool("Edit", "Font-Style", false);
  expected += "[Edit]\r\nFont-Style=0\r\n";
  EXPECT_EQ(Bytes(path), expected);
}

TEST_F(IniFileTest, WritesAtTheEndOfAFileWithoutAFinalBreak) {
  std::string path = Fixture("[setup]\r\nport=1");
  IniFile ini(path);
  ini.WriteString("setup", "IME", "1");
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=1\r\nIME=1\r\n");

  Write(path, "[setup]");
  ini.WriteString("setup", "IME", "1");
  EXPECT_EQ(Bytes(path), "[setup]\r\nIME=1\r\n");

  Write(path, "x=1\n[setup]\nport=1");
  ini.WriteString("window", "Top", "5");
  EXPECT_EQ(Bytes(path), "x=1\n[setup]\nport=1\r\n[window]\r\nTop=5\r\n");

  Write(path, "[setup]\nport=1\n");
  ini.WriteString("window", "Top", "5");
  EXPECT_EQ(Bytes(path), "[setup]\nport=1\n[window]\r\nTop=5\r\n");
}

TEST_F(IniFileTest, WritesGoToTheFirstOfTwoSectionsAndTheFirstOfTwoKeys) {
  std::string path = Fixture("[a]\r\nk=1\r\nk=2\r\n[b]\r\n[A]\r\nk=3\r\nnew=0\r\n");
  IniFile ini(path);
  ini.WriteString("a", "K", "9");
  ini.WriteString("a", "new", "1");
  EXPECT_EQ(Bytes(path), "[a]\r\nk=9\r\nk=2\r\nnew=1\r\n[b]\r\n[A]\r\nk=3\r\nnew=0\r\n");
  EXPECT_EQ(ini.ReadString("a", "new", ""), "1");
}

TEST_F(IniFileTest, KeysOutsideTheSectionOrWithoutValueAreNotConfused) {
  // A key line without "=" is the key's line: writing gives it a value.
  std::string path = Fixture("port=1\r\n[setup]\r\nlonely\r\n;port=2\r\n");
  IniFile ini(path);
  ini.WriteString("setup", "LONELY", "here");
  ini.WriteString("setup", "port", "3");
  EXPECT_EQ(Bytes(path), "port=1\r\n[setup]\r\nlonely=here\r\n;port=2\r\nport=3\r\n");
}

TEST_F(IniFileTest, EmptyNamesAreNotWritten) {
  std::string path = PathOf("vello.ini");
  IniFile ini(path);
  ini.WriteString("", "key", "v");
  ini.WriteString("  ", "key", "v");
  ini.WriteString("setup", " ", "v");
  EXPECT_FALSE(fs::exists(path));
  ini.WriteString(" setup ", " port ", " 1 ");
  EXPECT_EQ(Bytes(path), "[setup]\r\nport= 1 \r\n");
}

TEST_F(IniFileTest, EachCallReadsTheFileAfresh) {
  std::string path = Fixture("[setup]\r\nport=1\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("setup", "port", 0), 1);
  Write(path, "[setup]\r\nport=2\r\nother=x\r\n");
  EXPECT_EQ(ini.ReadInteger("setup", "port", 0), 2);
  ini.WriteString("setup", "port", "3");
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=3\r\nother=x\r\n");
}

TEST_F(IniFileTest, AHeldCopyReadsTheFileAsItWasUntilItWrites) {
  std::string path = Fixture("[setup]\r\nport=1\r\n[window]\r\nTop=5\r\n");
  IniFile held = IniFile(path).Held();
  // Another writer changes the file: the held copy still reads what it held,
  // every kind of read alike; the file object it came from reads the change.
  Write(path, "[setup]\r\nport=2\r\nlog=1\r\n");
  EXPECT_EQ(held.ReadInteger("setup", "port", 0), 1);
  EXPECT_FALSE(held.ReadBool("setup", "log", false));
  EXPECT_EQ(held.ReadString("window", "Top", ""), "5");
  EXPECT_EQ(held.ReadSections(), (std::vector<std::string>{"setup", "window"}));
  EXPECT_EQ(held.ReadSection("setup"), (std::vector<std::string>{"port"}));
  EXPECT_EQ(held.ReadAllSections().size(), 2u);
  EXPECT_EQ(IniFile(path).ReadInteger("setup", "port", 0), 2);
  // A write goes to the file as it is now, losing nothing of the other
  // writer's, and from then on the copy reads the file.
  held.WriteString("setup", "sound", "1");
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=2\r\nlog=1\r\nsound=1\r\n");
  EXPECT_EQ(held.ReadInteger("setup", "port", 0), 2);
  Write(path, "[setup]\r\nport=3\r\n");
  EXPECT_EQ(held.ReadInteger("setup", "port", 0), 3);
}

TEST_F(IniFileTest, AHeldCopyOfAMissingFileReadsDefaultsAndCreatesItOnWrite) {
  std::string path = PathOf("vello.ini");
  IniFile held = IniFile(path).Held();
  Write(path, "[setup]\r\nport=2\r\n");
  EXPECT_EQ(held.ReadInteger("setup", "port", 7), 7);
  fs::remove(path);
  held.WriteInteger("setup", "port", 9);
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=9\r\n");
}

TEST_F(IniFileTest, ListsSectionsAndKeys) {
  IniFile ini(Fixture(
      "top=not in a section\r\n"
      "[あいさつ]\r\n"
      "おはようございます=\r\n"
      "\r\n"
      "; comment\r\n"
      "no equals sign\r\n"
      "=no name\r\n"
      "  お疲れさまです  =  \r\n"
      "Dup=1\r\n"
      "dup=2\r\n"
      "[]\r\n"
      "[empty]\r\n"
      "[連絡]\r\n"
      "会議室に来てください=\r\n"
      "[あいさつ]\r\n"
      "later=\r\n"
      "[EMPTY]\r\n"));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"あいさつ", "empty", "連絡"}));
  EXPECT_EQ(ini.ReadSection("あいさつ"),
            (std::vector<std::string>{"おはようございます", "お疲れさまです", "Dup", "dup"}));
  EXPECT_EQ(ini.ReadSection(" 連絡 "), (std::vector<std::string>{"会議室に来てください"}));
  EXPECT_TRUE(ini.ReadSection("empty").empty());
  EXPECT_TRUE(ini.ReadSection("").empty());
  EXPECT_TRUE(ini.ReadSection("missing").empty());
}

TEST_F(IniFileTest, DeleteKeyRemovesOneLine) {
  const std::string before = "[a]\r\nx=1\nY=2\r\n; note\r\n[b]\r\ny=3\r\n[A]\r\ny=4";
  std::string path = Fixture(before);
  IniFile ini(path);

  ini.DeleteKey("A", "y");
  EXPECT_EQ(Bytes(path), "[a]\r\nx=1\n; note\r\n[b]\r\ny=3\r\n[A]\r\ny=4");

  // Nothing to remove: the file stays byte for byte.
  ini.DeleteKey("a", "y");
  ini.DeleteKey("missing", "x");
  ini.DeleteKey("a", "; note");
  EXPECT_EQ(Bytes(path), "[a]\r\nx=1\n; note\r\n[b]\r\ny=3\r\n[A]\r\ny=4");

  IniFile missing(PathOf("none.ini"));
  missing.DeleteKey("a", "x");
  EXPECT_FALSE(fs::exists(PathOf("none.ini")));
}

TEST_F(IniFileTest, EraseSectionRemovesItsHeaderAndEveryLineUpToTheNext) {
  std::string path = Fixture(
      "; head\r\n[a]\r\nx=1\r\n\r\n; about b\r\n[b]\r\ny=2\r\n[c]\r\nz=3\r\n[B]\r\nw=4\r\n");
  IniFile ini(path);
  ini.EraseSection("B");
  EXPECT_EQ(Bytes(path), "; head\r\n[a]\r\nx=1\r\n\r\n; about b\r\n[c]\r\nz=3\r\n[B]\r\nw=4\r\n");
  ini.EraseSection("c");
  ini.EraseSection("b");
  EXPECT_EQ(Bytes(path), "; head\r\n[a]\r\nx=1\r\n\r\n; about b\r\n");
  ini.EraseSection("missing");
  EXPECT_EQ(Bytes(path), "; head\r\n[a]\r\nx=1\r\n\r\n; about b\r\n");
}

TEST_F(IniFileTest, RefusedWritesThrowAndLeaveTheFileAlone) {
  std::string nowhere = PathOf("no such folder") + "/vello.ini";
  IniFile lost(nowhere);
  EXPECT_EQ(ErrorText([&] { lost.WriteString("setup", "port", "1"); }), nowhere + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { lost.WriteInteger("setup", "port", 1); }), nowhere + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { lost.WriteBool("setup", "IME", true); }), nowhere + " に書き込めません");

  // A read-only file: the system would refuse it, so must we.
  std::string path = Fixture("[setup]\r\nport=1\r\n[b]\r\nx=1\r\n");
  IniFile ini(path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(ErrorText([&] { ini.WriteString("setup", "port", "2"); }), path + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { ini.DeleteKey("setup", "port"); }), path + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { ini.EraseSection("b"); }), path + " に書き込めません");
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=1\r\n[b]\r\nx=1\r\n");
  EXPECT_EQ(ini.ReadInteger("setup", "port", 0), 1);

  // Something that is not a file cannot be written over.
  fs::create_directory(PathOf("folder.ini"));
  IniFile folder(PathOf("folder.ini"));
  EXPECT_EQ(ErrorText([&] { folder.WriteString("setup", "port", "2"); }),
            PathOf("folder.ini") + " に書き込めません");
  EXPECT_TRUE(fs::is_directory(PathOf("folder.ini")));
}

TEST_F(IniFileTest, ReadOnlyFolderRefusesTheFirstWrite) {
  fs::create_directory(PathOf("locked"));
  fs::permissions(PathOf("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  std::string path = PathOf("locked") + "/vello.ini";
  if (std::ofstream(path)) GTEST_SKIP() << "this user writes into read-only folders";
  IniFile ini(path);
  EXPECT_EQ(ErrorText([&] { ini.WriteString("setup", "port", "1"); }), path + " に書き込めません");
}

TEST_F(IniFileTest, UnreadableFileIsRefusedNeverWrittenOver) {
  // Writing keys into what could not be read would lose every other key.
  std::string path = Fixture("[setup]\r\nport=1\r\n[window]\r\nWidth=400\r\n");
  fs::permissions(path, fs::perms::owner_write);
  if (std::ifstream(path)) GTEST_SKIP() << "this user reads unreadable files (the unprivileged run covers it)";
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("setup", "port", 5963), 5963);  // read as missing
  EXPECT_EQ(ErrorText([&] { ini.WriteString("setup", "port", "2"); }), path + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { ini.DeleteKey("setup", "port"); }), path + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { ini.EraseSection("window"); }), path + " に書き込めません");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Bytes(path), "[setup]\r\nport=1\r\n[window]\r\nWidth=400\r\n");
}

TEST_F(IniFileTest, AReplacementThatFailsHalfWayLeavesTheFileAndNoTemporaryFile) {
  const std::string before = "[setup]\r\nport=1\r\n";
  std::string path = Fixture(before);
  {
    // The new file cannot be written whole, as on a full disk.
    vello::testing::FileSizeLimit limit(64);
    EXPECT_EQ(ErrorText([&] { IniFile(path).WriteString("setup", "Sound-File", std::string(100, 'x')); }),
              path + " に書き込めません");
  }
  EXPECT_EQ(Bytes(path), before);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"vello.ini"});
}

TEST_F(IniFileTest, TheFileNameIsTheSystemsOwn) {
  // Any name the file system allows, not only one code page 932 can spell.
  const fs::path path = dir_ / fs::path(u8"設定Müller한글.ini");
  IniFile ini(path);
  ini.WriteString("setup", "port", "5963");
  EXPECT_EQ(ini.ReadString("setup", "port", ""), "5963");
  EXPECT_EQ(ini.path(), path);
  EXPECT_EQ(Bytes(path.string()), "[setup]\r\nport=5963\r\n");
}

}  // namespace
