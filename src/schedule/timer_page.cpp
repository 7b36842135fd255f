#include "schedule/timer_page.h"

#include "app/main_form.h"
#include "common/file_paths.h"
#include "platform/executable_path.h"
#include "schedule/schedule_file.h"
#include "settings/setup_form.h"

namespace vello {

TTimerPage::TTimerPage(TSetupForm& setup, TMainForm& main, HWND page, HFONT font)
    : setup_(setup), main_(main), page_(page), font_(font) {}

void TTimerPage::FormShow() { LoadSchedule(); }

void TTimerPage::LoadSchedule() {
  main_.FScheduleEntries.clear();
  LoadScheduleFile(FileBesideExecutable(kScheduleEnding), main_.FScheduleEntries);
}

void TTimerPage::SaveSchedule() { SaveScheduleFile(FileBesideExecutable(kScheduleEnding), main_.FScheduleEntries); }

bool TTimerPage::HandleCommand(UINT, UINT, HWND) { return false; }
bool TTimerPage::HandleNotify(NMHDR*) { return false; }
void TTimerPage::Timer1Timer() {}

}  // namespace vello
