// TMainForm: creation, layout, menus, start-up (FormCreate), exit and the
// caption buttons.
#include "app/main_form.h"

#include <imm.h>
#include <richedit.h>
#include <uxtheme.h>

#include "app/application_window.h"
#include "common/file_paths.h"
#include "common/version.h"
#include "messaging/message_line.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/shell_execute.h"
#include "platform/socket_error.h"
#include "platform/timing_points.h"
#include "platform/win_text.h"
#include "platform/window_messages.h"
#include "resources/resource_ids.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"
#include "settings/network_browser.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/setup_form.h"

namespace vello {

namespace {
constexpr int kCoolBarHeight = 33;
constexpr int kMinWidth = 323, kMinHeight = 178;

// The rebar paints only its bands; the strip below the band stays unpainted
// under Wine unless the background is erased here first.
LRESULT CALLBACK CoolBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// The importance box sits on the tool bar, which would answer the box's
// request for its colours itself: the main window decides them.
LRESULT CALLBACK ToolBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN) return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

HMENU AddPopup(HMENU bar, const wchar_t* caption) {
  HMENU sub = CreatePopupMenu();
  AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption);
  return sub;
}
}  // namespace

TMainForm::TMainForm(ApplicationWindow& application)
    : FApplication(application) {
  VELLO_TIMING_ONLY(timing::Mark("start.owners: main window's owners");)
}

TMainForm::~TMainForm() {
  FInbox.balloons().DestroyAll();
  Destroy();
}

void TMainForm::CreateForm() {
  HICON mainIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconMain));
  RegisterClassOnce(kClassName, CS_DBLCLKS, nullptr, mainIcon);
  FTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  CreateMenus();
  VELLO_TIMING_ONLY(timing::Mark("start.menus");)
  UniqueMenu ownedMenuBar(menuBar);
  Create({.className = kClassName,
          .title = L"Vello ver." VELLO_VERSION_W,
          .style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
          .x = 357, .y = 289, .width = 323, .height = 258,
          .parent = FApplication.hwnd(),
          .menu = menuBar});
  ownedMenuBar.release();  // the window's from now on
  FApplication.SetMainWindow(hwnd());
  FTrayIcon.Attach(hwnd(), mainIcon);
  VELLO_TIMING_ONLY(timing::Mark("start.main window");)
  CreateControls();
  VELLO_TIMING_ONLY(timing::Mark("start.controls");)
  // An error inside FormCreate is shown, and the steps after it stay undone.
  Guard([this] { FormCreate(); });
  // Messages kept for their receivers in an earlier run are tried again
  // once the window is on the screen, however far start-up got.
  Defer([this] { FOutbox.StartWaiting(); });
}

void TMainForm::CreateMenus() {
  menuBar = CreateMenu();
  fileMenu = AddPopup(menuBar, L"ファイル(&F)");
  AppendMenuW(fileMenu, MF_STRING, mainids::WorkingModeItem, L"仕事中モード(&W)");
  AppendMenuW(fileMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(fileMenu, MF_STRING, mainids::OpenLogItem, L"ログを開く(&L)");
  AppendMenuW(fileMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(fileMenu, MF_STRING, mainids::TimerItem, L"タイマー(&T)");
  AppendMenuW(fileMenu, MF_STRING, mainids::WaitingItem, L"送信待ちのメッセージ(&M)...");
  AppendMenuW(fileMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(fileMenu, MF_STRING, mainids::CloseItem, L"閉じる(&X)");
  editMenu = AddPopup(menuBar, L"編集(&E)");
  AppendMenuW(editMenu, MF_STRING, mainids::FontItem, L"フォント(&F)...");
  AppendMenuW(editMenu, MF_STRING, mainids::BackgroundColourItem, L"背景色(&B)...");
  AppendMenuW(editMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(editMenu, MF_STRING, mainids::SettingsItem, L"設定(&S)...");
  insertMenu = AddPopup(menuBar, L"挿入(&I)");
  AppendMenuW(menuBar, MF_STRING, mainids::SendItem, L"送信(&S)");
  helpMenu = AddPopup(menuBar, L"ヘルプ(&H)");
  AppendMenuW(helpMenu, MF_STRING, mainids::HelpItem, L"ヘルプ(&H)");
  AppendMenuW(helpMenu, MF_STRING, mainids::VersionItem, L"バージョン情報(&A)");

  trayMenu.reset(CreatePopupMenu());
  HMENU tray = trayMenu.get();
  AppendMenuW(tray, MF_STRING, mainids::TrayWorkingModeItem, L"仕事中モード(&W)");
  AppendMenuW(tray, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(tray, MF_STRING, mainids::TraySettingsItem, L"設定(&S)");
  AppendMenuW(tray, MF_STRING, mainids::TrayWaitingItem, L"送信待ちのメッセージ(&M)...");
  AppendMenuW(tray, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(tray, MF_STRING, mainids::TrayCancelItem, L"キャンセル(&C)");
  AppendMenuW(tray, MF_STRING, mainids::TrayExitItem, L"終了(&X)");
}

void TMainForm::CreateControls() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  FInterfaceFont.reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"ＭＳ Ｐゴシック"));
  HFONT font = FInterfaceFont.get();

  coolBar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                 RBS_BANDBORDERS | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE,
                             0, 0, 315, kCoolBarHeight, hwnd(), reinterpret_cast<HMENU>(mainids::CoolBar), inst,
                             nullptr);
  toolBar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                 CCS_NODIVIDER | CCS_NOPARENTALIGN,
                             0, 0, 300, 24, coolBar, reinterpret_cast<HMENU>(mainids::ToolBar), inst, nullptr);
  SendMessageW(toolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  toolBarImages.reset(ImageList_LoadImageW(inst, MAKEINTRESOURCEW(kBitmapToolbar), 16, 0, RGB(255, 0, 255),
                                       IMAGE_BITMAP, LR_CREATEDIBSECTION));
  SendMessageW(toolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolBarImages.get()));
  SendMessageW(toolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(23, 22));
  // Check box and destination box sit over separators of their width.
  TBBUTTON buttons[] = {
      {0, mainids::FontButton, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
      {1, mainids::ColourButton, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
      {8, 0, 0, BTNS_SEP, {}, 0, 0},
      {60, 0, 0, BTNS_SEP, {}, 0, 0},
      {119, 0, 0, BTNS_SEP, {}, 0, 0},
      {2, mainids::SendButton, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
  };
  SendMessageW(toolBar, TB_ADDBUTTONS, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
  RECT r{};
  SendMessageW(toolBar, TB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r));
  importantBox = CreateWindowExW(0, L"BUTTON", L"重要！", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                              54, 3, 60, 18, toolBar, reinterpret_cast<HMENU>(mainids::ImportantBox), inst, nullptr);
  // A themed check box ignores its text colour; the red caption needs the classic look.
  SetWindowTheme(importantBox, L"", L"");
  destinationBox = CreateWindowExW(0, L"COMBOBOX", nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 114, 1,
                              119, 200, toolBar, reinterpret_cast<HMENU>(mainids::DestinationBox), inst, nullptr);
  SendMessageW(importantBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageW(destinationBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageW(destinationBox, CB_SETITEMHEIGHT, 0, 12);

  REBARBANDINFOW band{};
  band.cbSize = sizeof band;
  band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
  band.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
  band.hwndChild = toolBar;
  band.cxMinChild = 0;
  band.cyMinChild = 24;
  band.cx = 300;
  SendMessageW(coolBar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
  SetWindowSubclass(coolBar, CoolBarProc, 1, 0);
  SetWindowSubclass(toolBar, ToolBarProc, 1, 0);
  VELLO_TIMING_ONLY(timing::Mark("start.controls: tool bar");)

  FComposer.Create(hwnd(), mainids::ComposerBox, 0, kCoolBarHeight, 315, 179);
  FComposer.SetLook(DefaultComposerLook());
  LayoutControls();
}

void TMainForm::LayoutControls() {
  RECT rc;
  GetClientRect(hwnd(), &rc);
  MoveWindow(coolBar, 0, 0, rc.right, kCoolBarHeight, TRUE);
  MoveWindow(FComposer.hwnd(), 0, kCoolBarHeight, rc.right, std::max<LONG>(0, rc.bottom - kCoolBarHeight), TRUE);
}

void TMainForm::FormCreate() {
  // The settings file, read once for all the steps below.
  IniFile ini = SettingsFile().Held();
  // The destination list: address book, separator, network computers.
  std::vector<std::string> lines = LoadAddressBook(FileBesideExecutable(kAddressBookEnding));
  std::vector<std::string> entries = BuildDestinationList(lines, NetworkDestinations());
  for (const auto& e : entries) AddComboRow(destinationBox, e);
  FFormCreateStepsDone = 1;
  VELLO_TIMING_ONLY(timing::Mark("start.destination list filled");)
  // The settings every page of the dialog can change.
  ApplySettingsFrom(ini);
  FFormCreateStepsDone = 2;
  VELLO_TIMING_ONLY(timing::Mark("start.settings applied (listening)");)
  // The first address-book entry becomes the destination.
  if (!entries.empty() && entries.front() != kSeparator) SendMessageW(destinationBox, CB_SETCURSEL, 0, 0);
  FFormCreateStepsDone = 3;
  // Geometry: Top, Left, Height, Width, applied together (the window is
  // not shown yet, and one move lays the controls out once, not four times).
  int top = ReadSetting(ini, setting::WindowTop);
  int left = ReadSetting(ini, setting::WindowLeft);
  int height = ReadSetting(ini, setting::WindowHeight);
  int width = ReadSetting(ini, setting::WindowWidth);
  SetWindowPos(hwnd(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  FGeometryKnown = true;
  FFormCreateStepsDone = 4;
  // Hiragana input whenever the composer has the focus.
  FImeOnFocus = ReadSetting(ini, setting::Ime);
  // The composer's look.
  FComposer.SetLook(ReadComposerLook(ini));
  // Importance, clearing after a send, the sounds in working mode.
  SetImportance(ReadSetting(ini, setting::Pri));
  FClearAfterSend = ReadSetting(ini, setting::Clear);
  FInbox.SetSoundPermitted(!ReadSetting(ini, setting::WSound));
  FWorkMode = ReadSetting(ini, setting::WMode);
  CheckMenuItem(trayMenu.get(), mainids::TrayWorkingModeItem, FWorkMode ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(fileMenu, mainids::WorkingModeItem, FWorkMode ? MF_CHECKED : MF_UNCHECKED);
  FFormCreateStepsDone = 10;
  VELLO_TIMING_ONLY(timing::Mark("start.window settings read");)
  // The tray icon, given to the shell once the window is on the screen
  // (neither the shell's library nor its call is what the window waits for).
  Defer([this] {
    UpdateTrayIcon(TrayUpdate::Add);
    VELLO_TIMING_ONLY(timing::Mark("start.tray icon added");)
  });
  // No Close in the system menu: exit only through the menus.
  DeleteMenu(GetSystemMenu(hwnd(), FALSE), SC_CLOSE, MF_BYCOMMAND);
  DrawMenuBar(hwnd());
  FCloseCommandRemoved = true;
  FFormCreateStepsDone = 14;
}

void TMainForm::FormClose() {
  // Nothing more is taken or sent; received messages whose senders' names
  // are still being looked up go into the log now, named by their addresses.
  FInbox.Stop();
  FOutbox.CloseAll();
  // The other copies hear that this one has gone.
  FDiscovery.Stop();
  IniFile ini = SettingsFile();
  if (FGeometryKnown) {
    RECT r;
    GetWindowRect(hwnd(), &r);
    WriteSetting(ini, setting::WindowHeight, r.bottom - r.top);
    WriteSetting(ini, setting::WindowWidth, r.right - r.left);
    WriteSetting(ini, setting::WindowTop, r.top);
    WriteSetting(ini, setting::WindowLeft, r.left);
  }
  if (FImportanceKnown) WriteSetting(ini, setting::Pri, ImportanceTicked());
}

void TMainForm::FormDestroy() { FTrayIcon.Remove(); }

void TMainForm::Defer(std::function<void()> work) {
  FDeferred.push_back(std::move(work));
  if (FDeferred.size() == 1) PostMessageW(hwnd(), kDeferredMessage, 0, 0);
}

void TMainForm::RunDeferred() {
  std::vector<std::function<void()>> work;
  work.swap(FDeferred);
  for (auto& w : work)
    if (!FClosing) Guard(w);
}

void TMainForm::OnCloseChosen() {
  if (FClosing) return;
  FClosing = true;
  VELLO_TIMING_ONLY(timing::Mark("exit.OnCloseChosen");)
  // The geometry is written even if a write fails half-way; the program ends.
  Guard([this] { FormClose(); });
  VELLO_TIMING_ONLY(timing::Mark("exit.FormClose done");)
  // The loop ends; the windows, balloons included, go with the process
  // (the program entry), not one by one.
  FormDestroy();
  PostQuitMessage(0);
}

void TMainForm::ShowHowToExit() {
  ShowMessageBox(hwnd(), "[メニュー]・[ファイル]・[閉じる]で終了してください", ApplicationTitle(), MB_OK);
}

bool TMainForm::CaptionButtonDown(WPARAM hitTest) {
  if (hitTest == HTCLOSE) {
    ShowHowToExit();
    return true;
  }
  if (hitTest == HTMINBUTTON) {
    bool handled = false;
    if (FindWindowW(TBalloon::kClassName, nullptr)) {
      // Balloons stay on the screen: only the main window goes.
      ShowWindow(hwnd(), SW_HIDE);
      handled = true;
    } else {
      DefWindowProcW(hwnd(), WM_NCLBUTTONDOWN, hitTest, 0);
      handled = true;
    }
    ShowWindow(FApplication.hwnd(), SW_HIDE);
    return handled;
  }
  return false;
}

void TMainForm::OnSettingsChosen() {
  if (FSetupForm) FSetupForm->ShowPage(SetupPage::General1);
}
void TMainForm::OnVersionChosen() {
  if (FSetupForm) FSetupForm->ShowPage(SetupPage::Version);
}
void TMainForm::OnTimerChosen() {
  if (FSetupForm) FSetupForm->ShowPage(SetupPage::Timer);
}

void TMainForm::OnHelpChosen() {
  // The help document is an HTML page beside the executable, which every
  // current Windows and Wine open with the shell.
  CallShellExecute({.window = hwnd(), .operation = "open",
                    .file = ExecutablePath().replace_filename(L"VELLO.html").native(), .show = SW_SHOW});
}

void TMainForm::OnOpenLogChosen() {
  CallShellExecute({.window = nullptr, .operation = "open", .file = L"notepad.exe", .show = SW_SHOW,
                    .parameters = FileBesideExecutable(kLogEnding).native()});
}

void TMainForm::ReplyTo(const std::string& destination) {
  SetDestinationText(destination);
  ShowWindow(hwnd(), SW_SHOW);
  SendMessageW(FApplication.hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
  SetForegroundWindow(hwnd());
}

void TMainForm::ShowMainWindow() {
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
}

void TMainForm::OnCommand(UINT id, UINT code, HWND control) {
  using namespace mainids;
  if (control == destinationBox) {
    if (code == CBN_DROPDOWN) OnDestinationListOpening();
    if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) OnDestinationEdited();
    return;
  }
  if (control == importantBox) {
    if (code == BN_CLICKED) OnImportantToggled();
    return;
  }
  if (control == FComposer.hwnd()) {
    // The editor's own limit, or the cut the window makes where the editor
    // let more in; the box waits until the editor has finished its change.
    if ((code == EN_MAXTEXT || (code == EN_CHANGE && FComposer.CutToBound())) && !FComposerFullShown) {
      FComposerFullShown = true;
      Defer([this] {
        ShowMessageBox(hwnd(),
                       "メッセージは " + std::to_string(kComposerMaxCharacters) + " 文字までです。それより後は入りません",
                       "Vello", MB_OK | MB_ICONEXCLAMATION);
        FComposerFullShown = false;
      });
    }
    if (code == EN_SETFOCUS && FImeOnFocus) {
      if (HIMC imc = ImmGetContext(control)) {
        ImmSetOpenStatus(imc, TRUE);
        ImmSetConversionStatus(imc, IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE, IME_SMODE_PHRASEPREDICT);
        ImmReleaseContext(control, imc);
      }
    }
    return;
  }
  if (id >= FirstPhrase && id <= LastPhrase) {
    OnPhraseChosen(id);
    return;
  }
  switch (id) {
    case FontButton: case FontItem: OnFontChosen(); break;
    case ColourButton: case BackgroundColourItem: OnBackgroundColourChosen(); break;
    case SendButton: case SendItem: OnSendClicked(); break;
    case WorkingModeItem: case TrayWorkingModeItem: OnWorkingModeToggled(); break;
    case OpenLogItem: OnOpenLogChosen(); break;
    case TimerItem: OnTimerChosen(); break;
    case WaitingItem: case TrayWaitingItem: OnWaitingChosen(); break;
    case CloseItem: case TrayExitItem: OnCloseChosen(); break;
    case SettingsItem: case TraySettingsItem: OnSettingsChosen(); break;
    case HelpItem: OnHelpChosen(); break;
    case VersionItem: OnVersionChosen(); break;
    case TrayCancelItem: break;
    default: break;
  }
}

LRESULT TMainForm::OnNotify(NMHDR* header) {
  if (header->code == TTN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    switch (info->hdr.idFrom) {
      case mainids::FontButton: info->lpszText = const_cast<wchar_t*>(L"フォント"); break;
      case mainids::ColourButton: info->lpszText = const_cast<wchar_t*>(L"色"); break;
      case mainids::SendButton: info->lpszText = const_cast<wchar_t*>(L"送信"); break;
    }
  }
  return 0;
}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kTrayCallbackMessage) {
    TrayIconMessage(lp);
    return 0;
  }
  if (msg == FTaskbarCreatedMessage && FTaskbarCreatedMessage != 0) {
    // The shell's taskbar restarted: the icon is gone; add it again as it was.
    FTrayIcon.AddAgain();
    return 0;
  }
  switch (msg) {
    case kDeferredMessage:
      RunDeferred();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
      return 0;
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<NMHDR*>(lp));
    case WM_NCLBUTTONDOWN:
      if (CaptionButtonDown(wp)) return 0;
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE && FCloseCommandRemoved) {
        // Alt+F4 asks for the Close command the system menu no longer has:
        // it gets what the greyed close box gives.
        ShowHowToExit();
        return 0;
      }
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        // Minimising the main window minimises the program.
        SendMessageW(FApplication.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
      }
      break;
    case WM_SIZE:
      LayoutControls();
      return 0;
    case WM_POWERBROADCAST:
      // Awake again: the receivers of kept messages may be back.
      if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) FOutbox.RetryAllSoon();
      return TRUE;
    case WM_EXITSIZEMOVE:
      FGeometryKnown = true;  // placed by the user
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize = {kMinWidth, kMinHeight};
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (reinterpret_cast<HWND>(lp) == importantBox) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, ImportanceTicked() ? RGB(255, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_CLOSE:
      OnCloseChosen();
      return 0;
    case WM_DESTROY:
      FormDestroy();
      PostQuitMessage(0);
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
