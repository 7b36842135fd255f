#include "settings/setup_form.h"

#include <commctrl.h>

#include "common/vello_error.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/timing_points.h"
#include "platform/win_text.h"
#include "schedule/scheduler.h"
#include "settings/destinations_page.h"
#include "settings/general_pages.h"
#include "settings/phrases_page.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/setup_host.h"
#include "settings/shortcuts.h"
#include "settings/timer_page.h"
#include "settings/version_page.h"

namespace vello {

namespace {
enum : UINT { kCancelButtonId = 1001, kOkButtonId = 1002, kPageTabsId = 1003 };
// The tabs' captions, in the order of SetupPage.
const wchar_t* const kPageCaptions[kSetupPageCount] = {L"一般(1)", L"一般(2)", L"送信先", L"定型文", L"タイマー",
                                                       L"バージョン情報"};
constexpr wchar_t kPageClass[] = L"TTabSheet";

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Pages pass their controls' notifications on to the dialog.
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN ||
      msg == WM_DRAWITEM)
    return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

TSetupForm::TSetupForm(SetupHost& host, TScheduler& scheduler) : host_(host), scheduler_(scheduler) {}
TSetupForm::~TSetupForm() { Destroy(); }

void TSetupForm::CreateForm() {
  VELLO_TIMING_ONLY(timing::Stopwatch watch("dialog build");)
  RegisterClassOnce(kClassName, 0, nullptr);
  static bool pageClass = false;
  if (!pageClass) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PageProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPageClass;
    RegisterClassExW(&wc);
    pageClass = true;
  }
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT r{0, 0, 353, 253};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  Create({.className = kClassName, .title = L"Vello Setup", .style = style, .exStyle = exStyle, .x = 0, .y = 0,
          .width = r.right - r.left, .height = r.bottom - r.top, .parent = host_.MainWindow()});
  HINSTANCE inst = GetModuleHandleW(nullptr);
  font_.reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          DEFAULT_QUALITY, DEFAULT_PITCH, L"ＭＳ Ｐゴシック"));
  // A tab stop of its own (arrows switch pages); the pages are its siblings.
  pageTabs = CreateWindowExW(0, WC_TABCONTROLW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0,
                             353, 217, hwnd(), reinterpret_cast<HMENU>(kPageTabsId), inst, nullptr);
  SendMessageW(pageTabs, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  for (int i = 0; i < kSetupPageCount; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
    SendMessageW(pageTabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  // All six tabs in one row: where the font is wider than the one the dialog
  // was laid out for, the tabs' side padding shrinks rather than the strip
  // hiding tabs behind its scroll arrows.
  RECT last{};
  SendMessageW(pageTabs, TCM_GETITEMRECT, kSetupPageCount - 1, reinterpret_cast<LPARAM>(&last));
  if (last.right > 353 - 2) {
    SendMessageW(pageTabs, TCM_SETPADDING, 0, MAKELPARAM(2, 3));
    SendMessageW(pageTabs, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  }
  RECT pageArea{0, 0, 353, 217};
  SendMessageW(pageTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&pageArea));
  for (int i = 0; i < kSetupPageCount; ++i) {
    pages_[i] = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, pageArea.left,
                                pageArea.top, pageArea.right - pageArea.left, pageArea.bottom - pageArea.top, hwnd(),
                                nullptr, inst, nullptr);
  }
  auto button = [&](const wchar_t* caption, int x, UINT id) {
    HWND b = CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, 224, 75,
                             25, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), inst, nullptr);
    SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    return b;
  };
  cancelButton = button(L"&Cancel", 176, kCancelButtonId);
  okButton = button(L"&OK", 256, kOkButtonId);
  VELLO_TIMING_ONLY(watch.Step("frame and tabs");)
  generalPages_ = std::make_unique<TGeneralPages>(page(SetupPage::General1), page(SetupPage::General2), font_.get());
  VELLO_TIMING_ONLY(watch.Step("general pages");)
  destinationsPage_ = std::make_unique<TDestinationsPage>(page(SetupPage::Destinations), font_.get());
  VELLO_TIMING_ONLY(watch.Step("destinations page");)
  phrasesPage_ = std::make_unique<TPhrasesPage>(page(SetupPage::Phrases), font_.get());
  VELLO_TIMING_ONLY(watch.Step("phrases page");)
  SelectPage(SetupPage::General1);
}

bool TSetupForm::pageBuilt(SetupPage which) const {
  switch (which) {
    case SetupPage::General1: case SetupPage::General2: return generalPages_ != nullptr;
    case SetupPage::Destinations: return destinationsPage_ != nullptr;
    case SetupPage::Phrases: return phrasesPage_ != nullptr;
    case SetupPage::Timer: return timerPage_ != nullptr;
    case SetupPage::Version: return versionPage_ != nullptr;
  }
  return false;
}

void TSetupForm::BuildPage(SetupPage which) {
  if (!built()) CreateForm();
  if (which == SetupPage::Timer && !timerPage_) {
    VELLO_TIMING_ONLY(timing::Stopwatch watch("dialog build"); )
    timerPage_ = std::make_unique<TTimerPage>(page(SetupPage::Timer), font_.get(), host_, scheduler_);
    VELLO_TIMING_ONLY(watch.Step("timer page");)
    if (IsWindowVisible(hwnd())) timerPage_->FormShow();
  }
  if (which == SetupPage::Version && !versionPage_) {
    VELLO_TIMING_ONLY(timing::Stopwatch watch("dialog build");)
    versionPage_ = std::make_unique<TVersionPage>(page(SetupPage::Version), font_.get());
    VELLO_TIMING_ONLY(watch.Step("version page");)
  }
}

TTimerPage& TSetupForm::timerPage() {
  BuildPage(SetupPage::Timer);
  return *timerPage_;
}
TGeneralPages& TSetupForm::generalPages() {
  BuildPage(SetupPage::General1);
  return *generalPages_;
}
TDestinationsPage& TSetupForm::destinationsPage() {
  BuildPage(SetupPage::Destinations);
  return *destinationsPage_;
}
TPhrasesPage& TSetupForm::phrasesPage() {
  BuildPage(SetupPage::Phrases);
  return *phrasesPage_;
}
TVersionPage& TSetupForm::versionPage() {
  BuildPage(SetupPage::Version);
  return *versionPage_;
}

SetupPage TSetupForm::currentPage() const {
  return static_cast<SetupPage>(SendMessageW(pageTabs, TCM_GETCURSEL, 0, 0));
}

void TSetupForm::SelectPage(SetupPage which) {
  BuildPage(which);
  const int index = static_cast<int>(which);
  SendMessageW(pageTabs, TCM_SETCURSEL, index, 0);
  for (int i = 0; i < kSetupPageCount; ++i) ShowWindow(pages_[i], i == index ? SW_SHOW : SW_HIDE);
  SetWindowPos(page(which), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TSetupForm::ShowPage(SetupPage which) {
  VELLO_TIMING_ONLY(timing::Stopwatch watch("dialog open");)
  SelectPage(which);
  if (IsWindowVisible(hwnd())) {
    SetForegroundWindow(hwnd());
    return;
  }
  // Centred over the main window.
  RECT m, d;
  GetWindowRect(host_.MainWindow(), &m);
  GetWindowRect(hwnd(), &d);
  int w = d.right - d.left, h = d.bottom - d.top;
  SetWindowPos(hwnd(), nullptr, (m.left + m.right - w) / 2, (m.top + m.bottom - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  // A page that cannot be filled stops the opening: the dialog never shows
  // half-filled.
  FormShow();
  VELLO_TIMING_ONLY(watch.Step("built and filled");)
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
}

bool TSetupForm::PreTranslate(MSG& msg) {
  if (!hwnd() || !IsWindowVisible(hwnd())) return false;
  if (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd)) return false;
  return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

void TSetupForm::FormShow() {
  generalPages_->FormShow(SettingsFile());
  destinationsPage_->FormShow();
  phrasesPage_->FormShow();
  // The schedule is read whether or not its page has been built yet. A
  // schedule file that cannot be read does not keep the dialog shut: it
  // opens on the timer page, which says why and names the file.
  try {
    if (timerPage_) timerPage_->FormShow();
    else scheduler_.LoadSchedule();
  } catch (const VelloError& e) {
    SelectPage(SetupPage::Timer);
    timerPage_->ShowPresentTime();
    timerPage_->ShowScheduleError(e.text());
    return;
  }
  if (timerPage_) timerPage_->ShowScheduleError(std::nullopt);
}

void TSetupForm::FormDestroy() { scheduler_.SaveAtExit(); }

void TSetupForm::OnCancelClicked() { ShowWindow(hwnd(), SW_HIDE); }

void TSetupForm::OnOkClicked() {
  // Any error on the way leaves the dialog open, with what was done so far kept.
  TGeneralPages& g = generalPages();
  // A sound file that cannot be played is refused before anything is written.
  if (std::optional<std::string> refusal = g.SoundFileRefusal()) {
    ShowMessageBox(hwnd(), *refusal, "Vello - Error", MB_OK | MB_ICONERROR);
    return;
  }
  // A port the program could not listen on is refused before anything is
  // written (a text that is no number at all is stored as typed).
  if (std::optional<std::string> refusal = PortTextRefusal(ControlText(g.portBox))) {
    ShowMessageBox(hwnd(), *refusal, "Vello - Error", MB_OK | MB_ICONERROR);
    return;
  }
  // The general pages' settings.
  IniFile ini = SettingsFile();
  g.Save(ini);
  // The start-up and desktop shortcuts, made or removed on every OK, changed or not.
  std::filesystem::path startup = ShellFolder(kStartupFolder);
  if (IsChecked(g.startupShortcutBox)) MakeShortcut(startup);
  else RemoveShortcut(startup);
  std::filesystem::path desktop = ShellFolder(kDesktopFolder);
  if (IsChecked(g.desktopShortcutBox)) MakeShortcut(desktop);
  else RemoveShortcut(desktop);
  // What the main window keeps in memory, then what it reads from the file.
  host_.SetClearAfterSend(IsChecked(g.clearAfterSendBox));
  host_.SetSoundInWorkMode(!IsChecked(g.quietInWorkingModeBox));
  host_.ApplySettings();
  ShowWindow(hwnd(), SW_HIDE);
}

void TSetupForm::LoadSchedule() { scheduler_.LoadSchedule(); }

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (timerPage_ && timerPage_->HandleCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp))) return 0;
      if (lp && generalPages_) {
        auto control = reinterpret_cast<HWND>(lp);
        UINT code = HIWORD(wp);
        if (generalPages_->HandleCommand(code, control) || destinationsPage_->HandleCommand(code, control) ||
            phrasesPage_->HandleCommand(code, control))
          return 0;
      }
      if (LOWORD(wp) == kCancelButtonId) OnCancelClicked();
      if (LOWORD(wp) == kOkButtonId) OnOkClicked();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == pageTabs && header->code == TCN_SELCHANGE) SelectPage(currentPage());
      else if (timerPage_) timerPage_->HandleNotify(header);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (destinationsPage_) {
        if (HBRUSH brush = destinationsPage_->ControlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
          return reinterpret_cast<LRESULT>(brush);
      }
      if (timerPage_) {
        if (HBRUSH brush = timerPage_->ControlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
          return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_NEXTDLGCTL: {
      // The keyboard handling of the message loop (Tab, access keys) asks the
      // window to move the focus, as a dialog box's own procedure would.
      HWND next = lp ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd(), GetFocus(), wp != 0);
      if (next && IsChild(hwnd(), next)) {
        SetFocus(next);
        if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
      }
      return 0;
    }
    case WM_CLOSE:
      OnCancelClicked();
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
