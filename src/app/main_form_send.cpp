// Sending from the composer: the destination as the user gave it (a "*"
// nickname looked up in the address book) and the composer read when the
// connection stands. The journey itself is the outbox's.
#include "app/main_form.h"
#include "common/file_paths.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"

namespace vello {

void TMainForm::OnSendClicked() {
  std::string destination = DestinationText();
  if (destination.empty() || destination == kSeparator) {
    ShowMessageBox(hwnd(), "送信先を指定してください", "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  std::string host = destination;
  if (destination[0] == '*') {
    std::vector<std::string> lines = LoadAddressBook(FileBesideExecutable(kAddressBookEnding));
    std::optional<std::string> found = ResolveFirst(lines, destination);
    if (!found) return;
    host = *found;
  }
  // The composer as it stands when the connection does, not as it is now.
  SendRequest request;
  request.host = host;
  request.destination = destination;
  request.compose = [this]() -> std::optional<OutgoingMessage> {
    return OutgoingMessage{
        .look = FComposer.Look(), .text = FComposer.LinesText(), .importance = ImportanceTicked() ? "P" : "N"};
  };
  FOutbox.Send(std::move(request));
}

void TMainForm::Delivered() {
  // Any delivered message clears the composer when the user asked for that,
  // a scheduled one as well as the composer's own.
  if (FClearAfterSend) FComposer.SetText("");
}

}  // namespace vello
