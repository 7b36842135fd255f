// The profile file object against the system's own profile functions: what
// one writes, the other must read the same way.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/vello_error.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

using namespace vello;

namespace {

std::string ToCodePage(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::vector<std::string> SplitNulList(const char* buffer) {
  std::vector<std::string> names;
  for (const char* p = buffer; *p; p += std::strlen(p) + 1) names.emplace_back(p);
  return names;
}

class IniProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = std::wstring(temp) + L"vello_ini_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }

  void TearDown() override {
    for (const std::wstring& file : files_) {
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }

  // A new file name for every use: the system may keep a profile it has
  // read in memory for a while.
  struct File {
    std::wstring wide;
    std::string forVello;   // CP932, as the program passes paths
    std::string forSystem;  // the ANSI code page, as the A functions take them
  };
  File NewFile() {
    std::wstring wide = folder_ + L"\\p" + std::to_wstring(files_.size()) + L".ini";
    files_.push_back(wide);
    return {wide, ToCodePage(wide, 932), ToCodePage(wide, CP_ACP)};
  }

  void WriteBytes(const File& file, const std::string& bytes) {
    HANDLE h = CreateFileW(file.wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
  }

  static std::string SystemRead(const File& file, const std::string& section, const std::string& key) {
    char buffer[2048];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "DEF", buffer, sizeof buffer, file.forSystem.c_str());
    return buffer;
  }

  std::wstring folder_;
  std::vector<std::wstring> files_;
};

// One value through each writer; `section`/`key` are written, `readSection`/
// `readKey` are looked up (another letter case, other blanks).
struct Case {
  const char* name;
  const char* before;  // the file's bytes before the write, or nullptr for no file
  const char* section;
  const char* key;
  const char* value;
  const char* readSection;
  const char* readKey;
  const char* expected;
};

const Case kCases[] = {
  {"plain", nullptr, "setup", "port", "5963", "setup", "port", "5963"},
  {"case", nullptr, "setup", "Sound-File", "x.wav", "SETUP", "sound-file", "x.wav"},
  {"blanksAroundNames", nullptr, "setup", "port", "1", " setup ", " port ", "1"},
  {"blanksAroundValue", nullptr, "setup", "Sound-File", "  C:\\a b.wav  ", "setup", "Sound-File", "C:\\a b.wav"},
  {"doubleQuotes", nullptr, "setup", "Sound-File", "\"C:\\a b.wav\"", "setup", "Sound-File", "C:\\a b.wav"},
  {"singleQuotes", nullptr, "setup", "Sound-File", "' x '", "setup", "Sound-File", " x "},
  {"unmatchedQuotes", nullptr, "setup", "Sound-File", "\"x'", "setup", "Sound-File", "\"x'"},
  {"oneQuote", nullptr, "setup", "Sound-File", "\"", "setup", "Sound-File", "\""},
  {"equalsInValue", nullptr, "setup", "Sound-File", "a=b", "setup", "Sound-File", "a=b"},
  {"emptyValue", nullptr, "setup", "Sound-File", "", "setup", "Sound-File", ""},
  {"japaneseValue", nullptr, "Edit", "Font-Name", "MS ゴシック", "edit", "FONT-NAME", "MS ゴシック"},
  {"japaneseNames", nullptr, "あいさつ", "おはようございます", "", "あいさつ", "おはようございます", ""},
  {"trailBackslash", nullptr, "ソフト", "表示", "ソ\\表", "ソフト", "表示", "ソ\\表"},
  {"trailLetter", nullptr, "Edit", "ヂ", "di", "Edit", "ア", "DEF"},
  {"hexadecimal", nullptr, "setup", "port", "0x1F", "setup", "port", "0x1F"},
  {"negative", nullptr, "Edit", "Color", "-2147483643", "Edit", "Color", "-2147483643"},
  {"missingKey", nullptr, "setup", "port", "1", "setup", "IME", "DEF"},
  {"missingSection", nullptr, "setup", "port", "1", "window", "port", "DEF"},
  {"replaceExisting", "; hand-written\r\n[Setup]\r\nPort = 1\r\nIME=1\r\n", "setup", "port", "2", "SETUP", "Port", "2"},
  {"keepOthers", "; hand-written\r\n[Setup]\r\nPort = 1\r\nIME=1\r\n", "setup", "port", "2", "setup", "ime", "1"},
  {"newKeyBeforeNextSection", "[setup]\r\nport=1\r\n\r\n[window]\r\nWidth=3\r\n", "setup", "IME", "1", "setup", "IME", "1"},
  {"otherSectionUntouched", "[setup]\r\nport=1\r\n\r\n[window]\r\nWidth=3\r\n", "setup", "IME", "1", "window", "width", "3"},
  {"noFinalBreak", "[setup]\r\nport=1", "window", "Top", "5", "window", "Top", "5"},
  {"noFinalBreakKeepsLast", "[setup]\r\nport=1", "window", "Top", "5", "setup", "port", "1"},
  {"lfOnly", "[setup]\nport=1\n[window]\nTop=2\n", "window", "Left", "7", "window", "left", "7"},
  {"lineWithoutEquals", "[setup]\r\nport\r\n", "setup", "IME", "1", "setup", "port", "DEF"},
};

TEST_F(IniProfile, VelloWritesTheSystemReads) {
  for (const Case& c : kCases) {
    File file = NewFile();
    if (c.before) WriteBytes(file, c.before);
    IniFile(file.forVello).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(SystemRead(file, c.readSection, c.readKey), c.expected) << c.name;
    EXPECT_EQ(IniFile(file.forVello).ReadString(c.readSection, c.readKey, "DEF"), c.expected) << c.name;
  }
}

TEST_F(IniProfile, TheSystemWritesVelloReads) {
  for (const Case& c : kCases) {
    File file = NewFile();
    if (c.before) WriteBytes(file, c.before);
    ASSERT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, file.forSystem.c_str())) << c.name;
    EXPECT_EQ(IniFile(file.forVello).ReadString(c.readSection, c.readKey, "DEF"), c.expected) << c.name;
    EXPECT_EQ(SystemRead(file, c.readSection, c.readKey), c.expected) << c.name;
  }

  File file = NewFile();
  WritePrivateProfileStringA("setup", "port", "0x1F", file.forSystem.c_str());
  WritePrivateProfileStringA("setup", "Sound", "2", file.forSystem.c_str());
  WritePrivateProfileStringA("Edit", "Color", "0x80000005", file.forSystem.c_str());
  IniFile ini(file.forVello);
  EXPECT_EQ(ini.ReadInteger("setup", "port", 5963), 31);
  EXPECT_TRUE(ini.ReadBool("setup", "Sound", false));
  EXPECT_EQ(ini.ReadInteger("Edit", "Color", 0), -2147483643);
}

TEST_F(IniProfile, BothReadTheSameHandWrittenFile) {
  File file = NewFile();
  WriteBytes(file,
             "top=before any section\r\n"
             "[setup]\r\n"
             "  port  =  6000  \r\n"
             "noequals\r\n"
             "; comment=1\r\n"
             "\r\n"
             "\tIME\t=\t1\t\r\n"
             "Sound-File=\"C:\\sounds\\ding.wav\"\r\n"
             "[ window ]\r\n"
             "Width=400\r\n"
             "[連絡]\r\n"
             "会議室に来てください=\r\n"
             "a=b=\r\n"
             "[ゾ\r\n"
             "ソ=表\r\n");
  IniFile ini(file.forVello);
  const char* lookups[][2] = {
    {"setup", "port"}, {"setup", "noequals"}, {"setup", "ime"},
    {"setup", "sound-file"}, {"setup", "top"}, {"window", "width"}, {"連絡", "会議室に来てください"},
    {"連絡", "a"}, {"連絡", "ソ"}, {"連絡", "[ゾ"}, {"ゾ", "ソ"},
  };
  for (const auto& l : lookups) {
    EXPECT_EQ(ini.ReadString(l[0], l[1], "DEF"), SystemRead(file, l[0], l[1])) << l[0] << "/" << l[1];
  }

  char buffer[4096];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  ASSERT_LT(n, sizeof buffer - 2);
  EXPECT_EQ(ini.ReadSections(), SplitNulList(buffer));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"setup", "window", "連絡"}));
  for (const char* section : {"setup", "WINDOW", "連絡", "missing"}) {
    GetPrivateProfileStringA(section, nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
    EXPECT_EQ(ini.ReadSection(section), SplitNulList(buffer)) << section;
  }
}

TEST_F(IniProfile, PhrasesAndDeletionsAsTheSystemSeesThem) {
  File file = NewFile();
  PhraseStore store(file.forVello);
  store.AddPhrase("あいさつ", "おはようございます");
  store.AddPhrase("あいさつ", "お疲れさまです");
  store.AddPhrase("連絡", "会議室に来てください");
  // Marks that are only special at the start of a line, or not at all.
  for (const char* phrase : {"x[1]", "a;b", "【重要】", "\"引用\"", "饅頭は纊"}) store.AddPhrase("連絡", phrase);
  store.AddPhrase("削除", "x");

  char buffer[4096];
  GetPrivateProfileStringA("連絡", nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  EXPECT_EQ(SplitNulList(buffer),
            (std::vector<std::string>{"会議室に来てください", "x[1]", "a;b", "【重要】", "\"引用\"", "饅頭は纊"}));
  EXPECT_EQ(store.Phrases("連絡"), SplitNulList(buffer));

  store.DeletePhrase("あいさつ", "おはようございます");
  store.DeletePhrase("削除", "x");
  store.DeleteCategory("削除");
  GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  EXPECT_EQ(SplitNulList(buffer), (std::vector<std::string>{"あいさつ", "連絡"}));
  GetPrivateProfileStringA("あいさつ", nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  EXPECT_EQ(SplitNulList(buffer), (std::vector<std::string>{"お疲れさまです"}));

  // And the other way round: the system deletes, the store no longer lists.
  WritePrivateProfileStringA("あいさつ", "お疲れさまです", nullptr, file.forSystem.c_str());
  WritePrivateProfileStringA("連絡", nullptr, nullptr, file.forSystem.c_str());
  EXPECT_TRUE(store.Phrases("あいさつ").empty());
  EXPECT_EQ(store.Categories(), (std::vector<std::string>{"あいさつ"}));
}

TEST_F(IniProfile, PhrasesTheSystemWouldNotReadBackAreRefused) {
  // Written as keys by hand, the system reads none of them back as typed:
  // that is why the store refuses them.
  File file = NewFile();
  WriteBytes(file, "[t]\r\na=b=\r\n;memo=\r\n  pad  =\r\n[x]=\r\n");
  char buffer[4096];
  GetPrivateProfileStringA("t", nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  std::vector<std::string> keys = SplitNulList(buffer);
  for (const char* typed : {"a=b", ";memo", "  pad  ", "[x]"}) {
    EXPECT_EQ(std::count(keys.begin(), keys.end(), typed), 0) << typed;
    EXPECT_TRUE(PhraseRefusal(typed).has_value()) << typed;
  }
  GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.forSystem.c_str());
  EXPECT_EQ(SplitNulList(buffer), (std::vector<std::string>{"t", "x"}));  // "[x]" became a category
}

TEST_F(IniProfile, ReadOnlyFileIsRefused) {
  // Windows refuses to write a read-only file. (Wine run by root writes it
  // all the same, so the system's own refusal is not asserted here.)
  File file = NewFile();
  WriteBytes(file, "[setup]\r\nport=1\r\n");
  ASSERT_TRUE(SetFileAttributesW(file.wide.c_str(), FILE_ATTRIBUTE_READONLY));
  IniFile ini(file.forVello);
  std::string error;
  try {
    ini.WriteString("setup", "port", "2");
  } catch (const VelloError& e) {
    error = e.text();
  }
  EXPECT_EQ(error, file.forVello + " に書き込めません");
  EXPECT_EQ(ini.ReadString("setup", "port", ""), "1");
  EXPECT_EQ(SystemRead(file, "setup", "port"), "1");
}

TEST_F(IniProfile, RewritingKeepsTheFileWhole) {
  // Replacing the file goes through a temporary file renamed over the old one.
  File file = NewFile();
  IniFile ini(file.forVello);
  for (int i = 0; i < 5; ++i) ini.WriteInteger("window", "Width", 300 + i);
  EXPECT_EQ(SystemRead(file, "window", "Width"), "304");
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(file.wide.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, std::string("[window]\r\nWidth=304\r\n").size());
  // Nothing else is left in the folder: no temporary file, no lock file.
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    if (std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..") names.push_back(found.cFileName);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  EXPECT_EQ(names, std::vector<std::wstring>{file.wide.substr(folder_.size() + 1)});
}

}  // namespace
