// The program kept in a folder whose name code page 932 cannot hold
// ("C:\...\Müller\한글\vello.exe"): every file it keeps beside itself is
// read and written there, its shortcuts point at the real executable, the
// help and the log open from there, and messages show such a path with "?".
#include <filesystem>
#include <fstream>

#include "app_fixture.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "platform/controls.h"
#include "platform/executable_path.h"
#include "platform/shell_execute.h"
#include "platform/shell_link.h"
#include "platform/win_text.h"
#include "settings/destinations_page.h"
#include "settings/general_page1.h"
#include "settings/phrases_page.h"
#include "settings/shortcuts.h"
#include "settings/timer_page.h"
#include "test_listener.h"

namespace vello::testing {
namespace {

namespace fs = std::filesystem;

// Kept out of the test macros, which spell their arguments in code page 932.
const std::wstring kFolder = L"Müller\\한글";
const std::wstring kStartupFolder = L"Startup Müller";

class FolderNamesTest : public AppFixture {
 protected:
  FolderNamesTest() { subfolder_ = kFolder; }
  void SetUp() override {
    AppFixture::SetUp();
    // The user's start-up folder under the same kind of name.
    startup_ = dir_ / kStartupFolder;
    fs::create_directories(startup_);
    SetShellFolderFunctionForTests(
        [this](std::string_view name) { return name == "Startup" ? startup_ : dir_ / L"desktop"; });
    SetShellExecuteFunctionForTests([this](const ShellExecuteCall& call) { shellCalls_.push_back(call); });
  }
  void TearDown() override {
    SetShellExecuteFunctionForTests({});
    SetShellFolderFunctionForTests({});
    AppFixture::TearDown();
  }
  // The menu item with this caption in one of the main window's menus,
  // chosen as a click on it would.
  void Choose(HMENU menu, const wchar_t* caption) {
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
      wchar_t text[64] = L"";
      GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      if (wcscmp(text, caption) == 0) {
        SendMessageW(app_->main.hwnd(), WM_COMMAND, GetMenuItemID(menu, i), 0);
        return;
      }
    }
    ADD_FAILURE() << "no menu item " << Narrow(caption);
  }

  fs::path startup_;
  std::vector<ShellExecuteCall> shellCalls_;
};

TEST_F(FolderNamesTest, EveryFileOfTheProgramIsKeptBesideIt) {
  ASSERT_EQ(ExecutablePath(), dir_ / L"vello.exe");
  ASSERT_NE(dir_.native().find(kFolder), std::wstring::npos);
  std::ofstream(ExecutablePath()) << "MZ";  // the shell links only to what exists
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  WriteBeside(".dat", "taro : 127.0.0.1\r\n");
  WriteBeside("Fixed.dat", "[あいさつ]\r\nおはよう=\r\n");
  StartApp();
  // Read at start-up: the port, the log option, the phrases, the address book.
  EXPECT_EQ(app_->main.inbox().server().port(), port_);
  ASSERT_EQ(GetMenuItemCount(app_->main.insertMenu), 1);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(app_->main.insertMenu, 0)), 1);

  // A message to "*taro" goes out and into the log.
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  SetWindowTextW(app_->main.composer().hwnd(), L"こんにちは");
  app_->main.SetDestinationText("*taro");
  app_->main.OnSendClicked();
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return ReadBeside(".log").find("To : *taro\r\nこんにちは\r\n") != std::string::npos; }))
      << ReadBeside(".log");

  // The settings dialog: OK writes the settings and makes the start-up link.
  app_->setup.ShowPage(SetupPage::General1);
  SetChecked(app_->setup.content<TGeneralPage1>(SetupPage::General1).startupShortcutBox, true);
  app_->setup.OnOkClicked();
  EXPECT_NE(ReadBeside(".ini").find("Startup=1\r\n"), std::string::npos) << ReadBeside(".ini");
  ShellLinkFields link;
  ASSERT_TRUE(LoadShellLink((startup_ / L"message.lnk").native(), link));
  EXPECT_EQ(link.target, (dir_ / L"vello.exe").native());

  // The address book and the phrases are written where they were read.
  app_->setup.ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = app_->setup.content<TDestinationsPage>(SetupPage::Destinations);
  SetWindowTextW(d.nicknameBox, L"花子");
  SetWindowTextW(d.addressBox, L"pc02");
  d.OnAddClicked();
  EXPECT_EQ(ReadBeside(".dat"), "taro : 127.0.0.1\r\n花子 : pc02\r\n");
  TPhrasesPage& p = app_->setup.content<TPhrasesPage>(SetupPage::Phrases);
  SetWindowTextW(p.categoryBox, L"あいさつ");
  SetWindowTextW(p.phraseBox, L"こんばんは");
  p.OnAddClicked();
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[あいさつ]\r\nおはよう=\r\nこんばんは=\r\n");

  // The schedule: made empty when the dialog is shown, then one entry.
  EXPECT_TRUE(fs::exists(PathBeside("t.dat")));
  TTimerPage& t = app_->setup.content<TTimerPage>(SetupPage::Timer);
  TTimerPage::SetControlText(t.destinationBox, "pc02");
  t.OnAddClicked();
  EXPECT_EQ(ReadBeside("t.dat").size(), 344u);
  app_->setup.OnCancelClicked();
  app_->setup.ShowPage(SetupPage::Timer);
  EXPECT_EQ(t.RowCount(), 1);

  // The help document and the log open from the real folder.
  Choose(app_->main.helpMenu, L"ヘルプ(&H)");
  Choose(app_->main.fileMenu, L"ログを開く(&L)");
  ASSERT_EQ(shellCalls_.size(), 2u);
  EXPECT_EQ(shellCalls_[0].file, (dir_ / L"VELLO.html").native());
  EXPECT_EQ(shellCalls_[1].file, L"notepad.exe");
  EXPECT_EQ(shellCalls_[1].parameters, (dir_ / L"vello.log").native());

  for (const ShownBox& box : boxes_)
    if (box.text != "送信しました！" && box.text != "再起動後に有効になります。") ADD_FAILURE() << box.text;
  // Nothing went anywhere else: the only files are the program's own.
  std::vector<std::wstring> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().native());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{kStartupFolder, L"vello.dat", L"vello.exe", L"vello.ini", L"vello.log",
                                              L"velloFixed.dat", L"vellot.dat"}));
}

TEST_F(FolderNamesTest, MessagesShowThePathWithAQuestionMarkForWhatCp932Lacks) {
  // "ü" has no bytes of its own in code page 932; the system's best fit
  // would show "u", naming another folder. Each Hangul syllable is one "?".
  const std::string shown = Narrow(dir_.parent_path().parent_path().native()) + "\\M?ller\\??";
  EXPECT_EQ(PathText(PathBeside(".dat")), shown + "\\vello.dat");
  StartApp();
  app_->setup.ShowPage(SetupPage::Destinations);
  // A folder stands where the address book should be: adding a line fails.
  fs::create_directory(PathBeside(".dat"));
  TDestinationsPage& d = app_->setup.content<TDestinationsPage>(SetupPage::Destinations);
  SetWindowTextW(d.nicknameBox, L"花子");
  SetWindowTextW(d.addressBox, L"pc02");
  SendMessageW(d.addButton, BM_CLICK, 0, 0);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText("ファイル " + shown + "\\vello.dat は開けません"));
}

}  // namespace
}  // namespace vello::testing
