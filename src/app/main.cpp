// Program entry: one instance per desktop, then the windows and the loop.
#include <windows.h>

#include "app/vello_app.h"
#include "platform/error_display.h"
#include "platform/timing_points.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  VELLO_TIMING_ONLY(vello::timing::Mark("start.wWinMain");)
  vello::InitialisePlatform();
  VELLO_TIMING_ONLY(vello::timing::Mark("start.platform");)
  if (vello::AnotherInstanceRuns()) {
    vello::ShowMessageBox(nullptr, "右下を見て！", "Vello", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  vello::VelloApp app;
  VELLO_TIMING_ONLY(vello::timing::Mark("start.owners");)
  app.Start();
  int code = app.Run();
  app.Finish();
  // Everything the user keeps is written by now. The windows end with the
  // process: destroying thousands of balloons one by one first would take
  // seconds, and under Wine, where each destruction walks every top-level
  // window of the desktop, minutes while other programs hold many windows.
  ExitProcess(static_cast<UINT>(code));
}
