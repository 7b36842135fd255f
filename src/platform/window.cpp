#include "platform/window.h"

#include <set>

#include "common/vello_error.h"
#include "platform/error_display.h"

namespace vello {

Window::~Window() { Destroy(); }

void Window::RegisterClassOnce(const wchar_t* className, UINT style, HBRUSH background, HICON icon) {
  static std::set<std::wstring> registered;
  if (registered.count(className)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = &Window::Procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background ? background : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.lpszClassName = className;
  RegisterClassExW(&wc);
  registered.insert(className);
}

void Window::Create(const WindowArgs& a) {
  HWND h = CreateWindowExW(a.exStyle, a.className, a.title.c_str(), a.style, a.x, a.y, a.width, a.height, a.parent,
                           a.menu, GetModuleHandleW(nullptr), this);
  if (!h) throw VelloError("ウィンドウを作成できません");
}

void Window::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void Window::Guard(const std::function<void()>& fn, ErrorOrigin origin) noexcept {
  try {
    fn();
  } catch (const VelloError& e) {
    ShowErrorMessage(e.text(), origin);
  } catch (const std::bad_alloc&) {
    ShowErrorMessage("メモリが不足しています", origin);
  } catch (const std::exception& e) {
    ShowErrorMessage(e.what(), origin);
  } catch (...) {
    ShowErrorMessage("予期しないエラーが発生しました", origin);
  }
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

HWND MessageOnlyWindow::window() {
  if (!hwnd()) {
    RegisterClassOnce(className_);
    Create({.className = className_, .style = 0, .parent = HWND_MESSAGE});
  }
  return hwnd();
}

Window* WindowFromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  if (proc != &Window::Procedure) return nullptr;
  return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  Window* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  bool handled = false;
  Guard([&] {
    result = self->HandleMessage(msg, wp, lp);
    handled = true;
  });
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->OnFinalDestroy();
  }
  return handled ? result : 0;
}

}  // namespace vello
