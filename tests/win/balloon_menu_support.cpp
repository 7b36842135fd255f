#include "balloon_menu.h"

#include <cwchar>

namespace vello::testing {

namespace {
constexpr UINT kGetMenuOfMenuWindow = 0x01E1;  // MN_GETHMENU

struct Choice {
  std::wstring caption;
  bool found = false;
  int ticks = 0;
};
Choice* pending = nullptr;

BOOL CALLBACK FindMenuWindow(HWND h, LPARAM lp) {
  wchar_t cls[16];
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(h) && GetClassNameW(h, cls, 16) &&
      std::wcscmp(cls, L"#32768") == 0) {
    *reinterpret_cast<HWND*>(lp) = h;
    return FALSE;
  }
  return TRUE;
}

// Runs inside the menu's own loop: finds the open menu, walks down to the
// item with the arrow keys (separators are passed over) and presses Enter.
void CALLBACK ChooseWhileOpen(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = nullptr;
  EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&window));
  if (!window) {
    if (++pending->ticks > 100) {  // no menu after 2 s
      KillTimer(nullptr, timer);
      EndMenu();
    }
    return;
  }
  KillTimer(nullptr, timer);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, kGetMenuOfMenuWindow, 0, 0));
  int downs = 0;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) continue;
    ++downs;
    wchar_t text[128];
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    if (pending->caption == text) {
      pending->found = true;
      break;
    }
  }
  if (!pending->found) {
    EndMenu();
    return;
  }
  for (int i = 0; i < downs; ++i) PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}
}  // namespace

bool ChooseFromBalloonMenu(HWND balloon, const std::wstring& caption) {
  Choice choice{caption};
  pending = &choice;
  RECT r;
  GetWindowRect(balloon, &r);
  POINT at{r.left + 40, r.top + 30};
  UINT_PTR timer = SetTimer(nullptr, 0, 20, ChooseWhileOpen);
  // The press, then the menu the system asks for when the button comes up.
  SendMessageW(balloon, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 30));
  SendMessageW(balloon, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(balloon), MAKELPARAM(at.x, at.y));
  KillTimer(nullptr, timer);
  pending = nullptr;
  return choice.found;
}

}  // namespace vello::testing
