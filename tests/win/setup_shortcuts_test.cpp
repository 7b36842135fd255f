// The shortcuts made at the settings dialog's OK: start-up and desktop.
#include "setup_dialog_fixture.h"

namespace vello::testing {
namespace {

ShellLinkFields ReadLink(const fs::path& path) {
  ShellLinkFields fields;
  EXPECT_TRUE(LoadShellLink(path.native(), fields)) << PathText(path);
  return fields;
}

TEST_F(SetupDialogTest, OkMakesOneStartupShortcutAndUntickingRemovesIt) {
  StartApp();
  std::ofstream(ExecutablePath()) << "MZ";
  for (int round = 0; round < 2; ++round) {
    Dialog().ShowPage(SetupPage::General1);
    EXPECT_EQ(IsChecked(General1().startupShortcutBox), round == 1);  // remembered in setup/Startup
    Tick(General1().startupShortcutBox, true);
    Click(Dialog().okButton);
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
  Dialog().ShowPage(SetupPage::General1);
  Click(Dialog().okButton);
  EXPECT_EQ(Files(startup_), std::vector<std::string>{"message.lnk"});

  Dialog().ShowPage(SetupPage::General1);
  Tick(General1().startupShortcutBox, false);
  Tick(General1().desktopShortcutBox, true);
  Click(Dialog().okButton);
  EXPECT_TRUE(Files(startup_).empty());
  EXPECT_EQ(Files(desktop_), std::vector<std::string>{"message.lnk"});
  Dialog().ShowPage(SetupPage::General1);
  Tick(General1().desktopShortcutBox, false);
  Click(Dialog().okButton);
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
  Dialog().ShowPage(SetupPage::General1);
  Tick(General1().startupShortcutBox, true);
  Tick(General1().desktopShortcutBox, true);
  Tick(General2().clearAfterSendBox, true);
  RefusingLinkFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  Click(Dialog().okButton);
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
  Click(Dialog().okButton);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(Files(startup_), std::vector<std::string>{"message.lnk"});
  EXPECT_EQ(Files(desktop_), std::vector<std::string>{"message.lnk"});
  EXPECT_TRUE(app_->main.ClearAfterSend());
}

}  // namespace
}  // namespace vello::testing
