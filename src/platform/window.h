#pragma once
// The one window base class: the static procedure stores `this` at
// WM_NCCREATE, then HandleMessage unpacks messages into named handlers. The
// event boundary (the one catch of the program) lives in the procedure.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/error_display.h"

namespace vello {

struct WindowArgs {
  const wchar_t* className = nullptr;
  std::wstring title = L"";
  DWORD style = WS_OVERLAPPEDWINDOW;
  DWORD exStyle = 0;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
  HWND parent = nullptr;  // owner for top-level windows
  HMENU menu = nullptr;
};

class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  HWND hwnd() const { return hwnd_; }

  // Registers the class once (with this procedure) and creates the window.
  static void RegisterClassOnce(const wchar_t* className, UINT style = CS_DBLCLKS, HBRUSH background = nullptr,
                                HICON icon = nullptr);
  void Create(const WindowArgs& args);
  void Destroy();

  // Runs `fn` at the event boundary: a VelloError (or any exception) it
  // raises is shown by the common error display and the program goes on.
  static void Guard(const std::function<void()>& fn, ErrorOrigin origin = ErrorOrigin::User) noexcept;

 protected:
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }
  // Called after WM_NCDESTROY; the handle is gone.
  virtual void OnFinalDestroy() {}

 private:
  friend Window* WindowFromHandle(HWND hwnd);
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  HWND hwnd_ = nullptr;
};

// A window that only receives messages (timers, socket events, results
// posted back), made when it is first needed: the program starts many
// owners, each with such a window, and most of them are not needed before
// the main window shows (each window costs start-up time).
class MessageOnlyWindow : public Window {
 public:
  explicit MessageOnlyWindow(const wchar_t* className) : className_(className) {}
  // The window, made now if it is not yet (hwnd() stays null until then).
  HWND window();

 private:
  const wchar_t* className_;
};

// Finds the object behind a window created through Window, or null.
Window* WindowFromHandle(HWND hwnd);

}  // namespace vello
