// The tray icon, the arrival notice and working mode.
#include "app/application_window.h"
#include "app/main_form.h"
#include "platform/executable_path.h"
#include "platform/tray_icon.h"
#include "platform/window_messages.h"
#include "platform/win_text.h"

namespace vello {

namespace {
constexpr UINT_PTR kTimer1 = 1;
const char kIdleTip[] = "Vello - ﾀｽｸﾄﾚｲ";
const char kArrivalTip[] = "Vello - メッセージが届きました";
}  // namespace

void TMainForm::SetTimerInterval(UINT ms) {
  if (ms == Timer1Interval) return;  // the running timer keeps its phase
  Timer1Interval = ms;
  if (ms == 0)
    KillTimer(hwnd(), kTimer1);
  else
    SetTimer(hwnd(), kTimer1, ms, nullptr);
}

void TMainForm::UpdateTrayIcon(int action) {
  switch (action) {
    case 3:
      FillTrayRecord(FTrayRecord, hwnd(), NIF_MESSAGE | NIF_ICON | NIF_TIP, FMainIcon, kIdleTip);
      FTrayRecord.uCallbackMessage = kTrayCallbackMessage;
      CallTray(TrayAction::Add, FTrayRecord);
      FTrayAdded = true;
      break;
    case 2:
      SetTimerInterval(500);
      break;
    case 1:
      SetTimerInterval(0);
      FillTrayRecord(FTrayRecord, hwnd(), NIF_ICON | NIF_TIP, FMainIcon, kIdleTip);
      CallTray(TrayAction::Modify, FTrayRecord);
      break;
    default:
      break;
  }
}

void TMainForm::Timer1Timer() {
  if (!FArrivalIcon) FArrivalIcon = ExtractIconW(GetModuleHandleW(nullptr), Widen(ExecutablePath()).c_str(), 1);
  HICON next = FTrayRecord.hIcon == FMainIcon ? FArrivalIcon : FMainIcon;
  FillTrayRecord(FTrayRecord, hwnd(), NIF_ICON | NIF_TIP, next, kArrivalTip);
  CallTray(TrayAction::Modify, FTrayRecord);
}

void TMainForm::TrayIconMessage(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDOWN: {
      if (!FMessageArrived || GetActiveWindow() == hwnd()) {
        ShowMainWindow();
        ShowWindow(FApplication.hwnd(), SW_RESTORE);
      }
      // A handle whose window is gone is passed over: the call just fails.
      for (HWND balloon : FHeldBalloons) ShowWindow(balloon, SW_RESTORE);
      FHeldBalloons.clear();
      SetForegroundWindow(FApplication.hwnd());
      break;
    }
    case WM_RBUTTONDOWN: {
      POINT p;
      GetCursorPos(&p);
      // The menu closes when the user clicks elsewhere only if our window is
      // in the foreground while it is open.
      SetForegroundWindow(hwnd());
      UINT id = TrackPopupMenu(PopupMenu2, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd(), nullptr);
      PostMessageW(hwnd(), WM_NULL, 0, 0);
      if (id) SendMessageW(hwnd(), WM_COMMAND, id, 0);
      break;
    }
    default:
      break;
  }
}

void TMainForm::W1Click() {
  bool ticked = !(GetMenuState(PopupMenu2, mainids::W1, MF_BYCOMMAND) & MF_CHECKED);
  CheckMenuItem(PopupMenu2, mainids::W1, ticked ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(File1, mainids::N9, ticked ? MF_CHECKED : MF_UNCHECKED);
  FWorkMode = ticked;
  Settings().WriteBool("setup", "W-mode", ticked);
}

}  // namespace vello
