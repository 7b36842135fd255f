#include "app/tray_icon.h"

#include "platform/executable_path.h"
#include "platform/notify_icon.h"
#include "platform/win_text.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloTrayIcon";
constexpr UINT_PTR kBlinkTimer = 1;
constexpr UINT kBlinkInterval = 500;
const char kIdleTip[] = "Vello - ﾀｽｸﾄﾚｲ";
const char kArrivalTip[] = "Vello - メッセージが届きました";
}  // namespace

TTrayIcon::TTrayIcon() : MessageOnlyWindow(kClassName) {}

TTrayIcon::~TTrayIcon() {
  Remove();
  Destroy();
}

void TTrayIcon::Attach(HWND mainWindow, HICON mainIcon) {
  FMainWindow = mainWindow;
  FMainIcon = mainIcon;
}

TrayState TTrayIcon::state() const {
  if (!FAdded) return TrayState::Absent;
  return FBlinkInterval ? TrayState::Blinking : TrayState::Idle;
}

void TTrayIcon::SetBlinkInterval(UINT ms) {
  if (ms == FBlinkInterval) return;  // the running timer keeps its phase
  FBlinkInterval = ms;
  if (ms == 0)
    KillTimer(hwnd(), kBlinkTimer);
  else
    SetTimer(window(), kBlinkTimer, ms, nullptr);
}

void TTrayIcon::UpdateTrayIcon(TrayUpdate update) {
  switch (update) {
    case TrayUpdate::Add:
      FillTrayRecord(FTrayRecord, FMainWindow, NIF_MESSAGE | NIF_ICON | NIF_TIP, FMainIcon, IdleTip());
      FTrayRecord.uCallbackMessage = kTrayCallbackMessage;
      CallTray(TrayAction::Add, FTrayRecord);
      FAdded = true;
      break;
    case TrayUpdate::Blink:
      SetBlinkInterval(kBlinkInterval);
      break;
    case TrayUpdate::Restore:
      SetBlinkInterval(0);
      FillTrayRecord(FTrayRecord, FMainWindow, NIF_ICON | NIF_TIP, FMainIcon, IdleTip());
      CallTray(TrayAction::Modify, FTrayRecord);
      break;
  }
}

void TTrayIcon::OnBlinkTick() {
  if (!FArrivalIcon)
    FArrivalIcon.reset(ExtractIconW(GetModuleHandleW(nullptr), ExecutablePath().c_str(), 1));
  HICON next = FTrayRecord.hIcon == FMainIcon ? FArrivalIcon.get() : FMainIcon;
  FillTrayRecord(FTrayRecord, FMainWindow, NIF_ICON | NIF_TIP, next, ArrivalTip());
  CallTray(TrayAction::Modify, FTrayRecord);
}

std::string TTrayIcon::WaitingNote() const {
  if (FWaiting == 0) return "";
  return " (送信待ち " + std::to_string(FWaiting) + " 件)";
}

std::string TTrayIcon::IdleTip() const { return kIdleTip + WaitingNote(); }

std::string TTrayIcon::ArrivalTip() const {
  std::string tip = kArrivalTip;
  if (FNotShown != 0) tip += " (未表示 " + std::to_string(FNotShown) + " 件)";
  return tip + WaitingNote();
}

void TTrayIcon::SetWaiting(std::size_t count) {
  if (count == FWaiting) return;
  FWaiting = count;
  // While the notice runs its next tick shows it; otherwise the tip changes now.
  if (FAdded && FBlinkInterval == 0) {
    FillTrayRecord(FTrayRecord, FMainWindow, NIF_ICON | NIF_TIP, FTrayRecord.hIcon, IdleTip());
    CallTray(TrayAction::Modify, FTrayRecord);
  }
}

void TTrayIcon::SetNotShown(std::size_t count) {
  // The tip takes it at the next tick of the notice: a flood of messages not
  // shown costs no call to the tray each (under Wine one call is a
  // millisecond or more, and the calls would queue up behind each other).
  FNotShown = count;
}

void TTrayIcon::AddAgain() {
  if (!FAdded) return;
  NOTIFYICONDATAW record = FTrayRecord;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
  CallTray(TrayAction::Add, record);
}

void TTrayIcon::Remove() {
  if (FAdded) CallTray(TrayAction::Delete, FTrayRecord);
  FAdded = false;
  SetBlinkInterval(0);
}

LRESULT TTrayIcon::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kBlinkTimer) {
    OnBlinkTick();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
