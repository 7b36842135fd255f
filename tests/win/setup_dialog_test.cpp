// The settings dialog: its frame and general pages, OK and Cancel, the
// shortcuts made at OK, the destinations and fixed-phrase pages against the
// bytes of their files, and the version page.
#include <filesystem>
#include <fstream>

#include <objbase.h>
#include <shlobj.h>

#include "app_fixture.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "app/main_form.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/executable_path.h"
#include "platform/shell_execute.h"
#include "platform/shell_folders.h"
#include "platform/shell_link.h"
#include "platform/win_text.h"
#include "settings/destinations_page.h"
#include "settings/general_pages.h"
#include "settings/phrases_page.h"
#include "settings/shortcuts.h"
#include "settings/timer_page.h"
#include "settings/version_page.h"
#include "schedule/schedule_entry.h"

namespace vello::testing {
namespace {

namespace fs = std::filesystem;

// A folder name code page 932 cannot hold, out of the test macros (which
// spell their arguments in code page 932).
const std::wstring kForeignFolder = L"Müller\\한글";

// One value under the user's Shell Folders key, put back as it was.
class SavedShellFolder {
 public:
  explicit SavedShellFolder(const wchar_t* name) : name_(name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type_, nullptr, &bytes) == ERROR_SUCCESS) {
      data_.assign(bytes, 0);
      RegQueryValueExW(key, name, nullptr, &type_, data_.data(), &bytes);
      existed_ = true;
    }
    RegCloseKey(key);
  }
  ~SavedShellFolder() {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (existed_)
      RegSetValueExW(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
      RegDeleteValueW(key, name_);
    RegCloseKey(key);
  }

 private:
  const wchar_t* name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

void SetShellFolderValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(key);
}

void SetShellFolderText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  SetShellFolderValue(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void DeleteShellFolderValue(const wchar_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(Narrow(e.path().filename().wstring()));
  return names;
}

class SetupDialogTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    startup_ = dir_ / L"スタートアップ";
    desktop_ = dir_ / L"desktop";
    fs::create_directories(startup_);
    fs::create_directories(desktop_);
    // The program's shortcuts go to folders of this test, never the user's own.
    SetShellFolderFunctionForTests([this](std::string_view name) {
      return name == "Startup" ? startup_ : name == "Desktop" ? desktop_ : fs::path();
    });
    SetShellExecuteFunctionForTests([this](const ShellExecuteCall& call) { shellCalls_.push_back(call); });
  }
  void TearDown() override {
    SetShellExecuteFunctionForTests({});
    SetShellFolderFunctionForTests({});
    AppFixture::TearDown();
  }

  TSetupForm& Dialog() { return app_->setup; }
  TGeneralPages& General() { return app_->setup.generalPages(); }
  TDestinationsPage& Destinations() { return app_->setup.destinationsPage(); }
  TPhrasesPage& Phrases() { return app_->setup.phrasesPage(); }
  bool DialogVisible() { return IsWindowVisible(Dialog().hwnd()) != FALSE; }

  // A first start that listens on this test's port, then no settings file.
  void StartWithoutSettings() {
    StartApp();
    fs::remove(PathBeside(".ini"));
  }
  // Pressed as the mouse would: the button tells its page, the page the dialog.
  void Click(HWND button) {
    ASSERT_TRUE(IsWindowEnabled(button));
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump(10);
  }
  void Tick(HWND box, bool on) {
    if (IsChecked(box) != on) Click(box);
  }
  // Keystrokes into an edit (or a combo box's edit).
  void Type(HWND control, const std::wstring& text) {
    HWND target = control;
    if (HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr)) target = edit;
    for (wchar_t c : text) SendMessageW(target, WM_CHAR, c, 0);
  }
  void Clear(HWND control) {
    HWND target = control;
    if (HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr)) target = edit;
    SendMessageW(target, EM_SETSEL, 0, -1);
    SendMessageW(target, WM_CHAR, VK_BACK, 0);
  }
  // A click on a list box row, with Ctrl for more than one.
  void ClickRow(HWND list, int row, bool ctrl = false) {
    RECT r;
    SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM(r.left + 5, (r.top + r.bottom) / 2);
    WPARAM keys = MK_LBUTTON | (ctrl ? MK_CONTROL : 0);
    SendMessageW(list, WM_LBUTTONDOWN, keys, at);
    SendMessageW(list, WM_LBUTTONUP, keys & ~MK_LBUTTON, at);
    Pump(10);
  }
  std::vector<std::string> ComboRows(HWND combo) {
    std::vector<std::string> rows;
    int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) rows.push_back(ComboRow(combo, i));
    return rows;
  }
  void MakeReadOnly(const std::string& ending) {
    SetFileAttributesW(PathBeside(ending).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  void MakeWritable(const std::string& ending) {
    SetFileAttributesW(PathBeside(ending).c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  fs::path startup_, desktop_;
  std::vector<ShellExecuteCall> shellCalls_;
};

RECT RectIn(HWND control, HWND parent) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// ---------------------------------------------------------------------------
// The frame and the general pages

TEST_F(SetupDialogTest, TheWindowAndTheGeneralPagesAreLaidOutWithTheirCaptions) {
  StartApp();
  app_->main.S1Click();
  HWND dlg = Dialog().hwnd();
  wchar_t caption[64];
  GetWindowTextW(dlg, caption, 64);
  EXPECT_STREQ(caption, L"Vello Setup");
  RECT client;
  GetClientRect(dlg, &client);
  EXPECT_EQ(client.right, 353);
  EXPECT_EQ(client.bottom, 253);
  EXPECT_EQ(GetWindowLongW(dlg, GWL_STYLE) & WS_THICKFRAME, 0);
  LOGFONTW lf{};
  GetObjectW(Dialog().font(), sizeof lf, &lf);
  EXPECT_STREQ(lf.lfFaceName, L"ＭＳ Ｐゴシック");
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);

  TGeneralPages& g = General();
  // Opening filled the port box from this test's settings.
  std::string port = std::to_string(port_);
  struct Expected {
    HWND control;
    int page, x, y, width, height;  // -1: sized to the text
    const char* text;
  } table[] = {
      {g.Label1, 0, 16, 4, -1, -1, "ポート(&P):"},
      {g.Edit1, 0, 72, 0, 49, 20, port.c_str()},
      {g.CheckBox1, 0, 16, 24, -1, -1, "起動時にIMEをON(&I)"},
      {g.CheckBox3, 0, 16, 48, -1, -1, "起動時に最小化で実行する(&M)"},
      {g.CheckBox2, 0, 16, 144, -1, -1, "着信時に音を鳴らす(&A)"},
      {g.Edit3, 0, 16, 162, 265, 20, ""},
      {g.Button5, 0, 280, 162, 17, 20, "..."},
      {g.CheckBox4, 0, 16, 72, -1, -1, "スタートアップに登録する(&S)"},
      {g.CheckBox5, 0, 16, 96, -1, -1, "デスクトップにショートカットを作成する(&D)"},
      {g.CheckBox6, 0, 16, 120, -1, -1, "送受信ログをとる(&L)"},
      {g.CheckBox9, 1, 8, 8, -1, -1, "メッセージ送信後クリアする(&C)"},
      {g.CheckBox10, 1, 8, 32, -1, -1, "仕事中モード時着信音を鳴らさない(&S)"},
      {Dialog().Button1, -1, 176, 224, 75, 25, "&Cancel"},
      {Dialog().Button2, -1, 256, 224, 75, 25, "&OK"},
  };
  for (const auto& e : table) {
    SCOPED_TRACE(e.text);
    HWND parent = e.page < 0 ? dlg : Dialog().Pages[e.page];
    EXPECT_EQ(GetParent(e.control), parent);
    RECT r = RectIn(e.control, parent);
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    if (e.width >= 0) {
      EXPECT_EQ(r.right - r.left, e.width);
    }
    if (e.height >= 0) {
      EXPECT_EQ(r.bottom - r.top, e.height);
    }
    EXPECT_EQ(ControlText(e.control), e.text);
    // Every caption is whole: the control is as wide as its text needs.
    if (e.width < 0) {
      EXPECT_GE(r.right - r.left, TextExtent(e.control, Widen(e.text)).cx);
    }
  }
  // Neither button is a default button: Enter and Esc press nothing.
  for (HWND b : {Dialog().Button1, Dialog().Button2})
    EXPECT_EQ(GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK, static_cast<LONG>(BS_PUSHBUTTON));
  EXPECT_FALSE(IsWindowEnabled(g.Edit3));
  EXPECT_FALSE(IsWindowEnabled(g.Button5));
  EXPECT_STREQ(kSoundFileFilter, L"サウンドファイル");
  EXPECT_STREQ(kSoundFileFilter + wcslen(kSoundFileFilter) + 1, L"*.wav;*.mid");

  // The six tabs all show in one row.
  RECT strip, first;
  GetClientRect(Dialog().PageControl1, &strip);
  SendMessageW(Dialog().PageControl1, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  EXPECT_EQ(SendMessageW(Dialog().PageControl1, TCM_GETROWCOUNT, 0, 0), 1);
  for (int i = 0; i < 6; ++i) {
    RECT tab;
    SendMessageW(Dialog().PageControl1, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tab));
    EXPECT_LE(tab.right, strip.right) << i;
    EXPECT_EQ(tab.top, first.top) << i;
  }
}

// The dialog is built when it is first opened, not at start-up. Whichever
// command opens it first, it opens on that command's page, filled as every
// opening fills it; a page built later, when its tab is clicked, is filled
// then.
TEST_F(SetupDialogTest, TheFirstOpeningShowsTheCommandsPageFilled) {
  SetClockForTests([] { return LocalDateTime{2026, 12, 10, 14, 35, 3}; });
  TScheduleEntry entry;
  entry.SetDateTime("2026/12/24 9:00");
  entry.SetDestination("PC01");
  entry.SetText("イブの予約\r\n");
  std::string schedule(reinterpret_cast<const char*>(entry.bytes().data()), TScheduleEntry::kSize);
  struct Case {
    const char* command;
    UINT id;
    int page;
  } cases[] = {
      {"Edit > 設定(&S)...", mainids::S1, 0},
      {"the tray's 設定(&S)", mainids::S2, 0},
      {"File > タイマー(&T)", mainids::T1, 4},
      {"Help > バージョン情報(&A)", mainids::About1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
    WriteBeside("t.dat", schedule);
    StartApp();
    EXPECT_EQ(FindWindowW(TSetupForm::kClassName, nullptr), nullptr) << "built at start-up";
    SendMessageW(app_->main.hwnd(), WM_COMMAND, c.id, 0);
    ASSERT_TRUE(DialogVisible());
    EXPECT_EQ(Dialog().currentPage(), c.page);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(IsWindowVisible(Dialog().Pages[i]) != FALSE, i == c.page) << "page " << i;
    EXPECT_EQ(ControlText(General().Edit1), std::to_string(port_));
    EXPECT_TRUE(IsChecked(General().CheckBox6));
    // The timer page, by a click on its tab when another page is shown.
    RECT tab{};
    SendMessageW(Dialog().PageControl1, TCM_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&tab));
    LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    SendMessageW(Dialog().PageControl1, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Dialog().PageControl1, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(Dialog().currentPage(), 4);
    EXPECT_TRUE(IsWindowVisible(Dialog().Pages[4]));
    TTimerPage& t = Dialog().timerPage();
    std::vector<std::string> when;
    for (HWND box : {t.ComboBox2, t.ComboBox3, t.ComboBox4, t.ComboBox5, t.ComboBox6}) when.push_back(ControlText(box));
    EXPECT_EQ(when, (std::vector<std::string>{"2026", "12", "10", "14", "35"}));
    ASSERT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.RowText(0, 1), "2026/12/24 9:00");
    EXPECT_EQ(t.RowText(0, 3), "イブの予約");
    StopApp();
  }
  SetClockForTests({});
}

TEST_F(SetupDialogTest, TabOrderAccessKeysAndNoDefaultButtonWhileOpen) {
  StartApp();
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  // Tab walks the first page in its order, then the tab strip and the two buttons.
  std::vector<HWND> order;
  HWND at = g.Edit1;
  for (int i = 0; i < 12; ++i) {
    order.push_back(at);
    at = GetNextDlgTabItem(Dialog().hwnd(), at, FALSE);
  }
  std::vector<HWND> expected{g.Edit1,     g.CheckBox1,           g.CheckBox3,      g.CheckBox2,
                             g.CheckBox4, g.CheckBox5,           g.CheckBox6,      Dialog().PageControl1,
                             Dialog().Button1, Dialog().Button2, g.Edit1};
  order.resize(expected.size());
  EXPECT_EQ(order, expected);

  // The Tab key itself, through the message loop's dialog handling.
  SetFocus(g.Edit1);
  for (HWND next : {g.CheckBox1, g.CheckBox3}) {
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    app_->Dispatch(tab);
    EXPECT_EQ(GetFocus(), next);
  }

  // Alt+I ticks the box through the dialog's keyboard handling; Alt+P goes to the port.
  SetFocus(g.CheckBox6);
  MSG msg{g.CheckBox6, WM_SYSCHAR, 'i', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  Pump(10);
  EXPECT_TRUE(IsChecked(g.CheckBox1));
  msg = {GetFocus(), WM_SYSCHAR, 'p', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  EXPECT_EQ(GetFocus(), g.Edit1);
  // Alt+S is the start-up box here, not the like-lettered box of the hidden page.
  msg = {GetFocus(), WM_SYSCHAR, 's', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  EXPECT_TRUE(IsChecked(g.CheckBox4));
  EXPECT_FALSE(IsChecked(g.CheckBox10));

  // Enter and Esc leave the dialog open and write nothing.
  std::string before = ReadBeside(".ini");
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    MSG down{g.Edit1, WM_KEYDOWN, key, 0, 0, {}};
    app_->Dispatch(down);
    MSG ch{g.Edit1, WM_CHAR, key == VK_RETURN ? WPARAM('\r') : WPARAM(27), 0, 0, {}};
    app_->Dispatch(ch);
    Pump(10);
  }
  EXPECT_TRUE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
}

TEST_F(SetupDialogTest, ASecondOpenOnlyBringsItToTheFront) {
  StartApp();
  Dialog().ShowPage(0);
  SetControlText(General().Edit1, "7000");
  app_->main.About1Click();
  EXPECT_EQ(Dialog().currentPage(), 5);
  EXPECT_TRUE(IsWindowVisible(Dialog().Pages[5]));
  EXPECT_FALSE(IsWindowVisible(Dialog().Pages[0]));
  EXPECT_EQ(ControlText(General().Edit1), "7000");  // FormShow did not run again
  app_->main.T1Click();
  EXPECT_EQ(Dialog().currentPage(), 4);
}

TEST_F(SetupDialogTest, AFirstOkWritesTheKeysInOrder) {
  StartWithoutSettings();
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  EXPECT_EQ(ControlText(g.Edit1), "5963");
  for (HWND box : {g.CheckBox1, g.CheckBox2, g.CheckBox3, g.CheckBox4, g.CheckBox5, g.CheckBox6, g.CheckBox9,
                   g.CheckBox10})
    EXPECT_FALSE(IsChecked(box));
  EXPECT_TRUE(IsChecked(g.CheckBox11));  // finding other copies is on unless switched off
  EXPECT_FALSE(IsWindowEnabled(g.Edit3));
  EXPECT_FALSE(IsWindowEnabled(g.Button5));

  SetControlText(g.Edit1, std::to_string(port_));
  Click(Dialog().Button2);
  EXPECT_EQ(ReadBeside(".ini"), "[setup]\r\nport=" + std::to_string(port_) +
                                    "\r\nIME=0\r\nSound=0\r\nSound-File=\r\nmini=0\r\nStartup=0\r\nDesktop=0\r\n"
                                    "Log=0\r\nClear=0\r\nWSound=0\r\nDiscovery=1\r\n");
  EXPECT_FALSE(DialogVisible());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(Files(startup_).empty());
  EXPECT_TRUE(Files(desktop_).empty());
}

TEST_F(SetupDialogTest, EveryBoxIsStoredAsOneOrZeroAndShownAgain) {
  StartApp();
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  Tick(g.CheckBox1, true);
  Tick(g.CheckBox3, true);
  Tick(g.CheckBox6, true);
  Tick(g.CheckBox9, true);
  Tick(g.CheckBox10, true);
  Tick(g.CheckBox11, false);
  Click(Dialog().Button2);
  EXPECT_EQ(ReadBeside(".ini"), "[setup]\r\nport=" + std::to_string(port_) +
                                    "\r\nIME=1\r\nSound=0\r\nSound-File=\r\nmini=1\r\nStartup=0\r\nDesktop=0\r\n"
                                    "Log=1\r\nClear=1\r\nWSound=1\r\nDiscovery=0\r\n");
  EXPECT_FALSE(app_->main.discovery().enabled());
  // The main window's flags at once, and the log through ApplySettings.
  EXPECT_TRUE(app_->main.ClearAfterSend());
  EXPECT_FALSE(app_->main.SoundInWorkMode());
  EXPECT_TRUE(app_->main.LogOn());

  // A hand-edited file: 2 reads as true, "yes" as the default.
  WriteBeside(".ini", "[setup]\r\nport=0x1F\r\nIME=2\r\nmini=yes\r\nClear=0\r\nWSound=-1\r\n");
  Dialog().ShowPage(0);
  EXPECT_EQ(ControlText(g.Edit1), "31");
  EXPECT_TRUE(IsChecked(g.CheckBox1));
  EXPECT_FALSE(IsChecked(g.CheckBox3));
  EXPECT_FALSE(IsChecked(g.CheckBox6));
  EXPECT_FALSE(IsChecked(g.CheckBox9));
  EXPECT_TRUE(IsChecked(g.CheckBox10));
}

TEST_F(SetupDialogTest, APortThatIsNoNumberIsStoredAsTypedAndShownAsTheDefault) {
  StartApp();
  Dialog().ShowPage(0);
  SetControlText(General().Edit1, "abc");
  Click(Dialog().Button2);
  EXPECT_NE(ReadBeside(".ini").find("[setup]\r\nport=abc\r\nIME=0\r\n"), std::string::npos);
  // Whether or not 5963 was free to listen on, the dialog shows the default.
  if (DialogVisible()) Click(Dialog().Button1);
  Dialog().ShowPage(0);
  EXPECT_EQ(ControlText(General().Edit1), "5963");
}

TEST_F(SetupDialogTest, SoundWithoutAFileIsRefusedAndNothingIsWritten) {
  StartApp();
  std::string before = ReadBeside(".ini");
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  Click(g.CheckBox2);
  EXPECT_TRUE(IsWindowEnabled(g.Edit3));
  EXPECT_TRUE(IsWindowEnabled(g.Button5));
  Click(Dialog().Button2);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "サウンドファイル名を入力してください");
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(DialogVisible());
  // Unticking greys the file box again.
  Click(g.CheckBox2);
  EXPECT_FALSE(IsWindowEnabled(g.Edit3));
  EXPECT_FALSE(IsWindowEnabled(g.Button5));
}

// The settings file holds the sound file's path in code page 932, as other
// copies read it: a path outside it is refused, never stored as another one.
TEST_F(SetupDialogTest, ASoundPathTheSettingsFileCannotHoldIsRefused) {
  StartApp();
  std::string before = ReadBeside(".ini");
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  Click(g.CheckBox2);
  const std::wstring typed = L"C:\\Users\\Müller\\音.wav";  // "ü" would be stored as "u"
  SetWindowTextW(g.Edit3, typed.c_str());
  Click(Dialog().Button2);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "サウンドファイルのパス C:\\Users\\M?ller\\音.wav には、設定ファイルに保存できない文字 "
                            "(シフトJIS にない文字) が含まれています。シフトJIS で書ける場所のファイルを選んでください。");
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(DialogVisible());
  // Stored whether or not sound is on, so refused either way.
  Click(g.CheckBox2);
  Click(Dialog().Button2);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(ReadBeside(".ini"), before);
  // A path of code page 932 characters only, full-width and "ソ" among them, is stored.
  SetWindowTextW(g.Edit3, L"C:\\ソフト\\音．wav");
  Click(Dialog().Button2);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_FALSE(DialogVisible());
  EXPECT_NE(ReadBeside(".ini").find("Sound-File=C:\\ソフト\\音．wav\r\n"), std::string::npos);
}

TEST_F(SetupDialogTest, TheSoundFileIsShownOnlyWhileSoundIsOn) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=0\r\nSound-File=C:\\a.wav\r\n");
  StartApp();
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  EXPECT_EQ(ControlText(g.Edit3), "");
  Click(Dialog().Button1);
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=1\r\nSound-File=C:\\b.wav\r\n");
  Dialog().ShowPage(0);
  EXPECT_TRUE(IsChecked(g.CheckBox2));
  EXPECT_TRUE(IsWindowEnabled(g.Edit3));
  EXPECT_EQ(ControlText(g.Edit3), "C:\\b.wav");
  Click(Dialog().Button1);
  // Sound off again: the box greys out and keeps the text it had.
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=0\r\nSound-File=C:\\c.wav\r\n");
  Dialog().ShowPage(0);
  EXPECT_FALSE(IsWindowEnabled(g.Edit3));
  EXPECT_FALSE(IsWindowEnabled(g.Button5));
  EXPECT_EQ(ControlText(g.Edit3), "C:\\b.wav");
}

TEST_F(SetupDialogTest, AnErrorInApplySettingsLeavesTheDialogOpenWithTheKeysWritten) {
  StartApp();
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  Click(g.CheckBox2);
  SetControlText(g.Edit3, DirText() + "\\missing.wav");
  Tick(g.CheckBox9, true);
  Click(Dialog().Button2);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_TRUE(DialogVisible());
  EXPECT_NE(ReadBeside(".ini").find("Sound=1\r\nSound-File=" + DirText() + "\\missing.wav\r\n"), std::string::npos);
  EXPECT_TRUE(app_->main.ClearAfterSend());  // step 5 ran before ApplySettings
}

TEST_F(SetupDialogTest, ARefusedSettingsWriteStopsOkWithTheDialogOpen) {
  StartApp();
  Dialog().ShowPage(0);
  Tick(General().CheckBox9, true);
  std::string before = ReadBeside(".ini");
  MakeReadOnly(".ini");
  Click(Dialog().Button2);
  MakeWritable(".ini");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText(PathText(PathBeside(".ini")) + " に書き込めません"));
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(DialogVisible());
  EXPECT_FALSE(app_->main.ClearAfterSend());
}

TEST_F(SetupDialogTest, CancelDiscardsTheChanges) {
  StartApp();
  std::string before = ReadBeside(".ini");
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  SetControlText(g.Edit1, "6000");
  Tick(g.CheckBox1, true);
  Tick(g.CheckBox9, true);
  Click(Dialog().Button1);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_FALSE(app_->main.ClearAfterSend());
  // The close box is Cancel too.
  Dialog().ShowPage(0);
  EXPECT_EQ(ControlText(g.Edit1), std::to_string(port_));
  EXPECT_FALSE(IsChecked(g.CheckBox1));
  EXPECT_FALSE(IsChecked(g.CheckBox9));
  Tick(g.CheckBox1, true);
  SendMessageW(Dialog().hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
}

TEST_F(SetupDialogTest, TheSoundFileIsChosenThroughTheFileDialog) {
  StartApp();
  std::string wav = DirText() + "\\ding.wav";
  std::ofstream(fs::path(Widen(wav))) << "RIFF";
  Dialog().ShowPage(0);
  TGeneralPages& g = General();
  Click(g.CheckBox2);
  // Answers the file dialog from inside its own modal loop.
  static std::wstring answer, filterSeen;
  static bool cancel;
  auto answerDialog = [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL {
          wchar_t cls[16];
          GetClassNameW(h, cls, 16);
          if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
          *reinterpret_cast<HWND*>(lp) = h;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    KillTimer(nullptr, id);
    wchar_t filter[64] = L"";
    GetDlgItemTextW(box, 0x470, filter, 64);  // the file-type box
    filterSeen = filter;
    if (cancel) {
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    HWND name = GetDlgItem(box, 0x47C);  // the file-name box (a combo box)
    if (!name) name = GetDlgItem(box, 0x480);
    SetWindowTextW(name, answer.c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  };
  answer = Widen(wav);
  cancel = false;
  SetTimer(nullptr, 0, 100, answerDialog);
  Click(g.Button5);
  EXPECT_EQ(ControlText(g.Edit3), wav);
  EXPECT_EQ(filterSeen.substr(0, 8), L"サウンドファイル");
  // Cancelling changes nothing.
  cancel = true;
  SetTimer(nullptr, 0, 100, answerDialog);
  Click(g.Button5);
  EXPECT_EQ(ControlText(g.Edit3), wav);
  EXPECT_TRUE(boxes_.empty());

  // A file in a folder whose name code page 932 cannot hold: refused with a
  // box, and the box keeps the file chosen before.
  const fs::path foreign = dir_ / kForeignFolder / L"ding.wav";
  fs::create_directories(foreign.parent_path());
  std::ofstream(foreign) << "RIFF";
  answer = foreign.native();
  cancel = false;
  SetTimer(nullptr, 0, 100, answerDialog);
  Click(g.Button5);
  EXPECT_EQ(ControlText(g.Edit3), wav);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("サウンドファイルのパス " + DirText() + "\\M?ller\\??\\ding.wav には"),
            std::string::npos)
      << boxes_[0].text;
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
}

// ---------------------------------------------------------------------------
// Shortcuts

ShellLinkFields ReadLink(const fs::path& path) {
  ShellLinkFields fields;
  EXPECT_TRUE(LoadShellLink(path.native(), fields)) << PathText(path);
  return fields;
}

TEST_F(SetupDialogTest, OkMakesOneStartupShortcutAndUntickingRemovesIt) {
  StartApp();
  std::ofstream(ExecutablePath()) << "MZ";
  for (int round = 0; round < 2; ++round) {
    Dialog().ShowPage(0);
    EXPECT_EQ(IsChecked(General().CheckBox4), round == 1);  // remembered in setup/Startup
    Tick(General().CheckBox4, true);
    Click(Dialog().Button2);
    ASSERT_FALSE(DialogVisible());
  }
  EXPECT_EQ(Files(startup_), std::vector<std::string>{"message.lnk"});
  EXPECT_TRUE(Files(desktop_).empty());
  ShellLinkFields link = ReadLink(startup_ / L"message.lnk");
  EXPECT_EQ(link.target, ExecutablePath().native());
  EXPECT_EQ(link.workingDirectory, L"C:\\");
  EXPECT_EQ(link.description, L"Vello");
  EXPECT_NE(ReadBeside(".ini").find("Startup=1\r\nDesktop=0\r\n"), std::string::npos);

  // Deleted by hand, made again at the next OK.
  fs::remove(startup_ / L"message.lnk");
  Dialog().ShowPage(0);
  Click(Dialog().Button2);
  EXPECT_EQ(Files(startup_), std::vector<std::string>{"message.lnk"});

  Dialog().ShowPage(0);
  Tick(General().CheckBox4, false);
  Tick(General().CheckBox5, true);
  Click(Dialog().Button2);
  EXPECT_TRUE(Files(startup_).empty());
  EXPECT_EQ(Files(desktop_), std::vector<std::string>{"message.lnk"});
  Dialog().ShowPage(0);
  Tick(General().CheckBox5, false);
  Click(Dialog().Button2);
  EXPECT_TRUE(Files(desktop_).empty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SetupDialogTest, ShellFolderPathsComeFromTheRegistryAsStored) {
  SavedShellFolder saved(L"VelloTestFolder");
  SetShellFolderText(L"VelloTestFolder", L"C:\\Users\\テスト\\Startup");
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), L"C:\\Users\\テスト\\Startup");
  // Every character, also those code page 932 lacks.
  const std::wstring foreign = L"C:\\Users\\Müller\\한글\\Startup";
  SetShellFolderText(L"VelloTestFolder", foreign);
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), foreign);
  SetShellFolderText(L"VelloTestFolder", L"%USERPROFILE%\\Desktop", REG_EXPAND_SZ);
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), L"%USERPROFILE%\\Desktop");
  DWORD number = 7;
  SetShellFolderValue(L"VelloTestFolder", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), L"");
  // Stored without its terminator.
  SetShellFolderValue(L"VelloTestFolder", REG_SZ, L"C:\\x", 4 * sizeof(wchar_t));
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), L"C:\\x");
  DeleteShellFolderValue(L"VelloTestFolder");
  EXPECT_EQ(ShellFolderPath("VelloTestFolder").native(), L"");
  EXPECT_EQ(ShortcutPath(fs::path()).native(), L"\\message.lnk");
}

TEST_F(SetupDialogTest, ShortcutsInDeepFoldersUseTheWholePathAndRemovingNothingIsNoError) {
  fs::path deep = dir_;
  while (deep.native().size() < 300) deep /= L"とても長いフォルダーの名前";
  ASSERT_TRUE(fs::create_directories(deep));
  MakeShortcut(deep);
  ASSERT_TRUE(fs::exists(deep / L"message.lnk"));
  EXPECT_EQ(ReadLink(deep / L"message.lnk").description, L"Vello");
  RemoveShortcut(deep);
  EXPECT_FALSE(fs::exists(deep / L"message.lnk"));
  RemoveShortcut(deep);  // already gone: nothing happens
  // A folder that does not exist: no link, no error.
  EXPECT_NO_THROW(MakeShortcut(dir_ / L"nowhere"));
  EXPECT_FALSE(fs::exists(dir_ / L"nowhere"));
}

// Stands in for the shell's link class while registered: it cannot make one.
struct RefusingLinkFactory : IClassFactory {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(SetupDialogTest, ALinkObjectThatCannotBeHadStopsOkWithTheDialogOpen) {
  StartApp();
  Dialog().ShowPage(0);
  Tick(General().CheckBox4, true);
  Tick(General().CheckBox5, true);
  Tick(General().CheckBox9, true);
  RefusingLinkFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  Click(Dialog().Button2);
  CoRevokeClassObject(cookie);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_NE(boxes_[0].text.find("ショートカットを作成できません"), std::string::npos);
  EXPECT_TRUE(DialogVisible());
  // The keys are written; the desktop link and the flags wait for the next OK.
  EXPECT_NE(ReadBeside(".ini").find("Startup=1\r\nDesktop=1\r\n"), std::string::npos);
  EXPECT_TRUE(Files(startup_).empty());
  EXPECT_TRUE(Files(desktop_).empty());
  EXPECT_FALSE(app_->main.ClearAfterSend());
  Click(Dialog().Button2);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(Files(startup_), std::vector<std::string>{"message.lnk"});
  EXPECT_EQ(Files(desktop_), std::vector<std::string>{"message.lnk"});
  EXPECT_TRUE(app_->main.ClearAfterSend());
}

// ---------------------------------------------------------------------------
// The destinations page

TEST_F(SetupDialogTest, DestinationsAreAddedAndDeletedInTheFileAtOnce) {
  StartApp();
  Dialog().ShowPage(2);
  TDestinationsPage& d = Destinations();
  struct Expected {
    HWND control;
    int x, y, width, height;
    const char* text;
  } layout[] = {
      {d.ListBox1, 0, 0, 345, 129, ""},       {d.Label11, 0, 140, -1, -1, "通称名："},
      {d.Edit2, 48, 136, 105, 20, ""},        {d.Label12, 160, 140, -1, -1, "IP又はPC名："},
      {d.Edit5, 232, 136, 105, 20, ""},       {d.Button3, 152, 160, 75, 25, "追加(&A)"},
      {d.Button4, 240, 160, 75, 25, "削除(&D)"}, {d.Label13, 8, 168, -1, -1, ""},
  };
  for (const auto& e : layout) {
    SCOPED_TRACE(e.text);
    RECT r = RectIn(e.control, Dialog().Pages[2]);
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    if (e.width >= 0) {
      EXPECT_EQ(r.right - r.left, e.width);
    }
    if (e.height >= 0) {
      EXPECT_EQ(r.bottom - r.top, e.height);
    }
    EXPECT_EQ(ControlText(e.control), e.text);
  }
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
  // Tab order: Edit2, Edit5, Button3, Button4, ListBox1.
  EnableWindow(d.Button3, TRUE);
  EnableWindow(d.Button4, TRUE);
  HWND at = d.Edit2;
  std::vector<HWND> order;
  for (int i = 0; i < 5; ++i, at = GetNextDlgTabItem(Dialog().hwnd(), at, FALSE)) order.push_back(at);
  EXPECT_EQ(order, (std::vector<HWND>{d.Edit2, d.Edit5, d.Button3, d.Button4, d.ListBox1}));
  EnableWindow(d.Button3, FALSE);
  EnableWindow(d.Button4, FALSE);

  Type(d.Edit2, L"Taro");
  EXPECT_TRUE(IsWindowEnabled(d.Button3));
  Type(d.Edit5, L"192.168.0.5");
  Click(d.Button3);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), std::vector<std::string>{"Taro : 192.168.0.5"});
  EXPECT_EQ(ControlText(d.Edit2), "");
  EXPECT_EQ(ControlText(d.Edit5), "");
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "再起動後に有効になります。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(ControlText(d.Label13), "! 再起動後に有効");
  RECT r = RectIn(d.Label13, Dialog().Pages[2]);
  EXPECT_GE(r.right - r.left, TextExtent(d.Label13, L"! 再起動後に有効").cx);

  Type(d.Edit2, L"花子");
  Type(d.Edit5, L"hanako-pc");
  Click(d.Button3);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n花子 : hanako-pc\r\n");

  ClickRow(d.ListBox1, 0);
  EXPECT_TRUE(IsWindowEnabled(d.Button4));
  Click(d.Button4);
  EXPECT_EQ(ReadBeside(".dat"), "花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), std::vector<std::string>{"花子 : hanako-pc"});
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
  ASSERT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(boxes_[2].text, "再起動後に有効になります。");

  // The red bold notice.
  HDC dc = GetDC(d.Label13);
  HBRUSH brush = reinterpret_cast<HBRUSH>(
      SendMessageW(Dialog().Pages[2], WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(d.Label13)));
  EXPECT_NE(brush, nullptr);
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  ReleaseDC(d.Label13, dc);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(d.Label13, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);

  // The list as stored, at the next showing, with nothing selected.
  Click(Dialog().Button1);
  WriteBeside(".dat", "a : 1\n\nb : 2 : 3\r");
  Dialog().ShowPage(2);
  EXPECT_EQ(ListRows(d.ListBox1), (std::vector<std::string>{"a : 1", "", "b : 2 : 3"}));
  EXPECT_EQ(SendMessageW(d.ListBox1, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(SetupDialogTest, ADestinationNeedsBothFields) {
  StartApp();
  Dialog().ShowPage(2);
  TDestinationsPage& d = Destinations();
  Type(d.Edit2, L"Taro");
  Click(d.Button3);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "通称名とIPまたはPC名を入力してください。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_FALSE(fs::exists(PathBeside(".dat")));
  EXPECT_EQ(ControlText(d.Edit2), "Taro");
  EXPECT_EQ(ControlText(d.Label13), "");
  Clear(d.Edit2);
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
}

TEST_F(SetupDialogTest, AddressBookFailuresAreShownWithThePath) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");
  StartApp();
  Dialog().ShowPage(2);
  TDestinationsPage& d = Destinations();
  // A refused save (the book is read-only): the row is on the page, no notice.
  MakeReadOnly(".dat");
  Type(d.Edit2, L"Jiro");
  Type(d.Edit5, L"10.0.0.2");
  Click(d.Button3);
  MakeWritable(".dat");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " を作成できません"));
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.ListBox1).size(), 2u);
  EXPECT_EQ(ControlText(d.Label13), "");

  // A folder stands where the book should be: it cannot be read, so it is
  // not written over either.
  fs::path book = PathBeside(".dat");
  fs::remove(book);
  fs::create_directory(book);
  Type(d.Edit2, L"Saburo");
  Type(d.Edit5, L"10.0.0.3");
  Click(d.Button3);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " は開けません"));
  EXPECT_TRUE(fs::is_directory(book));
  EXPECT_EQ(ControlText(d.Label13), "");
  fs::remove(book);
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");

  // A file that cannot be opened for reading stops the showing there.
  Click(Dialog().Button1);
  HANDLE lock = CreateFileW(PathBeside(".dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  std::string error;
  try {
    Dialog().ShowPage(2);
  } catch (const std::exception& e) {
    error = e.what();
  }
  CloseHandle(lock);
  EXPECT_EQ(error, "ファイル " + PathText(PathBeside(".dat")) + " は開けません");
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(SetupDialogTest, DeleteWithNoRowSelectedDeletesNothing) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  StartApp();
  Dialog().ShowPage(2);
  TDestinationsPage& d = Destinations();
  ClickRow(d.ListBox1, 1);
  ASSERT_TRUE(IsWindowEnabled(d.Button4));
  // Shown again: the rows are reloaded with none selected, the button stays enabled.
  Click(Dialog().Button1);
  Dialog().ShowPage(2);
  ASSERT_TRUE(IsWindowEnabled(d.Button4));
  Click(d.Button4);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  EXPECT_EQ(ListRows(d.ListBox1).size(), 2u);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
}

// ---------------------------------------------------------------------------
// The fixed-phrase page

constexpr char kPhrases[] =
    "[あいさつ]\r\nおはようございます=\r\nお疲れさまです=\r\nこんにちは=\r\n[連絡]\r\n会議室に来てください=\r\n";

TEST_F(SetupDialogTest, PhrasesAreListedByCategoryAndDeletedSeveralAtATime) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  struct Expected {
    HWND control;
    int x, y, width, height;
  } layout[] = {{p.ComboBox1, 0, 0, 193, -1}, {p.ListBox2, 0, 24, 345, 105}, {p.Edit4, 0, 136, 345, 20},
                {p.Button6, 152, 160, 75, 25}, {p.Button7, 240, 160, 75, 25}};
  for (const auto& e : layout) {
    RECT r = RectIn(e.control, Dialog().Pages[3]);
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    EXPECT_EQ(r.right - r.left, e.width);
    if (e.height >= 0) {
      EXPECT_EQ(r.bottom - r.top, e.height);
    }
  }
  EXPECT_EQ(ControlText(p.Button6), "追加(&A)");
  EXPECT_EQ(ControlText(p.Button7), "削除(&D)");
  EXPECT_NE(GetWindowLongW(p.ListBox2, GWL_STYLE) & LBS_EXTENDEDSEL, 0);

  EXPECT_EQ(ComboRows(p.ComboBox1), (std::vector<std::string>{"あいさつ", "連絡"}));
  EXPECT_EQ(ControlText(p.ComboBox1), "あいさつ");
  EXPECT_EQ(ListRows(p.ListBox2), (std::vector<std::string>{"おはようございます", "お疲れさまです", "こんにちは"}));
  EXPECT_FALSE(IsWindowEnabled(p.Button6));
  EXPECT_FALSE(IsWindowEnabled(p.Button7));

  // Two of three rows.
  ClickRow(p.ListBox2, 0);
  ClickRow(p.ListBox2, 2, true);
  EXPECT_TRUE(IsWindowEnabled(p.Button7));
  Click(p.Button7);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[あいさつ]\r\nお疲れさまです=\r\n[連絡]\r\n会議室に来てください=\r\n");
  EXPECT_EQ(ListRows(p.ListBox2), std::vector<std::string>{"お疲れさまです"});
  EXPECT_FALSE(IsWindowEnabled(p.Button7));

  // The last phrase takes its category with it; the box shows the first one left.
  ClickRow(p.ListBox2, 0);
  Click(p.Button7);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[連絡]\r\n会議室に来てください=\r\n");
  EXPECT_EQ(ComboRows(p.ComboBox1), std::vector<std::string>{"連絡"});
  EXPECT_EQ(ControlText(p.ComboBox1), "連絡");
  EXPECT_TRUE(ListRows(p.ListBox2).empty());
  EXPECT_FALSE(IsWindowEnabled(p.Button7));

  // Choosing the category from the list fills the rows.
  SendMessageW(p.ComboBox1, CB_SETCURSEL, 0, 0);
  SendMessageW(Dialog().Pages[3], WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(p.ComboBox1), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(p.ComboBox1));
  EXPECT_EQ(ListRows(p.ListBox2), std::vector<std::string>{"会議室に来てください"});
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SetupDialogTest, PhrasesAreAddedToATypedCategory) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  ClickRow(p.ListBox2, 1);
  Type(p.Edit4, L"x");
  ASSERT_TRUE(IsWindowEnabled(p.Button6));
  ASSERT_TRUE(IsWindowEnabled(p.Button7));
  // Typing a category that does not exist empties the list and disables both buttons.
  Clear(p.ComboBox1);
  Type(p.ComboBox1, L"質問");
  EXPECT_TRUE(ListRows(p.ListBox2).empty());
  EXPECT_FALSE(IsWindowEnabled(p.Button6));
  EXPECT_FALSE(IsWindowEnabled(p.Button7));

  Clear(p.Edit4);
  Type(p.Edit4, L"いつですか？");
  EXPECT_TRUE(IsWindowEnabled(p.Button6));
  Click(p.Button6);
  EXPECT_EQ(ReadBeside("Fixed.dat"), std::string(kPhrases) + "[質問]\r\nいつですか？=\r\n");
  EXPECT_EQ(ListRows(p.ListBox2), std::vector<std::string>{"いつですか？"});
  EXPECT_EQ(ControlText(p.Edit4), "");
  EXPECT_FALSE(IsWindowEnabled(p.Button6));
  // The box's list takes the new category at the next showing.
  EXPECT_EQ(ComboRows(p.ComboBox1).size(), 2u);

  // The same phrase twice is one line.
  Type(p.Edit4, L"x[1]");
  Click(p.Button6);
  Type(p.Edit4, L"いつですか？");
  Click(p.Button6);
  EXPECT_EQ(ListRows(p.ListBox2), (std::vector<std::string>{"いつですか？", "x[1]", "いつですか？"}));
  EXPECT_EQ(ReadBeside("Fixed.dat"), std::string(kPhrases) + "[質問]\r\nいつですか？=\r\nx[1]=\r\n");
  Click(Dialog().Button1);
  Dialog().ShowPage(3);
  EXPECT_EQ(ComboRows(p.ComboBox1), (std::vector<std::string>{"あいさつ", "連絡", "質問"}));
  Clear(p.ComboBox1);
  Type(p.ComboBox1, L"質問");
  EXPECT_EQ(ListRows(p.ListBox2), (std::vector<std::string>{"いつですか？", "x[1]"}));

  // With the category box empty, adding does nothing; the list keeps its rows.
  Clear(p.ComboBox1);
  EXPECT_EQ(ListRows(p.ListBox2).size(), 2u);
  std::string before = ReadBeside("Fixed.dat");
  Type(p.Edit4, L"y");
  Click(p.Button6);
  EXPECT_EQ(ReadBeside("Fixed.dat"), before);
  EXPECT_EQ(ControlText(p.Edit4), "y");
}

TEST_F(SetupDialogTest, PhrasesTheFileCannotHoldAreRefusedWithAMessage) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  struct Case {
    const wchar_t* typed;
    const char* says;
  } cases[] = {
      {L"a=b", "定型文に「=」は使えません。"},
      {L"[x]", "「[」で始まる定型文は登録できません。"},
      {L";memo", "「;」で始まる定型文は登録できません。"},
      {L" 前の空白", "前後に空白のある定型文は登録できません。"},
      {L"後ろの空白 ", "前後に空白のある定型文は登録できません。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    boxes_.clear();
    Clear(p.Edit4);
    Type(p.Edit4, c.typed);
    Click(p.Button6);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, c.says);
    EXPECT_EQ(boxes_[0].caption, "Vello");
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK));
    // Nothing listed, nothing stored; the text stays to be corrected.
    EXPECT_EQ(ListRows(p.ListBox2).size(), 3u);
    EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
    EXPECT_EQ(ControlText(p.Edit4), Narrow(c.typed));
  }
}

TEST_F(SetupDialogTest, TheDestinationPageKeepsWhatAnotherCopyStoredMeanwhile) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  StartApp();
  Dialog().ShowPage(2);
  TDestinationsPage& d = Destinations();
  // Another copy of the program, sharing the folder, adds a line.
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n");
  Type(d.Edit2, L"花子");
  Type(d.Edit5, L"hanako-pc");
  Click(d.Button3);
  const std::vector<std::string> all = {"Taro : 192.168.0.5", "Jiro : 10.0.0.2", "Saburo : 10.0.0.3",
                                        "花子 : hanako-pc"};
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), all);  // the page shows what is stored

  // It removes Taro; our page still shows the row, and deleting Jiro's row
  // removes Jiro, not the line that has moved into its place.
  WriteBeside(".dat", "Jiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  ClickRow(d.ListBox1, 1);
  Click(d.Button4);
  EXPECT_EQ(ReadBeside(".dat"), "Saburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), (std::vector<std::string>{"Saburo : 10.0.0.3", "花子 : hanako-pc"}));
}

TEST_F(SetupDialogTest, DeletingATypedCategoryRemovesOnlyItsOwnEntry) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  // "あ" is a prefix of a listed category: the box's list selects that row.
  Clear(p.ComboBox1);
  Type(p.ComboBox1, L"あ");
  Type(p.Edit4, L"一つだけ");
  Click(p.Button6);
  ClickRow(p.ListBox2, 0);
  Click(p.Button7);
  EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
  EXPECT_EQ(ComboRows(p.ComboBox1), (std::vector<std::string>{"あいさつ", "連絡"}));
  EXPECT_EQ(ControlText(p.ComboBox1), "あいさつ");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SetupDialogTest, RefusedPhraseWritesAreShownWithThePath) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  MakeReadOnly("Fixed.dat");
  Type(p.Edit4, L"至急");
  Click(p.Button6);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText(PathText(PathBeside("Fixed.dat")) + " に書き込めません"));
  EXPECT_EQ(ListRows(p.ListBox2).size(), 4u);  // the row stays on screen
  // A refused single deletion is not reported; the category's removal is.
  ClickRow(p.ListBox2, 0);
  SendMessageW(p.ListBox2, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3));
  Click(p.Button7);
  MakeWritable("Fixed.dat");
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, ErrorDisplayText(PathText(PathBeside("Fixed.dat")) + " に書き込めません"));
  EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
}

TEST_F(SetupDialogTest, WithoutAPhraseFileThePageIsEmptyAndTheFirstPhraseMakesIt) {
  StartApp();
  Dialog().ShowPage(3);
  TPhrasesPage& p = Phrases();
  EXPECT_TRUE(ComboRows(p.ComboBox1).empty());
  EXPECT_EQ(ControlText(p.ComboBox1), "");
  EXPECT_TRUE(ListRows(p.ListBox2).empty());
  Type(p.ComboBox1, L"連絡");
  Type(p.Edit4, L"会議室に来てください");
  Click(p.Button6);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[連絡]\r\n会議室に来てください=\r\n");
  // The Insert menu follows at the next OK.
  EXPECT_EQ(GetMenuItemCount(app_->main.Insert1), 0);
  Click(Dialog().Button2);
  ASSERT_EQ(GetMenuItemCount(app_->main.Insert1), 1);
  wchar_t text[32];
  GetMenuStringW(app_->main.Insert1, 0, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"連絡");
}

// ---------------------------------------------------------------------------
// The version page and its links

TEST_F(SetupDialogTest, TheVersionPageShowsThePictureNameAndTwoLinks) {
  StartApp();
  Dialog().ShowPage(5);
  TVersionPage& v = Dialog().versionPage();
  HWND panel = v.Panel1.hwnd();
  RECT r = RectIn(panel, Dialog().Pages[5]);
  EXPECT_EQ(r.left, 16);
  EXPECT_EQ(r.top, 8);
  EXPECT_EQ(r.right - r.left, 321);
  EXPECT_EQ(r.bottom - r.top, 169);
  struct Expected {
    HWND control;
    int x, y;
    const char* text;
  } table[] = {
      {v.Label2, 120, 32, "Vello　ver.1.5"},
      {v.Label5, 56, 72, "LAN メッセンジャー"},
      {v.ClickLabel1.hwnd(), 56, 96, "URL: https://vello.example.org/"},
      {v.ClickLabel2.hwnd(), 56, 112, "Mail: vello@example.org"},
      {v.Label6, 16, 136, "使っていただいてどうもありがとうございます。"},
      {v.Label7, 16, 149, "バグ等の報告は大歓迎です。"},
  };
  for (const auto& e : table) {
    SCOPED_TRACE(e.text);
    RECT c = RectIn(e.control, panel);
    EXPECT_EQ(c.left, e.x);
    EXPECT_EQ(c.top, e.y);
    EXPECT_EQ(ControlText(e.control), e.text);
    // Whole on the panel: no text cut at its right edge.
    SIZE text = TextExtent(e.control, Widen(e.text));
    EXPECT_GE(c.right - c.left, text.cx);
    EXPECT_GE(c.bottom - c.top, text.cy);
    EXPECT_LE(c.right, 321);
  }
  EXPECT_EQ(RectIn(v.Label2, panel).right - RectIn(v.Label2, panel).left, 161);
  EXPECT_EQ(RectIn(v.Label5, panel).right - RectIn(v.Label5, panel).left, 201);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(v.Label2, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -19);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_STREQ(lf.lfFaceName, L"ＭＳ Ｐゴシック");

  EXPECT_EQ(v.ClickLabel1.Hikisu(), "https://vello.example.org/");
  EXPECT_EQ(v.ClickLabel2.Hikisu(), "mailto:vello@example.org");
  for (TClickLabel* link : {&v.ClickLabel1, &v.ClickLabel2}) {
    EXPECT_EQ(link->EnterColor(), 0x00FFFF);
    EXPECT_EQ(link->EnterCursor(), kCursorHandPoint);
  }
  SendMessageW(v.ClickLabel2.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(v.ClickLabel2.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  ASSERT_EQ(shellCalls_.size(), 1u);
  EXPECT_EQ(shellCalls_[0].file, L"mailto:vello@example.org");
}

TEST_F(SetupDialogTest, ThePictureIsStretchedWithItsBottomLeftColourLeftOut) {
  StartApp();
  TVersionPage& v = Dialog().versionPage();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, 120, 80);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, canvas);
  const COLORREF magenta = RGB(255, 0, 255);
  HBRUSH brush = CreateSolidBrush(magenta);
  RECT all{0, 0, 120, 80};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  v.Panel1.DrawImage1(dc);
  const RECT& box = TVersionPanel::Image1;
  // Corners show what lies beneath; the middle holds the picture.
  EXPECT_EQ(GetPixel(dc, box.left, box.bottom - 1), magenta);
  EXPECT_EQ(GetPixel(dc, box.right - 1, box.top), magenta);
  COLORREF middle = GetPixel(dc, (box.left + box.right) / 2, (box.top + box.bottom) / 2);
  EXPECT_NE(middle, magenta);
  EXPECT_NE(middle, RGB(240, 240, 240));
  // Nothing is drawn outside the 73 x 57 box.
  EXPECT_EQ(GetPixel(dc, box.right, (box.top + box.bottom) / 2), magenta);
  EXPECT_EQ(GetPixel(dc, (box.left + box.right) / 2, box.bottom), magenta);
  int drawn = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) drawn += GetPixel(dc, x, y) != magenta;
  EXPECT_GT(drawn, 73 * 57 / 4);
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
}

class ClickLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ClickLabelTestParent";
    RegisterClassW(&wc);
    parent_ = CreateWindowExW(0, L"ClickLabelTestParent", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                        L"ＭＳ Ｐゴシック");
    SetShellExecuteFunctionForTests([this](const ShellExecuteCall& call) {
      events_.push_back("shell " + call.operation + " [" + Narrow(call.file) + "] " + std::to_string(call.show) +
                        (call.window ? " window" : ""));
    });
  }
  void TearDown() override {
    SetShellExecuteFunctionForTests({});
    label_.reset();
    DestroyWindow(parent_);
    DeleteObject(font_);
  }
  TClickLabel& Make(const std::string& caption = "URL: http://example.org/") {
    label_ = std::make_unique<TClickLabel>();
    label_->CreateLabel({.parent = parent_, .x = 10, .y = 10, .caption = caption, .font = font_});
    label_->OnClick = [this] { events_.push_back("click"); };
    return *label_;
  }
  void Enter() { SendMessageW(label_->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3)); }
  void Leave() { SendMessageW(label_->hwnd(), WM_MOUSELEAVE, 0, 0); }
  void Press(int x, int y) {
    SendMessageW(label_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(label_->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  HCURSOR CursorShown() {
    SendMessageW(label_->hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label_->hwnd()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  }
  // Pixels of exactly this colour in the label as it paints itself now.
  int PixelsOf(COLORREF color) {
    RECT r;
    GetClientRect(label_->hwnd(), &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r.right, r.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    SendMessageW(label_->hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    int n = 0;
    for (int y = 0; y < r.bottom; ++y)
      for (int x = 0; x < r.right; ++x) n += GetPixel(dc, x, y) == color;
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return n;
  }

  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
  std::unique_ptr<TClickLabel> label_;
  std::vector<std::string> events_;
};

TEST_F(ClickLabelTest, HoverTakesTheEnterColourAndCursorAndLeavingRestoresTheConstructionColour) {
  TClickLabel& l = Make();
  EXPECT_EQ(l.Hikisu(), "");
  EXPECT_EQ(l.EnterColor(), 0);
  EXPECT_EQ(l.EnterCursor(), 0);
  EXPECT_EQ(l.FontColor(), kColorWindowText);
  const COLORREF red = RGB(255, 0, 0);
  l.SetEnterColor(0x0000FF);
  l.SetEnterCursor(kCursorHandPoint);
  EXPECT_EQ(PixelsOf(red), 0);  // stored only: nothing changes before the mouse comes
  // Changed after construction, as a stored layout would.
  l.SetFontColor(0xFF0000);
  Enter();
  EXPECT_EQ(l.FontColor(), 0x0000FF);
  EXPECT_EQ(l.Cursor(), kCursorHandPoint);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_GT(PixelsOf(red), 0);
  Enter();  // moving within the label changes nothing
  EXPECT_EQ(l.FontColor(), 0x0000FF);
  Leave();
  EXPECT_EQ(l.FontColor(), kColorWindowText);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(PixelsOf(red), 0);
  EXPECT_GT(PixelsOf(GetSysColor(COLOR_WINDOWTEXT)), 0);
  // Entering again after leaving.
  Enter();
  EXPECT_EQ(l.FontColor(), 0x0000FF);
}

TEST_F(ClickLabelTest, WithNothingSetHoveringTurnsTheTextBlackWithTheDefaultCursor) {
  TClickLabel& l = Make();
  l.SetFontColor(0x00FF00);
  Enter();
  EXPECT_EQ(l.FontColor(), kColorBlack);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(PixelsOf(RGB(0, 255, 0)), 0);
}

TEST_F(ClickLabelTest, AClickRaisesTheClickEventThenOpensTheTargetOnce) {
  TClickLabel& l = Make();
  l.SetHikisu("https://vello.example.org/");
  Press(3, 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "shell OPEN [https://vello.example.org/] 5"}));
  // Released outside the label: no click.
  events_.clear();
  Press(-5, 3);
  EXPECT_TRUE(events_.empty());
  // The next click opens the new target; an empty one still goes to the shell.
  l.SetHikisu("");
  Press(3, 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "shell OPEN [] 5"}));
  // A click does not change the hover state.
  Enter();
  l.Click();
  EXPECT_EQ(l.FontColor(), kColorBlack);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
}

}  // namespace
}  // namespace vello::testing
