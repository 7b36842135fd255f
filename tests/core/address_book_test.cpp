// The address book file and how a "*" destination is resolved through it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_folder.h"

#include <filesystem>
#include <fstream>

#include "common/file_io.h"
#include "common/vello_error.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"

using namespace vello;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

class AddressBookFile : public vello::testing::TempFolderTest {};

TEST_F(AddressBookFile, SavedLineEndsInCrLfAndComesBackAsTheFirstEntry) {
  std::string path = PathOf("vello.dat");
  SaveAddressBook(path, {"Taro : 192.168.0.5"});
  EXPECT_EQ(Bytes(path), "Taro : 192.168.0.5\r\n");

  std::vector<std::string> lines = LoadAddressBook(path);
  EXPECT_EQ(lines, std::vector<std::string>{"Taro : 192.168.0.5"});
  EXPECT_EQ(BuildDestinationList(lines, {"PC01"}), (std::vector<std::string>{"*Taro", "------", "PC01"}));
  EXPECT_EQ(ResolveFirst(lines, "*Taro"), "192.168.0.5");
}

TEST_F(AddressBookFile, EveryLineIsWrittenAsStoredEmptyOnesIncluded) {
  std::string path = PathOf("vello.dat");
  std::vector<std::string> lines = {"a : 1", "", "ソフト : PC\\1"};
  SaveAddressBook(path, lines);
  EXPECT_EQ(Bytes(path), "a : 1\r\n\r\nソフト : PC\\1\r\n");
  EXPECT_EQ(LoadAddressBook(path), lines);

  SaveAddressBook(path, {});
  EXPECT_EQ(Bytes(path), "");
  EXPECT_TRUE(LoadAddressBook(path).empty());
}

TEST_F(AddressBookFile, MissingFileIsAnEmptyBook) {
  std::vector<std::string> lines = LoadAddressBook(PathOf("none.dat"));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(ResolveFirst(lines, "*taro"), std::nullopt);
  EXPECT_EQ(BuildDestinationList(lines, {}), std::vector<std::string>{"------"});
}

TEST_F(AddressBookFile, UnreadableFileIsAnErrorNamingIt) {
  // A directory under the book's name exists but cannot be read as a file
  // (file permissions would not stop a test run as root).
  std::string path = PathOf("vello.dat");
  fs::create_directory(path);
  EXPECT_EQ(ErrorText([&] { LoadAddressBook(path); }), "ファイル " + path + " は開けません");
}

TEST_F(AddressBookFile, RefusedSaveIsAnErrorNamingTheFile) {
  std::string path = PathOf("missing/vello.dat");
  EXPECT_EQ(ErrorText([&] { SaveAddressBook(path, {"a : b"}); }), "ファイル " + path + " を作成できません");
}

TEST_F(AddressBookFile, RefusedSaveLeavesTheOldFileAsItWasAndNoTemporaryFile) {
  std::string path = PathOf("vello.dat");
  Write(path, "old : 1\r\n");
  {
    // The new book cannot be written whole, as on a full disk.
    vello::testing::FileSizeLimit limit(64);
    EXPECT_EQ(ErrorText([&] { SaveAddressBook(path, {std::string(100, 'x') + " : 2"}); }),
              "ファイル " + path + " を作成できません");
    EXPECT_EQ(ErrorText([&] { AddAddressBookLine(path, std::string(100, 'x') + " : 2"); }),
              "ファイル " + path + " を作成できません");
  }
  EXPECT_EQ(Bytes(path), "old : 1\r\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"vello.dat"});
}

TEST_F(AddressBookFile, PageChangesWorkOnTheLinesStoredNow) {
  // The page was filled with taro and jiro; another copy has since added
  // saburo and removed nothing.
  std::string path = PathOf("vello.dat");
  Write(path, "taro : PC01\r\njiro : PC02\r\nsaburo : PC03\r\n");
  EXPECT_EQ(AddAddressBookLine(path, "shiro : PC04"),
            (std::vector<std::string>{"taro : PC01", "jiro : PC02", "saburo : PC03", "shiro : PC04"}));
  // Row 1 as the page showed it is still jiro.
  EXPECT_EQ(RemoveAddressBookLine(path, 1, "jiro : PC02"),
            (std::vector<std::string>{"taro : PC01", "saburo : PC03", "shiro : PC04"}));
  EXPECT_EQ(Bytes(path), "taro : PC01\r\nsaburo : PC03\r\nshiro : PC04\r\n");

  // Two equal lines: the one in the row shown goes, not the first.
  Write(path, "a : 1\r\nb : 2\r\na : 1\r\n");
  EXPECT_EQ(RemoveAddressBookLine(path, 2, "a : 1"), (std::vector<std::string>{"a : 1", "b : 2"}));
  // The row has moved (another copy removed a line above it): the first equal line goes.
  Write(path, "b : 2\r\nc : 3\r\n");
  EXPECT_EQ(RemoveAddressBookLine(path, 2, "c : 3"), (std::vector<std::string>{"b : 2"}));
  // Already removed by another copy: nothing else is touched.
  EXPECT_EQ(RemoveAddressBookLine(path, 0, "c : 3"), (std::vector<std::string>{"b : 2"}));
  EXPECT_EQ(Bytes(path), "b : 2\r\n");

  // The first line added creates the book.
  std::string fresh = PathOf("fresh.dat");
  EXPECT_EQ(AddAddressBookLine(fresh, "Taro : 192.168.0.5"), std::vector<std::string>{"Taro : 192.168.0.5"});
  EXPECT_EQ(Bytes(fresh), "Taro : 192.168.0.5\r\n");
}

TEST_F(AddressBookFile, ABookThatCannotBeReadIsNeverWrittenOver) {
  // A directory under the book's name: it cannot be read, so a change that
  // would rewrite it from nothing is refused.
  std::string path = PathOf("vello.dat");
  fs::create_directory(path);
  EXPECT_EQ(ErrorText([&] { AddAddressBookLine(path, "a : b"); }), "ファイル " + path + " は開けません");
  EXPECT_EQ(ErrorText([&] { RemoveAddressBookLine(path, 0, "a : b"); }), "ファイル " + path + " は開けません");
  EXPECT_TRUE(fs::is_directory(path));
}

TEST(ParseAddressBook, LineBreaksNulAndEmptyLines) {
  using Lines = std::vector<std::string>;
  struct Case { std::string bytes; Lines lines; } cases[] = {
    {"", {}},
    {"a : 1\r\nb : 2\r\n", {"a : 1", "b : 2"}},
    {"a : 1\rb : 2\nc : 3", {"a : 1", "b : 2", "c : 3"}},
    {"a : 1\n\rb : 2", {"a : 1", "", "b : 2"}},    // LF then CR: two breaks
    {"a : 1\r\n\r\n\r\nb : 2\r\n", {"a : 1", "", "", "b : 2"}},
    {"\r\n", {""}},
    {"a : 1\r\n\r\n", {"a : 1", ""}},
    {"a : 1\r\nb : 2\0c : 3\r\nd : 4"s, {"a : 1", "b : 2"}},
    {"\0a : 1\r\n"s, {}},
    {"a : 1\r\n\0"s, {"a : 1"}},
    {"ソ : \x83\x5C\r\n", {"ソ : ソ"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAddressBook(c.bytes), c.lines) << c.bytes;
}

TEST(AddressBookLine, NicknameAndAddressSplitAtTheFirstSeparator) {
  struct Case { std::string line, nickname; std::optional<std::string> address; } cases[] = {
    {"Taro : 192.168.0.5", "Taro", "192.168.0.5"},
    {"one : two : three", "one", "two : three"},
    {"no separator here", "", std::nullopt},
    {"", "", std::nullopt},
    {"Taro :192.168.0.5", "", std::nullopt},      // the blank after ":" belongs to the separator
    {" : PC01", "", "PC01"},
    {"Taro : ", "Taro", ""},
    {" Taro  :  PC01 ", " Taro ", " PC01 "},
    {"太郎 : ＰＣ", "太郎", "ＰＣ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NicknameOf(c.line), c.nickname) << c.line;
    EXPECT_EQ(AddressOf(c.line), c.address) << c.line;
    EXPECT_EQ(DestinationEntry(c.line), "*" + c.nickname) << c.line;
  }
  EXPECT_EQ(DestinationEntry("no separator here"), "*");
}

TEST(ResolveDestination, FirstMatchForSendingLastForTheSchedule) {
  std::vector<std::string> lines = {"jiro : PC02", "taro : 192.168.0.7", "Taro : PC09", "taro : 192.168.0.8"};
  EXPECT_EQ(ResolveFirst(lines, "*taro"), "192.168.0.7");
  EXPECT_EQ(ResolveLast(lines, "*taro"), "192.168.0.8");
  EXPECT_EQ(ResolveFirst(lines, "*jiro"), "PC02");
  EXPECT_EQ(ResolveLast(lines, "*jiro"), "PC02");
  // Letter case counts.
  EXPECT_EQ(ResolveFirst(lines, "*Taro"), "PC09");
  EXPECT_EQ(ResolveFirst(lines, "*TARO"), std::nullopt);
  EXPECT_EQ(ResolveLast(lines, "*JIRO"), std::nullopt);
  // Only the whole entry matches.
  EXPECT_EQ(ResolveFirst(lines, "*tar"), std::nullopt);
  EXPECT_EQ(ResolveFirst(lines, "*taro "), std::nullopt);
  EXPECT_EQ(ResolveFirst(lines, "taro"), std::nullopt);
  EXPECT_EQ(ResolveFirst(lines, ""), std::nullopt);
}

TEST(ResolveDestination, LinesWithoutSeparatorNeverResolve) {
  EXPECT_EQ(ResolveFirst({"hand edited", ""}, "*"), std::nullopt);
  EXPECT_EQ(ResolveLast({"hand edited", ""}, "*"), std::nullopt);
  // The bare marker still reaches a line whose nickname is empty.
  std::vector<std::string> lines = {"hand edited", " : PC01", "", " : PC02", "junk"};
  EXPECT_EQ(ResolveFirst(lines, "*"), "PC01");
  EXPECT_EQ(ResolveLast(lines, "*"), "PC02");
}

}  // namespace

namespace {

class AddressBookReadOnly : public vello::testing::TempFolderTest {};

TEST_F(AddressBookReadOnly, AReadOnlyBookIsRefusedNotReplaced) {
  std::string path = PathOf("vello.dat");
  Write(path, "taro : PC01\r\n");
  // The file's own read-only mark refuses it, also for root, who could write
  // it: the system would refuse a read-only file on Windows.
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  EXPECT_EQ(ErrorText([&] { SaveAddressBook(path, {"jiro : PC02"}); }), "ファイル " + path + " を作成できません");
  EXPECT_EQ(ErrorText([&] { AddAddressBookLine(path, "jiro : PC02"); }), "ファイル " + path + " を作成できません");
  EXPECT_EQ(Bytes(path), "taro : PC01\r\n");
}

}  // namespace
