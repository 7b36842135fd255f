#include "widgets/click_label.h"

#include <system_error>

#include "platform/colors.h"
#include "platform/executable_path.h"
#include "platform/gdi.h"
#include "platform/shell_execute.h"
#include "platform/win_text.h"

namespace vello {

HCURSOR CursorHandle(int16_t cursor) {
  const wchar_t* id = IDC_ARROW;
  switch (cursor) {
    case -3: id = IDC_CROSS; break;
    case -4: id = IDC_IBEAM; break;
    case -5: case -22: id = IDC_SIZEALL; break;
    case -6: id = IDC_SIZENESW; break;
    case -7: id = IDC_SIZENS; break;
    case -8: id = IDC_SIZENWSE; break;
    case -9: id = IDC_SIZEWE; break;
    case -10: id = IDC_UPARROW; break;
    case -11: id = IDC_WAIT; break;
    case -18: id = IDC_NO; break;
    case -19: id = IDC_APPSTARTING; break;
    case -20: id = IDC_HELP; break;
    case -21: id = IDC_HAND; break;
    default: break;
  }
  return LoadCursorW(nullptr, id);
}

// The colour the label has at construction: its font's initial colour.
TClickLabel::TClickLabel() : FNormalColor(kColorWindowText) {}

TClickLabel::~TClickLabel() { Destroy(); }

void TClickLabel::CreateLabel(const ClickLabelArgs& a) {
  RegisterClassOnce(kClassName, 0, nullptr);
  std::wstring caption = Widen(a.caption);
  Create({.className = kClassName, .title = caption, .style = WS_CHILD | WS_VISIBLE, .x = a.x, .y = a.y,
          .width = a.width, .height = a.height, .parent = a.parent});
  SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(a.font), FALSE);
  if (a.width == 0) {
    // Sized to its caption, as a label that sizes itself.
    WindowDC dc(hwnd());
    Selection font(dc.get(), font_);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc.get(), caption.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SetWindowPos(hwnd(), nullptr, 0, 0, r.right, a.height ? a.height : r.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TClickLabel::SetHikisu(const std::string& target) { FHikisu = target; }

void TClickLabel::SetFontColor(int32_t color) {
  fontColor_ = color;
  if (hwnd()) InvalidateRect(hwnd(), nullptr, TRUE);
}

void TClickLabel::MouseEnter() {
  SetFontColor(FEnterColor);
  cursor_ = FEnterCursor;
  if (hwnd() && mouseInside_) SetCursor(CursorHandle(cursor_));
}

void TClickLabel::MouseLeave() {
  SetFontColor(FNormalColor);
  cursor_ = kCursorDefault;
}

std::wstring TClickLabel::ShellTarget() const {
  std::wstring target = Widen(FHikisu);
  // A bare file name ("LICENSE.txt") is the file beside the executable when
  // it lies there, named by its full path as the system spells it (the
  // folder may hold characters a CP932 target cannot). Anything else, and a
  // name not found there, goes to the shell as it is.
  if (target.empty() || target.find_first_of(L":\\/") != std::wstring::npos) return target;
  std::filesystem::path beside = ExecutablePath().replace_filename(target);
  std::error_code error;
  if (std::filesystem::is_regular_file(beside, error)) return beside.native();
  return target;
}

void TClickLabel::Click() {
  if (OnClick) OnClick();
  CallShellExecute({.window = nullptr, .operation = "OPEN", .file = ShellTarget(), .show = SW_SHOW});
}

void TClickLabel::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd(), &r);
  Selection font(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(fontColor_));
  int n = GetWindowTextLengthW(hwnd());
  std::wstring caption(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(hwnd(), caption.data(), n + 1);
  DrawTextW(dc, caption.c_str(), n, &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT TClickLabel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd(), &ps);
      Paint(dc);
      EndPaint(hwnd(), &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd(), nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_MOUSEMOVE:
      if (!mouseInside_) {
        mouseInside_ = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd(), 0};
        TrackMouseEvent(&track);
        MouseEnter();
      }
      return 0;
    case WM_MOUSELEAVE:
      mouseInside_ = false;
      MouseLeave();
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wp) == hwnd() && LOWORD(lp) == HTCLIENT) {
        SetCursor(CursorHandle(cursor_));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(hwnd());
      return 0;
    case WM_LBUTTONUP:
      if (pressed_) {
        pressed_ = false;
        ReleaseCapture();
        RECT r;
        GetClientRect(hwnd(), &r);
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (PtInRect(&r, p)) Click();
      }
      return 0;
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
