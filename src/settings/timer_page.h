#pragma once
// The timer page of the settings dialog: a view over the scheduler. Its
// rows are rebuilt from the scheduler's entries whenever they change; a row
// carries its entry's identity, never its position.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "platform/unique_handle.h"
#include "settings/setup_page_content.h"

namespace vello {

class SetupHost;
class TScheduler;

class TTimerPage : public SetupPageContent {
 public:
  TTimerPage(SetupHost& host, TScheduler& scheduler) : host_(host), scheduler_(scheduler) {}

  // The schedule, read whether or not the page has been built yet; once
  // built, the present date and time too. A schedule file that cannot be
  // read does not keep the dialog shut: the page says why, naming the file,
  // and asks to be shown.
  bool Load() override;
  // The notice's colours; null for other controls.
  HBRUSH ControlColor(HDC dc, HWND control) const override;
  bool HandleCommand(UINT code, HWND control) override;
  bool HandleNotify(NMHDR* header) override;

  void OnTimerOnToggled();
  void OnDestinationListOpening();
  void OnAddClicked();
  void OnDeleteClicked();

  // Row texts: column 0 is the caption ("済" or empty), 1 the date-time
  // text, 2 the destination, 3 the message text.
  int RowCount() const;
  std::string RowText(int row, int column) const;
  static std::string ControlText(HWND control);
  static void SetControlText(HWND control, const std::string& cp932);

  HWND timerOnBox = nullptr, importantBox = nullptr;
  HWND yearBox = nullptr, monthBox = nullptr, dayBox = nullptr, hourBox = nullptr, minuteBox = nullptr;
  HWND destinationBox = nullptr;
  HWND addButton = nullptr, deleteButton = nullptr;
  HWND entryList = nullptr;
  HWND scheduleErrorLabel = nullptr;

 protected:
  void BuildControls(HWND page, HFONT font) override;

 private:
  void CreateControls();
  void ShowPresentTime();
  // Why the schedule file could not be read, in red above the list (which
  // makes room for it), or nothing to take the notice away.
  void ShowScheduleError(const std::optional<std::string>& error);
  // The rows again from the scheduler's entries; the selected entry stays selected.
  void ShowEntries();
  void FillYears(int presentYear);
  // The date column is 100 wide, or wider where the font needs more for a
  // full date-time text.
  int DateColumnWidth() const;
  void FitYearFont();

  HWND page_ = nullptr;
  HFONT font_ = nullptr;
  SetupHost& host_;
  TScheduler& scheduler_;
  UniqueFont yearFont_;  // only where the dialog font's digits are too wide
  int yearsFor_ = 0;
  // What the last reading of the schedule file said was wrong with it.
  std::optional<std::string> scheduleError_;
};

}  // namespace vello
