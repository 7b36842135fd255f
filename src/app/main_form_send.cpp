// Sending from the composer: the destinations as the user gave them ("*"
// nicknames looked up in the address book) and the composer read when the
// connection stands; and what the outbox asks of the window. The journey
// itself is the outbox's.
#include "app/main_form.h"
#include "common/file_paths.h"
#include "common/sjis.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"
#include "settings/destinations.h"

namespace vello {

void TMainForm::OnSendClicked() {
  std::string destination = DestinationText();
  if (destination.empty() || destination == kSeparator) {
    ShowMessageBox(hwnd(), "送信先を指定してください", "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // One destination or several, "," or ";" between them; a "*" nickname's
  // address may list several itself.
  // The address book is read only when a nickname asks for it.
  DestinationResolution resolved = ResolveDestinations(
      destination, destination.find('*') == std::string::npos ? std::vector<std::string>{}
                                                              : LoadAddressBook(FileBesideExecutable(kAddressBookEnding)));
  // A lone nickname the address book does not hold sends nothing, as it
  // always has; among several destinations the user learns which it was,
  // and nothing goes to the others either, so that none gets it twice once
  // the box is put right.
  if (!resolved.unresolved.empty() && resolved.destinations.empty() && SplitDestinations(destination).size() <= 1)
    return;
  if (!resolved.unresolved.empty()) {
    std::string names;
    for (const std::string& n : resolved.unresolved) names += (names.empty() ? "" : "、") + n;
    ShowMessageBox(hwnd(), "アドレス帳に見つからない送信先があります: " + names, "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (resolved.destinations.empty()) {
    ShowMessageBox(hwnd(), "送信先を指定してください", "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // The composer as it stands when the connection does, not as it is now;
  // kept as it stands when a receiver cannot be reached.
  auto composed = [this]() -> std::optional<OutgoingMessage> {
    return OutgoingMessage{
        .look = FComposer.Look(), .text = FComposer.LinesText(), .importance = ImportanceTicked() ? "P" : "N"};
  };
  std::vector<SendRequest> requests;
  for (const ResolvedDestination& d : resolved.destinations) {
    SendRequest request;
    request.host = d.host;
    request.destination = d.name;
    request.compose = composed;
    request.keep = composed;
    requests.push_back(std::move(request));
  }
  FOutbox.SendToEach(std::move(requests));
}

void TMainForm::Delivered() {
  // Any delivered message clears the composer when the user asked for that,
  // a scheduled one as well as the composer's own.
  if (FClearAfterSend) FComposer.SetText("");
}

void TMainForm::WaitingChanged() {
  FTrayIcon.SetWaiting(FOutbox.waiting().waitingCount());
  FWaitingForm.Refresh();
  std::set<std::string> scheduled;
  for (const WaitingMessage& m : FOutbox.waiting().messages())
    if (!m.scheduleKey.empty()) scheduled.insert(m.scheduleKey);
  FScheduler.ShowWaiting(std::move(scheduled));
}

bool TMainForm::ListedRunning(const std::string& host) const {
  for (const FoundCopy& copy : FDiscovery.Copies())
    if (SameTextIgnoreCase(copy.computerName, host) || copy.address == host) return true;
  return false;
}

bool TMainForm::KnowsDestination(const std::string& host) const {
  if (ListedRunning(host)) return true;
  for (const std::string& line : LoadAddressBook(FileBesideExecutable(kAddressBookEnding)))
    if (std::optional<std::string> address = AddressOf(line))
      for (const std::string& part : SplitDestinations(*address))
        if (SameTextIgnoreCase(part, host)) return true;
  // A sender of a message this copy received.
  return FInbox.senderNames().KnowsName(host);
}

void TMainForm::OnCopiesFound() {
  // Messages kept for a copy that has just appeared go to it now. Only the
  // newcomers: a copy listed all along that still does not take them keeps
  // its back-off, however often the list changes for others.
  std::set<std::string> listed;
  std::vector<std::string> appeared;
  for (const FoundCopy& copy : FDiscovery.Copies()) {
    for (const std::string& key : {copy.computerName, copy.address}) {
      listed.insert(key);
      if (!FCopiesListed.count(key)) appeared.push_back(key);
    }
  }
  FCopiesListed = std::move(listed);
  FOutbox.ReceiversSeen(appeared);
}

void TMainForm::OnWaitingChosen() { FWaitingForm.Open(hwnd()); }

}  // namespace vello
