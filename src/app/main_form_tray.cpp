// What the tray icon's clicks do, and working mode.
#include "app/application_window.h"
#include "app/main_form.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace vello {

void TMainForm::TrayIconMessage(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDOWN: {
      if (!FInbox.unacknowledged() || GetActiveWindow() == hwnd()) {
        ShowMainWindow();
        ShowWindow(FApplication.hwnd(), SW_RESTORE);
      }
      FInbox.balloons().ReleaseHeld();
      SetForegroundWindow(FApplication.hwnd());
      break;
    }
    case WM_RBUTTONDOWN: {
      POINT p;
      GetCursorPos(&p);
      // The menu closes when the user clicks elsewhere only if our window is
      // in the foreground while it is open.
      SetForegroundWindow(hwnd());
      UINT id = TrackPopupMenu(trayMenu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd(), nullptr);
      PostMessageW(hwnd(), WM_NULL, 0, 0);
      if (id) SendMessageW(hwnd(), WM_COMMAND, id, 0);
      break;
    }
    default:
      break;
  }
}

void TMainForm::OnWorkingModeToggled() {
  bool ticked = !(GetMenuState(trayMenu.get(), mainids::TrayWorkingModeItem, MF_BYCOMMAND) & MF_CHECKED);
  CheckMenuItem(trayMenu.get(), mainids::TrayWorkingModeItem, ticked ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(fileMenu, mainids::WorkingModeItem, ticked ? MF_CHECKED : MF_UNCHECKED);
  FWorkMode = ticked;
  IniFile ini = SettingsFile();
  WriteSetting(ini, setting::WMode, ticked);
}

}  // namespace vello
