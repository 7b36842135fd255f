// Sending: the composer's message, or a due scheduled entry, to one host.
#include "app/main_form.h"
#include "common/file_paths.h"
#include "messaging/log_entry.h"
#include "messaging/message_line.h"
#include "platform/clock.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/locale_format.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"
#include "settings/setup_form.h"

namespace vello {

void TMainForm::ToolButton5Click() {
  std::string destination = DestinationText();
  if (destination.empty() || destination == kSeparator) {
    ShowMessageBox(hwnd(), "送信先を指定してください", "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (destination[0] != '*') {
    StartSend(destination, destination, -1);
    return;
  }
  std::vector<std::string> lines = LoadAddressBook(FileBesideExecutable(kAddressBookEnding));
  if (std::optional<std::string> host = ResolveFirst(lines, destination)) StartSend(*host, destination, -1);
}

void TMainForm::StartScheduledSend(int index) {
  bool exists = index >= 0 && static_cast<std::size_t>(index) < FScheduleEntries.size();
  std::string host = exists ? FScheduleEntries[static_cast<std::size_t>(index)].Destination() : std::string();
  if (!exists || host.empty()) {
    // No attempt starts, so the hand-over ends here.
    if (FScheduledIndex == index) {
      FScheduledIndex = -1;
      FSendingScheduled = false;
    }
    if (!exists) return;
    // A nickname that was not in the address book when the entry was added.
    ShowMessageBox(hwnd(),
                   "予約メッセージのあて先がありません (" +
                       FScheduleEntries[static_cast<std::size_t>(index)].DateTime() +
                       ")。追加したときに通称名がアドレス帳に見つかりませんでした",
                   "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  StartSend(host, host, index);
}

void TMainForm::StartSend(const std::string& host, const std::string& destination, int scheduledIndex) {
  ForgetFinishedSends();
  auto attempt = std::make_unique<SendAttempt>();
  SendAttempt* a = attempt.get();
  a->destination = destination;
  a->scheduledIndex = scheduledIndex;
  a->client = std::make_unique<TcpClient>(TcpClient::Callbacks{
      .onConnect = [this, a](TcpClient&) { Guard([&] { ClientSocket1Connect(*a); }); },
      .onError = [this, a](TcpClient&, SocketErrorKind kind, int& code) { ClientSocket1Error(*a, kind, code); }});
  FSendAttempts.push_back(std::move(attempt));
  a->client->Open(host, ClientPort);
}

void TMainForm::ForgetFinishedSends() {
  for (auto it = FSendAttempts.begin(); it != FSendAttempts.end();) {
    TcpClient& c = *(*it)->client;
    if (c.finished() && !c.inCallback()) {
      it = FSendAttempts.erase(it);
    } else {
      ++it;
    }
  }
}

void TMainForm::ClientSocket1Connect(SendAttempt& attempt) {
  int scheduled = attempt.scheduledIndex;
  const std::string& destination = attempt.destination;
  TcpClient& socket = *attempt.client;
  // The hand-over state names this attempt's entry while it is sent.
  if (scheduled >= 0 && static_cast<std::size_t>(scheduled) >= FScheduleEntries.size()) {
    // The entry is gone (the list was reloaded shorter): send nothing rather
    // than the composer.
    socket.Close();
    PostMessageW(hwnd(), kDeferredMessage, 0, 0);
    return;
  }
  FSendingScheduled = scheduled >= 0;
  FScheduledIndex = scheduled;
  // 1.
  std::string line, logDestination, logText;
  if (FSendingScheduled) {
    TScheduleEntry& e = FScheduleEntries[static_cast<std::size_t>(FScheduledIndex)];
    line = MakeMessageLine(e.FontName(), e.Text(), e.Importance(), e.Width(), e.Height(), e.FontSize(),
                           e.FontStyle(), e.Color(), e.FontColor());
    logDestination = e.Destination();
    logText = e.Text();
    uint8_t wasSent = e.Sent();
    e.SetSent(1);
    try {
      if (FSetupForm) FSetupForm->SaveSchedule();
    } catch (...) {
      // Not written: the entry must not stay marked sent.
      e.SetSent(wasSent);
      FScheduledIndex = -1;
      FSendingScheduled = false;
      throw;
    }
  } else {
    ComposerLook look = ComposerLookNow();
    logText = ComposerLinesText();
    logDestination = destination;
    line = MakeMessageLine(look.fontName, logText, ImportanceTicked() ? "P" : "N", look.width, look.height,
                           look.fontSize, look.fontStyle, look.color, look.fontColor);
  }
  // 2.-3.
  socket.WriteAll(line);
  socket.Close();
  // 4.
  FScheduledIndex = -1;
  FSendingScheduled = false;
  // 5.
  if (FLogOn) AppendLog(true, logDestination, logText);
  // 6.
  ShowMessageBox(hwnd(), "送信しました！", ApplicationTitle(), MB_OK);
  // 7.
  if (FClearAfterSend) SetComposerText("");
  PostMessageW(hwnd(), kDeferredMessage, 0, 0);
}

void TMainForm::ClientSocket1Error(SendAttempt& attempt, SocketErrorKind kind, int& code) {
  int scheduled = attempt.scheduledIndex;
  const std::string& destination = attempt.destination;
  PostMessageW(hwnd(), kDeferredMessage, 0, 0);
  if ((kind == SocketErrorKind::Lookup || kind == SocketErrorKind::Connect) && scheduled >= 0 &&
      FScheduledIndex == scheduled) {
    // The attempt ends here, and with it the hand-over.
    FScheduledIndex = -1;
    FSendingScheduled = false;
  }
  if (kind == SocketErrorKind::Lookup) {
    // Shown by the common error display; the attempt ends here.
    int error = code;
    code = 0;
    ShowErrorMessage(SocketApiErrorText(error, "ASync Lookup"));
    return;
  }
  if (kind == SocketErrorKind::Connect) {
    ShowMessageBox(hwnd(), destination + "さんに起動するようにお願いしてね", "Vello", MB_OK | MB_ICONEXCLAMATION);
  }
  code = 0;
}

void TMainForm::AppendLog(bool sent, const std::string& party, const std::string& text) {
  std::string when = DateTimeText(Now(), UserLocaleTimeFormat());
  std::string entry = sent ? SentLogEntry(when, party, text) : ReceivedLogEntry(when, party, text);
  AppendLogEntry(FileBesideExecutable(kLogEnding), entry);
}

}  // namespace vello
