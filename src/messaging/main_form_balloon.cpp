// Working with a balloon: drag, reply, quote, close.
#include "app/application_window.h"
#include "app/main_form.h"
#include "common/sjis.h"
#include "messaging/balloon_window.h"

namespace vello {

void TMainForm::BalloonMouseDown(TBalloon& balloon, int button, WPARAM, int x, int y) {
  FDragStartX = x;
  FDragStartY = y;
  FDragArmed = true;
  if (button == 1) {
    FCurrentBalloon = &balloon;
    UpdateTrayIcon(1);
    FMessageArrived = false;
  }
}

void TMainForm::BalloonMouseMove(TBalloon& balloon, WPARAM keys, int x, int y) {
  if (!(keys & MK_LBUTTON) || (x == FDragStartX && y == FDragStartY) || !FDragArmed) return;
  ReleaseCapture();
  // The system moves the window with the mouse as if by its title bar.
  SendMessageW(balloon.hwnd(), WM_SYSCOMMAND, 0xF012, MAKELPARAM(x, y));
  FDragArmed = false;
}

void TMainForm::BalloonKeyDown(TBalloon& balloon, WPARAM key) {
  if ((GetKeyState(VK_CONTROL) & 0x8000) && key == 'C') {
    UpdateTrayIcon(1);
    FMessageArrived = false;
    ShowWindow(balloon.hwnd(), SW_HIDE);
  }
}

void TMainForm::BalloonContextMenu(TBalloon& balloon, int screenX, int screenY) {
  if (screenX == -1 && screenY == -1) {  // from the keyboard
    RECT r;
    GetWindowRect(balloon.hwnd(), &r);
    screenX = r.left + 12;
    screenY = r.top + 10;
  }
  FCurrentBalloon = &balloon;
  UINT id = TrackPopupMenu(PopupMenu1, TPM_RETURNCMD | TPM_RIGHTBUTTON, screenX, screenY, 0, balloon.hwnd(), nullptr);
  switch (id) {
    case mainids::N1: Guard([this] { N1Click(); }); break;
    case mainids::N3: Guard([this] { N3Click(); }); break;
    case mainids::Close2: Guard([this] { Close2Click(); }); break;
  }
}

void TMainForm::N1Click() {
  if (!FCurrentBalloon) return;
  SetDestinationText(FCurrentBalloon->Hint());
  ShowWindow(hwnd(), SW_SHOW);
  SendMessageW(FApplication.hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
  SetForegroundWindow(hwnd());
}

void TMainForm::N3Click() {
  if (!FCurrentBalloon) return;
  std::string quoted;
  for (const std::string& line : SplitLines(FCurrentBalloon->Caption())) quoted += ">" + line + "\r";
  if (!quoted.empty()) quoted.pop_back();
  SetComposerText(quoted);
  N1Click();
}

void TMainForm::Close2Click() {
  if (FCurrentBalloon) DestroyBalloon(FCurrentBalloon);
}

void TMainForm::DestroyBalloon(TBalloon* balloon) {
  if (FCurrentBalloon == balloon) FCurrentBalloon = nullptr;
  for (auto it = FBalloons.begin(); it != FBalloons.end(); ++it) {
    if (it->get() == balloon) {
      FBalloons.erase(it);
      return;
    }
  }
}

}  // namespace vello
