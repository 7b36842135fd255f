// The settings dialog: its frame and general pages, OK and Cancel.
#include <functional>

#include "setup_dialog_fixture.h"
#include "settings/settings_keys.h"

namespace vello::testing {
namespace {

TEST_F(SetupDialogTest, TheWindowAndTheGeneralPagesAreLaidOutWithTheirCaptions) {
  StartApp();
  app_->main.OnSettingsChosen();
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

  TGeneralPage1& g = General1();
  // Opening filled the port box from this test's settings.
  std::string port = std::to_string(port_);
  struct Expected {
    int page;  // -1: the dialog itself
    Placed at;
  } table[] = {
      {0, {g.portLabel, 16, 4, -1, -1, "ポート(&P):"}},
      {0, {g.portBox, 72, 0, 49, 20, port.c_str()}},
      {0, {g.imeOnStartBox, 16, 24, -1, -1, "起動時にIMEをON(&I)"}},
      {0, {g.minimizedOnStartBox, 16, 48, -1, -1, "起動時に最小化で実行する(&M)"}},
      {0, {g.soundOnArrivalBox, 16, 144, -1, -1, "着信時に音を鳴らす(&A)"}},
      {0, {g.soundFileBox, 16, 162, 265, 20, ""}},
      {0, {g.soundFileButton, 280, 162, 17, 20, "..."}},
      {0, {g.startupShortcutBox, 16, 72, -1, -1, "スタートアップに登録する(&S)"}},
      {0, {g.desktopShortcutBox, 16, 96, -1, -1, "デスクトップにショートカットを作成する(&D)"}},
      {0, {g.logBox, 16, 120, -1, -1, "送受信ログをとる(&L)"}},
      {1, {General2().clearAfterSendBox, 8, 8, -1, -1, "メッセージ送信後クリアする(&C)"}},
      {1, {General2().quietInWorkingModeBox, 8, 32, -1, -1, "仕事中モード時着信音を鳴らさない(&S)"}},
      {-1, {Dialog().cancelButton, 176, 224, 75, 25, "&Cancel"}},
      {-1, {Dialog().okButton, 256, 224, 75, 25, "&OK"}},
  };
  for (const auto& e : table) {
    HWND parent = e.page < 0 ? dlg : Dialog().page(static_cast<SetupPage>(e.page));
    EXPECT_EQ(GetParent(e.at.control), parent) << e.at.text;
    ExpectPlaced(e.at, parent);
    // Every caption is whole: the control is as wide as its text needs.
    RECT r = RectIn(e.at.control, parent);
    if (e.at.width < 0) {
      EXPECT_GE(r.right - r.left, TextExtent(e.at.control, Widen(e.at.text)).cx) << e.at.text;
    }
  }
  // Neither button is a default button: Enter and Esc press nothing.
  for (HWND b : {Dialog().cancelButton, Dialog().okButton})
    EXPECT_EQ(GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK, static_cast<LONG>(BS_PUSHBUTTON));
  EXPECT_FALSE(IsWindowEnabled(g.soundFileBox));
  EXPECT_FALSE(IsWindowEnabled(g.soundFileButton));
  EXPECT_STREQ(kSoundFileFilter, L"サウンドファイル");
  EXPECT_STREQ(kSoundFileFilter + wcslen(kSoundFileFilter) + 1, L"*.wav;*.mid");

  // The six tabs all show in one row.
  RECT strip, first;
  GetClientRect(Dialog().pageTabs, &strip);
  SendMessageW(Dialog().pageTabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  EXPECT_EQ(SendMessageW(Dialog().pageTabs, TCM_GETROWCOUNT, 0, 0), 1);
  for (int i = 0; i < 6; ++i) {
    RECT tab;
    SendMessageW(Dialog().pageTabs, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tab));
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
    SetupPage page;
  } cases[] = {
      {"Edit > 設定(&S)...", mainids::SettingsItem, SetupPage::General1},
      {"the tray's 設定(&S)", mainids::TraySettingsItem, SetupPage::General1},
      {"File > タイマー(&T)", mainids::TimerItem, SetupPage::Timer},
      {"Help > バージョン情報(&A)", mainids::VersionItem, SetupPage::Version},
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
    for (int i = 0; i < kSetupPageCount; ++i)
      EXPECT_EQ(IsWindowVisible(Dialog().page(static_cast<SetupPage>(i))) != FALSE, static_cast<SetupPage>(i) == c.page)
          << "page " << i;
    EXPECT_EQ(ControlText(General1().portBox), std::to_string(port_));
    EXPECT_TRUE(IsChecked(General1().logBox));
    // The timer page, by a click on its tab when another page is shown.
    RECT tab{};
    SendMessageW(Dialog().pageTabs, TCM_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&tab));
    LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    SendMessageW(Dialog().pageTabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Dialog().pageTabs, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(Dialog().currentPage(), SetupPage::Timer);
    EXPECT_TRUE(IsWindowVisible(Dialog().page(SetupPage::Timer)));
    TTimerPage& t = Dialog().content<TTimerPage>(SetupPage::Timer);
    std::vector<std::string> when;
    for (HWND box : {t.yearBox, t.monthBox, t.dayBox, t.hourBox, t.minuteBox}) when.push_back(ControlText(box));
    EXPECT_EQ(when, (std::vector<std::string>{"2026", "12", "10", "14", "35"}));
    ASSERT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.RowText(0, 1), "2026/12/24 9:00");
    EXPECT_EQ(t.RowText(0, 3), "イブの予約");
    StopApp();
  }
  SetClockForTests({});
}

// Each tab, chosen by its caption as a click on the strip chooses it, shows
// its own page; Tab from OK goes into that page, and a control there is
// answered by its page (the frame passes each notification to the page
// whose control it is, built with the dialog or later).
TEST_F(SetupDialogTest, EveryTabShowsItsOwnPageWhoseControlsAreAnswered) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  HWND tabs = Dialog().pageTabs;
  auto clickTab = [&](const std::wstring& caption) {
    int n = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      wchar_t text[32] = L"";
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = 32;
      SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
      if (caption != text) continue;
      RECT tab{};
      SendMessageW(tabs, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tab));
      LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
      SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageW(tabs, WM_LBUTTONUP, 0, at);
      Pump(10);
      return true;
    }
    return false;
  };
  struct Case {
    const wchar_t* caption;
    SetupPage page;
    std::function<HWND()> firstControl;  // where Tab from OK lands
    std::function<void()> act;
    std::function<bool()> answered;
  } cases[] = {
      {L"一般(1)", SetupPage::General1, [&] { return General1().portBox; },
       [&] { Click(General1().soundOnArrivalBox); }, [&] { return IsWindowEnabled(General1().soundFileBox) != FALSE; }},
      {L"一般(2)", SetupPage::General2, [&] { return General2().clearAfterSendBox; },
       [&] { Click(General2().clearAfterSendBox); }, [&] { return IsChecked(General2().clearAfterSendBox); }},
      {L"送信先", SetupPage::Destinations, [&] { return Destinations().nicknameBox; },
       [&] { Type(Destinations().nicknameBox, L"a"); },
       [&] { return IsWindowEnabled(Destinations().addButton) != FALSE; }},
      {L"定型文", SetupPage::Phrases, [&] { return Phrases().categoryBox; }, [&] { Type(Phrases().phraseBox, L"a"); },
       [&] { return IsWindowEnabled(Phrases().addButton) != FALSE; }},
      {L"タイマー", SetupPage::Timer, [&] { return Dialog().content<TTimerPage>(SetupPage::Timer).timerOnBox; },
       [&] { Click(Dialog().content<TTimerPage>(SetupPage::Timer).addButton); },
       [&] { return boxes_.size() == 1 && boxes_[0].text == "あて先を選択してください"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.caption));
    ASSERT_TRUE(clickTab(c.caption));
    EXPECT_EQ(Dialog().currentPage(), c.page);
    for (int i = 0; i < kSetupPageCount; ++i)
      EXPECT_EQ(IsWindowVisible(Dialog().page(static_cast<SetupPage>(i))) != FALSE, static_cast<SetupPage>(i) == c.page)
          << "page " << i;
    HWND first = c.firstControl();
    EXPECT_EQ(GetParent(first), Dialog().page(c.page));
    EXPECT_EQ(GetNextDlgTabItem(Dialog().hwnd(), Dialog().okButton, FALSE), first);
    EXPECT_FALSE(c.answered());
    c.act();
    EXPECT_TRUE(c.answered());
  }
  ASSERT_TRUE(clickTab(L"バージョン情報"));
  EXPECT_EQ(Dialog().currentPage(), SetupPage::Version);
  EXPECT_TRUE(IsWindowVisible(Dialog().content<TVersionPage>(SetupPage::Version).logoPanel.hwnd()));
}

// OK asks every page before any page stores anything: a refusal leaves the
// settings file, the shortcuts and the main window as they were, whatever
// was changed on the other pages.
TEST_F(SetupDialogTest, ARefusalOnOkStopsEveryPageBeforeAnythingIsWrittenOrMade) {
  StartApp();
  const std::string before = ReadBeside(".ini");
  Dialog().ShowPage(SetupPage::General1);
  Tick(General1().startupShortcutBox, true);
  Tick(General1().desktopShortcutBox, true);
  Tick(General2().clearAfterSendBox, true);
  Tick(General2().discoveryBox, false);
  Click(General1().soundOnArrivalBox);  // sound on without a file: refused
  Dialog().ShowPage(SetupPage::General2);
  Click(Dialog().okButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "サウンドファイル名を入力してください");
  EXPECT_TRUE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(Files(startup_).empty());
  EXPECT_TRUE(Files(desktop_).empty());
  EXPECT_FALSE(app_->main.ClearAfterSend());
  EXPECT_TRUE(app_->main.discovery().enabled());

  // Mended, the same OK stores every page.
  Click(General1().soundOnArrivalBox);
  Click(Dialog().okButton);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_FALSE(DialogVisible());
  EXPECT_NE(ReadBeside(".ini").find("Startup=1\r\nDesktop=1\r\nLog=0\r\nClear=1\r\nWSound=0\r\nDiscovery=0\r\n"),
            std::string::npos);
  EXPECT_EQ(Files(startup_).size(), 1u);
  EXPECT_EQ(Files(desktop_).size(), 1u);
  EXPECT_TRUE(app_->main.ClearAfterSend());
  EXPECT_FALSE(app_->main.discovery().enabled());
}

TEST_F(SetupDialogTest, TabOrderAccessKeysAndNoDefaultButtonWhileOpen) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  // Tab walks the first page in its order, then the tab strip and the two buttons.
  std::vector<HWND> order;
  HWND at = g.portBox;
  for (int i = 0; i < 12; ++i) {
    order.push_back(at);
    at = GetNextDlgTabItem(Dialog().hwnd(), at, FALSE);
  }
  std::vector<HWND> expected{g.portBox,     g.imeOnStartBox,           g.minimizedOnStartBox,      g.soundOnArrivalBox,
                             g.startupShortcutBox, g.desktopShortcutBox,           g.logBox,      Dialog().pageTabs,
                             Dialog().cancelButton, Dialog().okButton, g.portBox};
  order.resize(expected.size());
  EXPECT_EQ(order, expected);

  // The Tab key itself, through the message loop's dialog handling.
  SetFocus(g.portBox);
  for (HWND next : {g.imeOnStartBox, g.minimizedOnStartBox}) {
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    app_->Dispatch(tab);
    EXPECT_EQ(GetFocus(), next);
  }

  // Alt+I ticks the box through the dialog's keyboard handling; Alt+P goes to the port.
  SetFocus(g.logBox);
  MSG msg{g.logBox, WM_SYSCHAR, 'i', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  Pump(10);
  EXPECT_TRUE(IsChecked(g.imeOnStartBox));
  msg = {GetFocus(), WM_SYSCHAR, 'p', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  EXPECT_EQ(GetFocus(), g.portBox);
  // Alt+S is the start-up box here, not the like-lettered box of the hidden page.
  msg = {GetFocus(), WM_SYSCHAR, 's', 0x20000000, 0, {}};
  app_->Dispatch(msg);
  EXPECT_TRUE(IsChecked(g.startupShortcutBox));
  EXPECT_FALSE(IsChecked(General2().quietInWorkingModeBox));

  // Enter and Esc leave the dialog open and write nothing.
  std::string before = ReadBeside(".ini");
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    MSG down{g.portBox, WM_KEYDOWN, key, 0, 0, {}};
    app_->Dispatch(down);
    MSG ch{g.portBox, WM_CHAR, key == VK_RETURN ? WPARAM('\r') : WPARAM(27), 0, 0, {}};
    app_->Dispatch(ch);
    Pump(10);
  }
  EXPECT_TRUE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
}

TEST_F(SetupDialogTest, ASecondOpenOnlyBringsItToTheFront) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  SetControlText(General1().portBox, "7000");
  app_->main.OnVersionChosen();
  EXPECT_EQ(Dialog().currentPage(), SetupPage::Version);
  EXPECT_TRUE(IsWindowVisible(Dialog().page(SetupPage::Version)));
  EXPECT_FALSE(IsWindowVisible(Dialog().page(SetupPage::General1)));
  EXPECT_EQ(ControlText(General1().portBox), "7000");  // FormShow did not run again
  app_->main.OnTimerChosen();
  EXPECT_EQ(Dialog().currentPage(), SetupPage::Timer);
}

TEST_F(SetupDialogTest, AFirstOkWritesTheKeysInOrder) {
  StartWithoutSettings();
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  EXPECT_EQ(ControlText(g.portBox), "5963");
  for (HWND box : {g.imeOnStartBox, g.soundOnArrivalBox, g.minimizedOnStartBox, g.startupShortcutBox, g.desktopShortcutBox, g.logBox, General2().clearAfterSendBox,
                   General2().quietInWorkingModeBox})
    EXPECT_FALSE(IsChecked(box));
  EXPECT_TRUE(IsChecked(General2().discoveryBox));  // finding other copies is on unless switched off
  EXPECT_FALSE(IsWindowEnabled(g.soundFileBox));
  EXPECT_FALSE(IsWindowEnabled(g.soundFileButton));

  SetControlText(g.portBox, std::to_string(port_));
  Click(Dialog().okButton);
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
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  Tick(g.imeOnStartBox, true);
  Tick(g.minimizedOnStartBox, true);
  Tick(g.logBox, true);
  Tick(General2().clearAfterSendBox, true);
  Tick(General2().quietInWorkingModeBox, true);
  Tick(General2().discoveryBox, false);
  Click(Dialog().okButton);
  EXPECT_EQ(ReadBeside(".ini"), "[setup]\r\nport=" + std::to_string(port_) +
                                    "\r\nIME=1\r\nSound=0\r\nSound-File=\r\nmini=1\r\nStartup=0\r\nDesktop=0\r\n"
                                    "Log=1\r\nClear=1\r\nWSound=1\r\nDiscovery=0\r\n");
  EXPECT_FALSE(app_->main.discovery().enabled());
  // The main window's flags at once, and the log through ApplySettings.
  EXPECT_TRUE(app_->main.ClearAfterSend());
  EXPECT_FALSE(app_->main.inbox().soundPermitted());
  EXPECT_TRUE(app_->main.inbox().logOn());

  // A hand-edited file: 2 reads as true, "yes" as the default.
  WriteBeside(".ini", "[setup]\r\nport=0x1F\r\nIME=2\r\nmini=yes\r\nClear=0\r\nWSound=-1\r\n");
  Dialog().ShowPage(SetupPage::General1);
  EXPECT_EQ(ControlText(g.portBox), "31");
  EXPECT_TRUE(IsChecked(g.imeOnStartBox));
  EXPECT_FALSE(IsChecked(g.minimizedOnStartBox));
  EXPECT_FALSE(IsChecked(g.logBox));
  EXPECT_FALSE(IsChecked(General2().clearAfterSendBox));
  EXPECT_TRUE(IsChecked(General2().quietInWorkingModeBox));
}

TEST_F(SetupDialogTest, APortThatIsNoNumberIsStoredAsTypedAndShownAsTheDefault) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  SetControlText(General1().portBox, "abc");
  Click(Dialog().okButton);
  EXPECT_NE(ReadBeside(".ini").find("[setup]\r\nport=abc\r\nIME=0\r\n"), std::string::npos);
  // Whether or not 5963 was free to listen on, the dialog shows the default.
  if (DialogVisible()) Click(Dialog().cancelButton);
  Dialog().ShowPage(SetupPage::General1);
  EXPECT_EQ(ControlText(General1().portBox), "5963");
}

TEST_F(SetupDialogTest, AScheduleFileCutShortOpensTheDialogOnTheTimerPageNamingTheFile) {
  TScheduleEntry e;
  e.SetDateTime("2026/12/24 9:00");
  e.SetText("イブの予約\r\n");
  const std::string whole(reinterpret_cast<const char*>(e.bytes().data()), TScheduleEntry::kSize);
  WriteBeside("t.dat", whole + whole.substr(0, 100));
  StartApp();
  // From the settings command, which would show the first page.
  SendMessageW(app_->main.hwnd(), WM_COMMAND, mainids::SettingsItem, 0);
  ASSERT_TRUE(DialogVisible());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(Dialog().currentPage(), SetupPage::Timer);
  EXPECT_TRUE(IsWindowVisible(Dialog().page(SetupPage::Timer)));
  TTimerPage& t = Dialog().content<TTimerPage>(SetupPage::Timer);
  ASSERT_TRUE(IsWindowVisible(t.scheduleErrorLabel));
  EXPECT_EQ(ControlText(t.scheduleErrorLabel), PathText(PathBeside("t.dat")) + ": ファイルの末尾以降を読み込みました");
  // The list makes room for it; the other pages are filled as ever.
  RECT label, list;
  GetWindowRect(t.scheduleErrorLabel, &label);
  GetWindowRect(t.entryList, &list);
  EXPECT_LE(label.bottom, list.top);
  EXPECT_TRUE(IsWindowVisible(t.entryList));
  EXPECT_EQ(ControlText(General1().portBox), std::to_string(port_));
  EXPECT_EQ(ControlText(t.yearBox), "2026");
  // Nothing was written over the file.
  EXPECT_EQ(ReadBeside("t.dat"), whole + whole.substr(0, 100));

  // Mended by hand: the next opening reads it, and the notice is gone.
  Click(Dialog().cancelButton);
  WriteBeside("t.dat", whole);
  SendMessageW(app_->main.hwnd(), WM_COMMAND, mainids::SettingsItem, 0);
  ASSERT_TRUE(DialogVisible());
  EXPECT_EQ(Dialog().currentPage(), SetupPage::General1);
  EXPECT_FALSE(IsWindowVisible(t.scheduleErrorLabel));
  ASSERT_EQ(t.RowCount(), 1);
  EXPECT_EQ(t.RowText(0, 3), "イブの予約");
}

TEST_F(SetupDialogTest, PortNumbersTooLongForTheFileAreRefusedLikeOtherPortsOutOfRange) {
  StartApp();
  const std::string before = ReadBeside(".ini");
  for (const char* typed : {"99999999999", "4294967296", "0x100000000"}) {
    boxes_.clear();
    Dialog().ShowPage(SetupPage::General1);
    SetControlText(General1().portBox, typed);
    Click(Dialog().okButton);
    ASSERT_EQ(boxes_.size(), 1u) << typed;
    EXPECT_EQ(boxes_[0].text, NotAPortText(std::string_view(typed)));
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(ReadBeside(".ini"), before) << typed;
    EXPECT_TRUE(DialogVisible()) << typed;
  }
}

TEST_F(SetupDialogTest, SoundWithoutAFileIsRefusedAndNothingIsWritten) {
  StartApp();
  std::string before = ReadBeside(".ini");
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  Click(g.soundOnArrivalBox);
  EXPECT_TRUE(IsWindowEnabled(g.soundFileBox));
  EXPECT_TRUE(IsWindowEnabled(g.soundFileButton));
  Click(Dialog().okButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "サウンドファイル名を入力してください");
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(DialogVisible());
  // Unticking greys the file box again.
  Click(g.soundOnArrivalBox);
  EXPECT_FALSE(IsWindowEnabled(g.soundFileBox));
  EXPECT_FALSE(IsWindowEnabled(g.soundFileButton));
}

// The settings file holds the sound file's path in code page 932, as other
// copies read it: a path outside it is refused, never stored as another one.
TEST_F(SetupDialogTest, ASoundPathTheSettingsFileCannotHoldIsRefused) {
  StartApp();
  std::string before = ReadBeside(".ini");
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  Click(g.soundOnArrivalBox);
  const std::wstring typed = L"C:\\Users\\Müller\\音.wav";  // "ü" would be stored as "u"
  SetWindowTextW(g.soundFileBox, typed.c_str());
  Click(Dialog().okButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "サウンドファイルのパス C:\\Users\\M?ller\\音.wav には、設定ファイルに保存できない文字 "
                            "(シフトJIS にない文字) が含まれています。シフトJIS で書ける場所のファイルを選んでください。");
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_TRUE(DialogVisible());
  // Stored whether or not sound is on, so refused either way.
  Click(g.soundOnArrivalBox);
  Click(Dialog().okButton);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(ReadBeside(".ini"), before);
  // A path of code page 932 characters only, full-width and "ソ" among them, is stored.
  SetWindowTextW(g.soundFileBox, L"C:\\ソフト\\音．wav");
  Click(Dialog().okButton);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_FALSE(DialogVisible());
  EXPECT_NE(ReadBeside(".ini").find("Sound-File=C:\\ソフト\\音．wav\r\n"), std::string::npos);
}

TEST_F(SetupDialogTest, TheSoundFileIsShownOnlyWhileSoundIsOn) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=0\r\nSound-File=C:\\a.wav\r\n");
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  EXPECT_EQ(ControlText(g.soundFileBox), "");
  Click(Dialog().cancelButton);
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=1\r\nSound-File=C:\\b.wav\r\n");
  Dialog().ShowPage(SetupPage::General1);
  EXPECT_TRUE(IsChecked(g.soundOnArrivalBox));
  EXPECT_TRUE(IsWindowEnabled(g.soundFileBox));
  EXPECT_EQ(ControlText(g.soundFileBox), "C:\\b.wav");
  Click(Dialog().cancelButton);
  // Sound off again: the box greys out and keeps the text it had.
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=0\r\nSound-File=C:\\c.wav\r\n");
  Dialog().ShowPage(SetupPage::General1);
  EXPECT_FALSE(IsWindowEnabled(g.soundFileBox));
  EXPECT_FALSE(IsWindowEnabled(g.soundFileButton));
  EXPECT_EQ(ControlText(g.soundFileBox), "C:\\b.wav");
}

TEST_F(SetupDialogTest, AnErrorInApplySettingsLeavesTheDialogOpenWithTheKeysWritten) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  Click(g.soundOnArrivalBox);
  SetControlText(g.soundFileBox, DirText() + "\\missing.wav");
  Tick(General2().clearAfterSendBox, true);
  Click(Dialog().okButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_TRUE(DialogVisible());
  EXPECT_NE(ReadBeside(".ini").find("Sound=1\r\nSound-File=" + DirText() + "\\missing.wav\r\n"), std::string::npos);
  EXPECT_TRUE(app_->main.ClearAfterSend());  // step 5 ran before ApplySettings
}

TEST_F(SetupDialogTest, ARefusedSettingsWriteStopsOkWithTheDialogOpen) {
  StartApp();
  Dialog().ShowPage(SetupPage::General1);
  Tick(General2().clearAfterSendBox, true);
  std::string before = ReadBeside(".ini");
  MakeReadOnly(".ini");
  Click(Dialog().okButton);
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
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  SetControlText(g.portBox, "6000");
  Tick(g.imeOnStartBox, true);
  Tick(General2().clearAfterSendBox, true);
  Click(Dialog().cancelButton);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
  EXPECT_FALSE(app_->main.ClearAfterSend());
  // The close box is Cancel too.
  Dialog().ShowPage(SetupPage::General1);
  EXPECT_EQ(ControlText(g.portBox), std::to_string(port_));
  EXPECT_FALSE(IsChecked(g.imeOnStartBox));
  EXPECT_FALSE(IsChecked(General2().clearAfterSendBox));
  Tick(g.imeOnStartBox, true);
  SendMessageW(Dialog().hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(ReadBeside(".ini"), before);
}

TEST_F(SetupDialogTest, TheSoundFileIsChosenThroughTheFileDialog) {
  StartApp();
  std::string wav = DirText() + "\\ding.wav";
  std::ofstream(fs::path(Widen(wav))) << "RIFF";
  Dialog().ShowPage(SetupPage::General1);
  TGeneralPage1& g = General1();
  Click(g.soundOnArrivalBox);
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
  Click(g.soundFileButton);
  EXPECT_EQ(ControlText(g.soundFileBox), wav);
  EXPECT_EQ(filterSeen.substr(0, 8), L"サウンドファイル");
  // Cancelling changes nothing.
  cancel = true;
  SetTimer(nullptr, 0, 100, answerDialog);
  Click(g.soundFileButton);
  EXPECT_EQ(ControlText(g.soundFileBox), wav);
  EXPECT_TRUE(boxes_.empty());

  // A file in a folder whose name code page 932 cannot hold: refused with a
  // box, and the box keeps the file chosen before.
  const fs::path foreign = dir_ / kForeignFolder / L"ding.wav";
  fs::create_directories(foreign.parent_path());
  std::ofstream(foreign) << "RIFF";
  answer = foreign.native();
  cancel = false;
  SetTimer(nullptr, 0, 100, answerDialog);
  Click(g.soundFileButton);
  EXPECT_EQ(ControlText(g.soundFileBox), wav);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("サウンドファイルのパス " + DirText() + "\\M?ller\\??\\ding.wav には"),
            std::string::npos)
      << boxes_[0].text;
  EXPECT_EQ(boxes_[0].caption, "Vello - Error");
}

}  // namespace
}  // namespace vello::testing
