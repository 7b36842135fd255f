#pragma once
// The program's icon in the notification area: one record kept for the
// whole run, the main and the arrival icon, and the arrival notice that
// alternates them every 500 ms (the blink timer) with the arrival tip. Clicks on the
// icon go to the main window (its callback message 0x40A).
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

enum class TrayUpdate {
  Restore = 1,  // the notice ends: main icon, idle tip
  Blink = 2,    // the notice starts (the first change comes with the first tick)
  Add = 3,      // the icon appears, with the idle tip
};

enum class TrayState { Absent, Idle, Blinking };

class TTrayIcon : public MessageOnlyWindow {
 public:
  TTrayIcon();
  ~TTrayIcon() override;

  // The window whose callback the icon calls, and the program's main icon.
  void Attach(HWND mainWindow, HICON mainIcon);
  void UpdateTrayIcon(TrayUpdate update);
  // One tick of the notice.
  void OnBlinkTick();
  // The taskbar was made anew (the shell restarted): the icon comes back as it was.
  void AddAgain();
  // The icon goes (the program ends).
  void Remove();
  // Messages that arrived but could not be shown: counted in the arrival tip.
  void SetNotShown(std::size_t count);
  std::size_t notShown() const { return FNotShown; }
  // Messages kept for receivers that could not be reached: counted in the tip.
  void SetWaiting(std::size_t count);
  std::size_t waiting() const { return FWaiting; }

  TrayState state() const;
  UINT blinkInterval() const { return FBlinkInterval; }
  const NOTIFYICONDATAW& record() const { return FTrayRecord; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void SetBlinkInterval(UINT ms);
  std::string ArrivalTip() const;
  std::string IdleTip() const;
  std::string WaitingNote() const;

  HWND FMainWindow = nullptr;
  HICON FMainIcon = nullptr;  // the executable's own, shared: not destroyed
  UniqueIcon FArrivalIcon;    // the executable's second icon, taken at the first tick
  NOTIFYICONDATAW FTrayRecord{};
  UINT FBlinkInterval = 0;
  bool FAdded = false;
  std::size_t FNotShown = 0;
  std::size_t FWaiting = 0;
};

}  // namespace vello
