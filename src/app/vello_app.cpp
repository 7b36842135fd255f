#include "app/vello_app.h"

#include <commctrl.h>
#include <objbase.h>

#include "platform/error_display.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace vello {

void InitialisePlatform() {
  static bool done = false;
  if (done) return;
  // Shell links need COM on the user-interface thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                                           ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  done = true;
}

bool AnotherInstanceRuns() { return FindWindowW(TMainForm::kClassName, nullptr) != nullptr; }

VelloApp::VelloApp() : main(application), setup(main, main.scheduler()) {}

VelloApp::~VelloApp() {
  if (setup.hwnd()) Window::Guard([this] { setup.FormDestroy(); });
}

void VelloApp::Start(bool showMainWindow) {
  main.CreateForm();
  setup.CreateForm();
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
    }
  }
}

void VelloApp::Dispatch(MSG& msg) {
  if (setup.PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int VelloApp::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
  return static_cast<int>(msg.wParam);
}

}  // namespace vello
