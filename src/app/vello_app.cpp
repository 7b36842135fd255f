#include "app/vello_app.h"

#include <commctrl.h>

#include "platform/error_display.h"
#include "platform/timing_points.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace vello {

void InitialisePlatform() {
  static bool done = false;
  if (done) return;
  // COM waits for the first shell link or shell verb (UseComOnThisThread).
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                                           ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  done = true;
}

bool AnotherInstanceRuns() { return FindWindowW(TMainForm::kClassName, nullptr) != nullptr; }

VelloApp::VelloApp() : main(application), setup(main, main.scheduler()) {}

VelloApp::~VelloApp() { Finish(); }

void VelloApp::Finish() {
  if (finished_) return;
  finished_ = true;
  Window::Guard([this] { setup.FormDestroy(); });
  VELLO_TIMING_ONLY(timing::Mark("exit.finished"); timing::Write();)
}

void VelloApp::Start(bool showMainWindow) {
  main.CreateForm();
  VELLO_TIMING_ONLY(timing::Mark("start.main window created");)
  // The settings dialog is built when it is first opened.
  main.SetSetupForm(&setup);
  SetApplicationTitle("Vello");
  application.SetTitle("Vello");
  bool mini = ReadSetting(SettingsFile(), setting::Mini);
  if (mini) {
    SendMessageW(application.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ShowWindow(application.hwnd(), SW_HIDE);
  } else {
    ShowWindow(application.hwnd(), SW_SHOWNOACTIVATE);
    if (showMainWindow) {
      ShowWindow(main.hwnd(), SW_SHOW);
      SetForegroundWindow(main.hwnd());
      // Painted now, before the work the main window does not wait for
      // (TMainForm::Defer), which the loop runs first.
      UpdateWindow(main.hwnd());
    }
  }
  VELLO_TIMING_ONLY(timing::Mark("start.main window shown");)
}

void VelloApp::Dispatch(MSG& msg) {
  if (setup.PreTranslate(msg)) return;
  if (main.waitingForm().PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int VelloApp::Run() {
  MSG msg;
  VELLO_TIMING_ONLY(timing::Mark("start.message loop");)
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
  return static_cast<int>(msg.wParam);
}

}  // namespace vello
