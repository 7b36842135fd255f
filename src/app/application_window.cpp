#include "app/application_window.h"

#include "platform/timing_points.h"
#include "platform/win_text.h"
#include "resources/resource_ids.h"

namespace vello {

ApplicationWindow::ApplicationWindow() {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconMain));
  RegisterClassOnce(kClassName, 0, nullptr, icon);
  int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  // Zero size: never seen, yet a visible unowned window with a caption is
  // what gives the program its taskbar button.
  Create({.className = kClassName,
          .title = L"Vello",
          .style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
          .x = cx, .y = cy, .width = 0, .height = 0});
  VELLO_TIMING_ONLY(timing::Mark("start.owners: taskbar window");)
}

void ApplicationWindow::SetTitle(const std::string& title) { SetWindowTextW(hwnd(), Widen(title).c_str()); }

LRESULT ApplicationWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      // The taskbar button's close acts like File > Close on the main window.
      if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
      return 0;
    case WM_ACTIVATE:
      // Activation of the taskbar button goes on to the last active owned window.
      if (LOWORD(wp) != WA_INACTIVE) {
        HWND popup = GetLastActivePopup(hwnd());
        if (popup && popup != hwnd() && IsWindowVisible(popup)) SetFocus(popup);
      }
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
