#pragma once
// The program's windows together: the taskbar window, the main window and
// the settings dialog (built when first opened), started in the order of
// the program entry. Tests start the same thing in-process.
#include <memory>

#include "app/application_window.h"
#include "app/main_form.h"
#include "settings/setup_form.h"

namespace vello {

class VelloApp {
 public:
  VelloApp();
  ~VelloApp();
  // Entry steps 3 to 6; `showMainWindow` false leaves it hidden (tests).
  void Start(bool showMainWindow = true);
  // Runs the message loop until the program ends (File > Close).
  int Run();
  // What is left to do when the program ends, once: the schedule saved.
  // The windows are left to the process's end.
  void Finish();
  // Handles one message as the loop would (tests pump with this).
  void Dispatch(MSG& msg);

  ApplicationWindow application;
  TMainForm main;
  TSetupForm setup;

 private:
  bool finished_ = false;
};

// Entry step 2: another instance's main window exists.
bool AnotherInstanceRuns();
// The common controls, once per process.
void InitialisePlatform();

}  // namespace vello
