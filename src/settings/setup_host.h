#pragma once
// What the settings dialog needs of the main window: the window it is
// centred over, the two flags OK sets, ApplySettings, and for the timer
// page the composer as it stands and the destination list.
#include <windows.h>

#include <string>
#include <vector>

#include "messaging/message_look.h"

namespace vello {

class SetupHost {
 public:
  virtual HWND MainWindow() const = 0;
  virtual void ApplySettings() = 0;
  virtual void SetClearAfterSend(bool clear) = 0;
  virtual void SetSoundInWorkMode(bool sound) = 0;

  // The composer's look (its size included) and its text: the displayed
  // lines each followed by CR LF, and the plain text with CR LF between
  // paragraphs.
  virtual MessageLook ComposerLook() const = 0;
  virtual std::string ComposerLinesText() const = 0;
  virtual std::string ComposerPlainText() const = 0;
  // The main window's destination entries as a drop-down refreshes them,
  // without changing the main window's own list.
  virtual std::vector<std::string> RefreshedDestinations() const = 0;

 protected:
  ~SetupHost() = default;
};

}  // namespace vello
