#include "messaging/balloon_window.h"

#include <windowsx.h>

#include "messaging/balloons.h"
#include "platform/colors.h"
#include "platform/fonts.h"
#include "platform/gdi.h"
#include "platform/timing_points.h"
#include "platform/win_text.h"

namespace vello {

namespace {
// The button of a press: 0 left, 1 right, 2 middle.
int ButtonOf(UINT msg) { return msg == WM_LBUTTONDOWN ? 0 : msg == WM_RBUTTONDOWN ? 1 : 2; }
// No wrapping; "&" is shown as it was sent, not taken as an access key.
constexpr UINT kLabelFormat = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP;
}  // namespace

BalloonShape BalloonShapeFor(int w, int h) {
  BalloonShape s{};
  s.body = {0, 0, w, h - 60};
  int x = w >= 0 ? (w + 2) / 3 : w / 3;  // the ceiling of w / 3
  s.tail[0] = {x, h - 61};
  s.tail[1] = {x + 30, h - 61};
  s.tail[2] = {x - 20, h};
  return s;
}

TBalloon::TBalloon(TBalloons& owner, BalloonContent content, HWND ownerWindow, bool stayOnTop)
    : owner_(owner), content_(std::move(content)), text_(Widen(content_.text)) {
  VELLO_TIMING_ONLY(timing::Stopwatch watch("balloon make");)
  RegisterClassOnce(kClassName, CS_DBLCLKS, nullptr);
  brush_.reset(CreateSolidBrush(ToColorRef(content_.look.color)));
  font_ = owner_.FontFor(content_.look);
  VELLO_TIMING_ONLY(watch.Step("brush and font");)
  int w = content_.look.width, h = content_.look.height + 60;
  SIZE screen = content_.screen;
  if (screen.cx <= 0 || screen.cy <= 0) screen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  int x = (screen.cx - w) / 2, y = (screen.cy - h) / 2;
  Create({.className = kClassName, .title = text_, .style = WS_POPUP,
          .exStyle = stayOnTop ? static_cast<DWORD>(WS_EX_TOPMOST) : 0u,
          .x = x, .y = y, .width = w, .height = h, .parent = ownerWindow});
  VELLO_TIMING_ONLY(watch.Step("window");)
}

TBalloon::~TBalloon() { Destroy(); }

void TBalloon::HideForGood() {
  hiddenForGood_ = true;
  ShowWindow(hwnd(), SW_HIDE);
}

void TBalloon::Shape() {
  RECT r;
  GetWindowRect(hwnd(), &r);
  BalloonShape s = BalloonShapeFor(r.right - r.left, r.bottom - r.top);
  UniqueRegion body(CreateRoundRectRgn(s.body.left, s.body.top, s.body.right, s.body.bottom, 50, 50));
  UniqueRegion tail(CreatePolygonRgn(s.tail, 3, WINDING));
  CombineRgn(body.get(), body.get(), tail.get(), RGN_OR);
  // From here on the window owns the region. A hidden balloon is drawn
  // whole when it shows: nothing to redraw now.
  SetWindowRgn(hwnd(), body.release(), IsWindowVisible(hwnd()));
}

void TBalloon::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd(), &ps);
  RECT r;
  GetClientRect(hwnd(), &r);
  r.left = kLabelAt.x;
  r.top = kLabelAt.y;
  {
    Selection font(dc, font_->get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(content_.look.fontColor));
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r, kLabelFormat);
  }
  EndPaint(hwnd(), &ps);
}

LRESULT TBalloon::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd(), &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, brush_.get());
      return 1;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      owner_.BalloonMouseDown(*this, ButtonOf(msg), wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_MOUSEMOVE:
      owner_.BalloonMouseMove(*this, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CONTEXTMENU:
      owner_.BalloonContextMenu(*this, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_KEYDOWN:
      owner_.BalloonKeyDown(*this, wp);
      return 0;
    case WM_CLOSE:
      // Closing a balloon hides it; only its menu's close command destroys it.
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
