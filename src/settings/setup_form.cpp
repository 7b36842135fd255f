#include "settings/setup_form.h"

#include <commctrl.h>

#include "app/main_form.h"
#include "common/file_paths.h"
#include "platform/executable_path.h"
#include "platform/win_text.h"
#include "schedule/timer_page.h"

namespace vello {

namespace {
enum : UINT { kButton1 = 1001, kButton2 = 1002, kPageControl1 = 1003 };
const wchar_t* const kPageCaptions[6] = {L"一般(1)", L"一般(2)", L"送信先", L"定型文", L"タイマー", L"バージョン情報"};
constexpr wchar_t kPageClass[] = L"TTabSheet";

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Pages pass their controls' notifications on to the dialog.
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN ||
      msg == WM_DRAWITEM)
    return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

TSetupForm::TSetupForm(TMainForm& main) : main_(main) {}
TSetupForm::~TSetupForm() { Destroy(); }

void TSetupForm::CreateForm() {
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
          .width = r.right - r.left, .height = r.bottom - r.top, .parent = main_.hwnd()});
  HINSTANCE inst = GetModuleHandleW(nullptr);
  font_.reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          DEFAULT_QUALITY, DEFAULT_PITCH, L"ＭＳ Ｐゴシック"));
  PageControl1 = CreateWindowExW(WS_EX_CONTROLPARENT, WC_TABCONTROLW, nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 353, 217, hwnd(),
                                 reinterpret_cast<HMENU>(kPageControl1), inst, nullptr);
  SendMessageW(PageControl1, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  for (int i = 0; i < 6; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
    SendMessageW(PageControl1, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  RECT page{0, 0, 353, 217};
  SendMessageW(PageControl1, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  for (int i = 0; i < 6; ++i) {
    Pages[i] = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, page.left,
                               page.top, page.right - page.left, page.bottom - page.top, hwnd(), nullptr, inst,
                               nullptr);
  }
  auto button = [&](const wchar_t* caption, int x, UINT id) {
    HWND b = CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, 224, 75,
                             25, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), inst, nullptr);
    SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    return b;
  };
  Button1 = button(L"&Cancel", 176, kButton1);
  Button2 = button(L"&OK", 256, kButton2);
  timerPage_ = std::make_unique<TTimerPage>(*this, main_, Pages[4], font_.get());
  SelectPage(0);
}

int TSetupForm::currentPage() const { return static_cast<int>(SendMessageW(PageControl1, TCM_GETCURSEL, 0, 0)); }

void TSetupForm::SelectPage(int index) {
  SendMessageW(PageControl1, TCM_SETCURSEL, index, 0);
  for (int i = 0; i < 6; ++i) ShowWindow(Pages[i], i == index ? SW_SHOW : SW_HIDE);
  SetWindowPos(Pages[index], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TSetupForm::ShowPage(int index) {
  SelectPage(index);
  if (IsWindowVisible(hwnd())) {
    SetForegroundWindow(hwnd());
    return;
  }
  // Centred over the main window.
  RECT m, d;
  GetWindowRect(main_.hwnd(), &m);
  GetWindowRect(hwnd(), &d);
  int w = d.right - d.left, h = d.bottom - d.top;
  SetWindowPos(hwnd(), nullptr, (m.left + m.right - w) / 2, (m.top + m.bottom - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  Guard([this] { FormShow(); });
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
}

bool TSetupForm::PreTranslate(MSG& msg) {
  if (!hwnd() || !IsWindowVisible(hwnd())) return false;
  if (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd)) return false;
  return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

void TSetupForm::FormShow() { timerPage_->FormShow(); }

void TSetupForm::FormDestroy() { SaveSchedule(); }

void TSetupForm::Button1Click() { ShowWindow(hwnd(), SW_HIDE); }

void TSetupForm::Button2Click() {
  main_.ApplySettings();
  ShowWindow(hwnd(), SW_HIDE);
}

void TSetupForm::LoadSchedule() { timerPage_->LoadSchedule(); }

void TSetupForm::SaveSchedule() { timerPage_->SaveSchedule(); }

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (timerPage_ && timerPage_->HandleCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp))) return 0;
      if (LOWORD(wp) == kButton1) Button1Click();
      if (LOWORD(wp) == kButton2) Button2Click();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == PageControl1 && header->code == TCN_SELCHANGE) SelectPage(currentPage());
      else if (timerPage_) timerPage_->HandleNotify(header);
      return 0;
    }
    case WM_TIMER:
      if (wp == TTimerPage::kTimerId && timerPage_) timerPage_->Timer1Timer();
      return 0;
    case WM_CLOSE:
      Button1Click();
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
