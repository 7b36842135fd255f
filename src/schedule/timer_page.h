#pragma once
// The timer page of the settings dialog and the scheduler (its Timer1).
// Row i of ListView1 stands for entry i of the main window's
// FScheduleEntries; the scheduler decides from the rows.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/unique_handle.h"

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
  static constexpr UINT kTimer1Interval = 10000;

  void CheckBox7Click();
  void ComboBox7DropDown();
  void Button8Click();
  void Button9Click();

  // 0 while the scheduler is stopped.
  UINT Timer1Interval() const { return timer1Interval_; }
  // Row texts: column 0 is the caption ("済" or empty), 1 the date-time
  // text, 2 the destination, 3 the message text.
  int RowCount() const;
  std::string RowText(int row, int column) const;
  static std::string ControlText(HWND control);
  static void SetControlText(HWND control, const std::string& cp932);

  HWND CheckBox7 = nullptr, CheckBox8 = nullptr;
  HWND ComboBox2 = nullptr, ComboBox3 = nullptr, ComboBox4 = nullptr, ComboBox5 = nullptr, ComboBox6 = nullptr;
  HWND ComboBox7 = nullptr;
  HWND Button8 = nullptr, Button9 = nullptr;
  HWND ListView1 = nullptr;

 private:
  void CreateControls();
  int AddRow(const std::string& caption, const std::string& dateTime, const std::string& destination,
             const std::string& text);
  void SetRowCaption(int row, const std::string& caption);
  void FillYears(int presentYear);
  // The date column is 100 wide, or wider where the font needs more for a
  // full date-time text.
  int DateColumnWidth() const;
  void FitYearFont();
  // Keeps the in-flight scheduled sends pointing at their own entries when
  // entry `index` is removed; a send of the removed entry is dropped.
  void ForgetEntryInFlight(int index);
  bool EntryInFlight(int index) const;

  TSetupForm& setup_;
  TMainForm& main_;
  HWND page_;
  HFONT font_;
  UniqueFont yearFont_;  // only where the dialog font's digits are too wide
  UINT timer1Interval_ = 0;
  int yearsFor_ = 0;
};

}  // namespace vello
