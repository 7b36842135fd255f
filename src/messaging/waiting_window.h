#pragma once
// The window of messages that wait for their receiver: for each its
// destination, its first line, when it was written, how many attempts were
// made and the last reason, or that its outcome is unknown; and the user's
// two actions on the chosen one, 今すぐ送る and 送らない. Opened from the
// File menu and the tray menu; every control can be reached with Tab and
// has an access key.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

class Outbox;

class TWaitingForm : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TWaitingForm";

  explicit TWaitingForm(Outbox& outbox) : outbox_(outbox) {}
  ~TWaitingForm() override;

  // Shows the window (made the first time), owned by `owner`, filled anew.
  void Open(HWND owner);
  // Fills the list anew from the waiting list, the chosen row kept; nothing
  // while the window is not open.
  void Refresh();
  // The message loop's keyboard handling for the window (Tab, access keys).
  bool PreTranslate(MSG& msg);

  // What the window shows and does, as a person reaches it.
  HWND entryList = nullptr, sendNowButton = nullptr, dropButton = nullptr, closeButton = nullptr;
  void OnSendNowClicked();
  void OnDropClicked();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void CreateControls();
  void Layout();
  // The id of the chosen row's message, or empty.
  std::string ChosenId() const;
  void UpdateButtons();

  Outbox& outbox_;
  UniqueFont font_;
  // The message of each row as it was filled: the waiting list may change
  // under the window (another copy sharing the file) before a button is pressed.
  std::vector<std::string> rowIds_;
};

}  // namespace vello
