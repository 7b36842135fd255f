// What a received message needs of the main window: the window its
// balloons belong to, the taskbar making way, the tray's arrival notice and
// its end. The journey itself is the inbox's.
#include "app/application_window.h"
#include "app/main_form.h"

namespace vello {

HWND TMainForm::BalloonOwner() const { return FApplication.hwnd(); }

void TMainForm::BalloonShown(HWND) {
  // The taskbar button goes while the main window is not the active one.
  if (GetActiveWindow() != hwnd() && IsWindowVisible(FApplication.hwnd())) ShowWindow(FApplication.hwnd(), SW_HIDE);
}

void TMainForm::ArrivalNoticed(std::size_t notShown) {
  FTrayIcon.SetNotShown(notShown);
  UpdateTrayIcon(TrayUpdate::Blink);
}

void TMainForm::AcknowledgeArrival() {
  FInbox.Acknowledge();
  FTrayIcon.SetNotShown(0);
  UpdateTrayIcon(TrayUpdate::Restore);
}

}  // namespace vello
