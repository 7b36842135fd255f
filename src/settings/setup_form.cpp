#include "settings/setup_form.h"

#include <commctrl.h>

#include <iterator>
#include <optional>
#include <vector>

#include "platform/error_display.h"
#include "platform/timing_points.h"
#include "schedule/scheduler.h"
#include "settings/destinations_page.h"
#include "settings/general_page1.h"
#include "settings/general_page2.h"
#include "settings/phrases_page.h"
#include "settings/settings_file.h"
#include "settings/setup_host.h"
#include "settings/timer_page.h"
#include "settings/version_page.h"

namespace vello {

namespace {
enum : UINT { kCancelButtonId = 1001, kOkButtonId = 1002, kPageTabsId = 1003 };
constexpr wchar_t kPageClass[] = L"TTabSheet";

using PageContentPtr = std::unique_ptr<SetupPageContent>;

// The dialog's pages, one row each, in the order of SetupPage and the tabs.
struct PageRow {
  SetupPage page;
  const wchar_t* caption;
  // Built with the dialog, so that a file the page cannot read stops the
  // opening; otherwise built when the page is first selected.
  bool builtWithDialog;
  const char* timingStep;
  PageContentPtr (*make)(SetupHost& host, TScheduler& scheduler);
};
constexpr PageRow kPageRows[] = {
    {SetupPage::General1, L"一般(1)", true, "general page 1",
     [](SetupHost&, TScheduler&) -> PageContentPtr { return std::make_unique<TGeneralPage1>(); }},
    {SetupPage::General2, L"一般(2)", true, "general page 2",
     [](SetupHost& host, TScheduler&) -> PageContentPtr { return std::make_unique<TGeneralPage2>(host); }},
    {SetupPage::Destinations, L"送信先", true, "destinations page",
     [](SetupHost&, TScheduler&) -> PageContentPtr { return std::make_unique<TDestinationsPage>(); }},
    {SetupPage::Phrases, L"定型文", true, "phrases page",
     [](SetupHost&, TScheduler&) -> PageContentPtr { return std::make_unique<TPhrasesPage>(); }},
    {SetupPage::Timer, L"タイマー", false, "timer page",
     [](SetupHost& host, TScheduler& scheduler) -> PageContentPtr { return std::make_unique<TTimerPage>(host, scheduler); }},
    {SetupPage::Version, L"バージョン情報", false, "version page",
     [](SetupHost&, TScheduler&) -> PageContentPtr { return std::make_unique<TVersionPage>(); }},
};
constexpr bool RowsFollowSetupPage() {
  for (int i = 0; i < kSetupPageCount; ++i)
    if (static_cast<int>(kPageRows[i].page) != i) return false;
  return true;
}
static_assert(std::size(kPageRows) == kSetupPageCount && RowsFollowSetupPage(), "one row per page, in tab order");

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
    item.pszText = const_cast<wchar_t*>(kPageRows[i].caption);
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
    pageWindows_[i] = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, pageArea.left,
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
  for (const PageRow& row : kPageRows) {
    SetupPageContent& content = *(contents_[static_cast<int>(row.page)] = row.make(host_, scheduler_));
    if (!row.builtWithDialog) continue;
    content.Build(page(row.page), font_.get());
    VELLO_TIMING_ONLY(watch.Step(row.timingStep);)
  }
  SelectPage(SetupPage::General1);
}

bool TSetupForm::pageBuilt(SetupPage which) const {
  const auto& content = contents_[static_cast<int>(which)];
  return content && content->built();
}

void TSetupForm::BuildPage(SetupPage which) {
  if (!built()) CreateForm();
  SetupPageContent& content = *contents_[static_cast<int>(which)];
  if (content.built()) return;
  VELLO_TIMING_ONLY(timing::Stopwatch watch("dialog build");)
  content.Build(page(which), font_.get());
  VELLO_TIMING_ONLY(watch.Step(kPageRows[static_cast<int>(which)].timingStep);)
  if (IsWindowVisible(hwnd())) content.Load();
}

SetupPageContent& TSetupForm::content(SetupPage which) {
  BuildPage(which);
  return *contents_[static_cast<int>(which)];
}

SetupPage TSetupForm::currentPage() const {
  return static_cast<SetupPage>(SendMessageW(pageTabs, TCM_GETCURSEL, 0, 0));
}

void TSetupForm::SelectPage(SetupPage which) {
  BuildPage(which);
  const int index = static_cast<int>(which);
  SendMessageW(pageTabs, TCM_SETCURSEL, index, 0);
  for (int i = 0; i < kSetupPageCount; ++i) ShowWindow(pageWindows_[i], i == index ? SW_SHOW : SW_HIDE);
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
  // Every page, built or not; the first that shows trouble of its own is
  // the page the dialog opens on.
  std::optional<SetupPage> troubled;
  for (const PageRow& row : kPageRows) {
    if (!contents_[static_cast<int>(row.page)]->Load() && !troubled) troubled = row.page;
  }
  if (troubled) SelectPage(*troubled);
}

void TSetupForm::FormDestroy() { scheduler_.SaveAtExit(); }

void TSetupForm::OnCancelClicked() { ShowWindow(hwnd(), SW_HIDE); }

void TSetupForm::OnOkClicked() {
  // Any error on the way leaves the dialog open, with what was done so far
  // kept. A page not yet built holds nothing to check or store.
  std::vector<SetupPageContent*> built;
  for (const auto& content : contents_)
    if (content && content->built()) built.push_back(content.get());
  // Every page is checked before anything is written.
  for (const SetupPageContent* content : built) {
    if (std::optional<std::string> refusal = content->Refusal()) {
      ShowMessageBox(hwnd(), *refusal, "Vello - Error", MB_OK | MB_ICONERROR);
      return;
    }
  }
  IniFile ini = SettingsFile();
  for (const SetupPageContent* content : built) content->Save(ini);
  // What lies outside the file (shortcuts, what the main window keeps in
  // memory), then what the main window reads from the file.
  for (const SetupPageContent* content : built) content->Apply();
  host_.ApplySettings();
  ShowWindow(hwnd(), SW_HIDE);
}

void TSetupForm::LoadSchedule() { scheduler_.LoadSchedule(); }

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (lp) {
        for (const auto& content : contents_)
          if (content && content->built() && content->HandleCommand(HIWORD(wp), reinterpret_cast<HWND>(lp)))
            return 0;
      }
      if (LOWORD(wp) == kCancelButtonId) OnCancelClicked();
      if (LOWORD(wp) == kOkButtonId) OnOkClicked();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == pageTabs && header->code == TCN_SELCHANGE) {
        SelectPage(currentPage());
        return 0;
      }
      for (const auto& content : contents_)
        if (content && content->built() && content->HandleNotify(header)) break;
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      for (const auto& content : contents_) {
        if (!content || !content->built()) continue;
        if (HBRUSH brush = content->ControlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
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
