// What the settings dialog's tests share: the fixture that opens the dialog
// with the program's shortcuts and shell calls kept in folders of the test,
// and the registry helpers for the shell folders.
#pragma once
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
#include "settings/general_page1.h"
#include "settings/general_page2.h"
#include "settings/phrases_page.h"
#include "settings/shortcuts.h"
#include "settings/timer_page.h"
#include "settings/version_page.h"
#include "schedule/schedule_entry.h"

namespace vello::testing {


namespace fs = std::filesystem;

// A folder name code page 932 cannot hold, out of the test macros (which
// spell their arguments in code page 932).
inline const std::wstring kForeignFolder = L"Müller\\한글";

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

inline void SetShellFolderValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(key);
}

inline void SetShellFolderText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  SetShellFolderValue(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline void DeleteShellFolderValue(const wchar_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

inline std::vector<std::string> Files(const fs::path& folder) {
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
  TGeneralPage1& General1() { return app_->setup.content<TGeneralPage1>(SetupPage::General1); }
  TGeneralPage2& General2() { return app_->setup.content<TGeneralPage2>(SetupPage::General2); }
  TDestinationsPage& Destinations() { return app_->setup.content<TDestinationsPage>(SetupPage::Destinations); }
  TPhrasesPage& Phrases() { return app_->setup.content<TPhrasesPage>(SetupPage::Phrases); }
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

inline RECT RectIn(HWND control, HWND parent) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Where a control sits in its parent, its size (-1: sized to its text, not
// checked) and its caption.
struct Placed {
  HWND control;
  int x, y, width, height;
  const char* text;
};
inline void ExpectPlaced(const Placed& e, HWND parent) {
  SCOPED_TRACE(e.text);
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
}

}  // namespace vello::testing
