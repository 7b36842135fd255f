// Program entry: one instance per desktop, then the windows and the loop.
#include <windows.h>

#include "app/vello_app.h"
#include "platform/error_display.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vello::InitialisePlatform();
  if (vello::AnotherInstanceRuns()) {
    vello::ShowMessageBox(nullptr, "右下を見て！", "Vello", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  vello::VelloApp app;
  app.Start();
  return app.Run();
}
