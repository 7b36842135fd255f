#pragma once
// The timer page of the settings dialog and the scheduler (its Timer1).
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace vello {

class TMainForm;
class TSetupForm;

class TTimerPage {
 public:
  TTimerPage(TSetupForm& setup, TMainForm& main, HWND page, HFONT font);

  // The page's share of the dialog's FormShow: present date and time, then LoadSchedule.
  void FormShow();
  void LoadSchedule();
  void SaveSchedule();
  // Controls' notifications, forwarded by the dialog; true when handled.
  bool HandleCommand(UINT id, UINT code, HWND control);
  bool HandleNotify(NMHDR* header);
  // The scheduler's tick (the dialog's WM_TIMER with kTimerId).
  void Timer1Timer();
  static constexpr UINT_PTR kTimerId = 4;

 private:
  TSetupForm& setup_;
  TMainForm& main_;
  HWND page_;
  HFONT font_;
};

}  // namespace vello
