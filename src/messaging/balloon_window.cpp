#include "messaging/balloon_window.h"

#include <windowsx.h>

#include <algorithm>

#include "app/main_form.h"
#include "platform/win_text.h"

namespace vello {

namespace {
COLORREF ToColorRef(int32_t color) { return color < 0 ? GetSysColor(color & 0xFF) : static_cast<COLORREF>(color); }
constexpr int kMinBody = 40;        // smaller and the balloon cannot be right-clicked
constexpr int kMaxFontPoints = 500;  // beyond this a label becomes a frozen screenful
}  // namespace

BalloonLook BalloonLookFromFields(const MessageFields& f, int screenWidth, int screenHeight) {
  BalloonLook look;
  // A window larger than the screen could not be dragged away or clicked
  // round; a tiny or negative one could not be reached at all.
  look.width = std::clamp(f.width, kMinBody, std::max(kMinBody, screenWidth));
  look.height = std::clamp(f.height, kMinBody, std::max(kMinBody, screenHeight - 60));
  look.color = f.color;
  look.fontColor = f.fontColor;
  look.fontSize = std::clamp(f.fontSize, 1, kMaxFontPoints);
  look.fontName = f.fontName;
  look.fontStyle = f.fontStyle;
  look.text = f.text;
  look.important = f.important;
  return look;
}

BalloonShape BalloonShapeFor(int w, int h) {
  BalloonShape s{};
  s.body = {0, 0, w, h - 60};
  int x = w >= 0 ? (w + 2) / 3 : w / 3;  // the ceiling of w / 3
  s.tail[0] = {x, h - 61};
  s.tail[1] = {x + 30, h - 61};
  s.tail[2] = {x - 20, h};
  return s;
}

// The label: a child that paints its text without wrapping, sized to it, in
// the sender's font and colours, and passes mouse presses to the handlers.
class TBalloonLabel : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TLabel";
  TBalloonLabel(TBalloon& balloon) : balloon_(balloon) {
    RegisterClassOnce(kClassName, 0, nullptr);
    const BalloonLook& look = balloon.look_;
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(look.fontSize, GetDeviceCaps(screen, LOGPIXELSY), 72);
    font_.reset(CreateFontW(height, 0, 0, 0, look.fontStyle & 1 ? FW_BOLD : FW_NORMAL, look.fontStyle & 2 ? 1 : 0,
                            look.fontStyle & 4 ? 1 : 0, look.fontStyle & 8 ? 1 : 0, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                            Widen(look.fontName).c_str()));
    text_ = Widen(look.text);
    HGDIOBJ old = SelectObject(screen, font_.get());
    RECT r{0, 0, 0, 0};
    DrawTextW(screen, text_.c_str(), static_cast<int>(text_.size()), &r, kFormat | DT_CALCRECT);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    Create({.className = kClassName, .title = L"", .style = WS_CHILD | WS_VISIBLE, .x = 12, .y = 10,
            .width = r.right - r.left, .height = r.bottom - r.top, .parent = balloon.hwnd()});
  }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        RECT r;
        GetClientRect(hwnd(), &r);
        FillRect(dc, &r, balloon_.brush_.get());
        HGDIOBJ old = SelectObject(dc, font_.get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(balloon_.look_.fontColor));
        DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r, kFormat);
        SelectObject(dc, old);
        EndPaint(hwnd(), &ps);
        return 0;
      }
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        balloon_.main_.BalloonMouseDown(balloon_, msg == WM_LBUTTONDOWN ? 0 : msg == WM_RBUTTONDOWN ? 1 : 2, wp,
                                        GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
      case WM_MOUSEMOVE:
        balloon_.main_.BalloonMouseMove(balloon_, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
    }
    return Default(msg, wp, lp);
  }

 private:
  // No wrapping; "&" is shown as it was sent, not taken as an access key.
  static constexpr UINT kFormat = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;
  TBalloon& balloon_;
  UniqueFont font_;
  std::wstring text_;
};

TBalloon::TBalloon(TMainForm& main, const BalloonLook& look, HWND owner, bool stayOnTop) : main_(main), look_(look) {
  RegisterClassOnce(kClassName, CS_DBLCLKS, nullptr);
  brush_.reset(CreateSolidBrush(ToColorRef(look.color)));
  int w = look.width, h = look.height + 60;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  Create({.className = kClassName, .title = Widen(look.text), .style = WS_POPUP,
          .exStyle = stayOnTop ? static_cast<DWORD>(WS_EX_TOPMOST) : 0u,
          .x = x, .y = y, .width = w, .height = h, .parent = owner});
  label_ = std::make_unique<TBalloonLabel>(*this);
}

TBalloon::~TBalloon() {
  label_.reset();
  Destroy();
}

HWND TBalloon::label() const { return label_ ? label_->hwnd() : nullptr; }

void TBalloon::Shape() {
  RECT r;
  GetWindowRect(hwnd(), &r);
  BalloonShape s = BalloonShapeFor(r.right - r.left, r.bottom - r.top);
  UniqueRegion body(CreateRoundRectRgn(s.body.left, s.body.top, s.body.right, s.body.bottom, 50, 50));
  UniqueRegion tail(CreatePolygonRgn(s.tail, 3, WINDING));
  CombineRgn(body.get(), body.get(), tail.get(), RGN_OR);
  // From here on the window owns the region.
  SetWindowRgn(hwnd(), body.release(), TRUE);
}

LRESULT TBalloon::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd(), &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, brush_.get());
      return 1;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      main_.BalloonMouseDown(*this, msg == WM_LBUTTONDOWN ? 0 : msg == WM_RBUTTONDOWN ? 1 : 2, wp, GET_X_LPARAM(lp),
                             GET_Y_LPARAM(lp));
      return 0;
    case WM_MOUSEMOVE:
      main_.BalloonMouseMove(*this, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CONTEXTMENU:
      main_.BalloonContextMenu(*this, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_KEYDOWN:
      main_.BalloonKeyDown(*this, wp);
      return 0;
    case WM_CLOSE:
      // Closing a balloon hides it; only its menu's close command destroys it.
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
