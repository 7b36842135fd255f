// Sending: the one way a message leaves, for the composer's send and the
// scheduler alike: resolve, connect, and when the connection stands build
// the line, write it, close, log, confirm and clear.
#include "app/main_form.h"
#include "common/file_paths.h"
#include "messaging/log_date_time.h"
#include "messaging/log_entry.h"
#include "messaging/message_line.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/socket_error.h"
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
  Send(std::move(request));
}

SendTicket TMainForm::Send(SendRequest request) { return ClientSocket1().Start(std::move(request)); }

void TMainForm::Cancel(SendTicket ticket) { ClientSocket1().Cancel(ticket); }

void TMainForm::ClientSocket1Connect(SendAttempt& attempt) {
  TcpClient& socket = *attempt.client;
  // The message as it is now; a scheduled entry is marked sent (and that
  // saved) before anything is written.
  std::optional<OutgoingMessage> message = attempt.request.compose();
  if (!message) {
    socket.Close();
    attempt.End(SendOutcome::Dropped);
    return;
  }
  std::string line = MakeMessageLine(message->look, message->text, message->importance);
  if (line.size() > kMaxMessageLineBytes) {
    socket.Close();
    attempt.End(SendOutcome::Failed);
    ShowMessageBox(hwnd(),
                   "メッセージが長すぎて送れません (" + std::to_string(line.size()) + " バイト、送れるのは " +
                       std::to_string(kMaxMessageLineBytes) + " バイトまで)",
                   "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // A line that did not go out whole is not sent: no log, no
  // confirmation. One that did is sent once the receiver has taken it.
  if (!socket.Send(std::move(line))) {
    socket.Close();
    attempt.End(SendOutcome::Failed);
    ShowBrokenOff(attempt);
    return;
  }
  attempt.written = message->text;
}

void TMainForm::ClientSocket1Delivered(SendAttempt& attempt) {
  // The attempt has ended.
  attempt.End(SendOutcome::Sent);
  // Logged, confirmed, and the composer cleared if the user asked for that.
  if (FLogOn) AppendLog(true, attempt.request.destination, attempt.written.value_or(""));
  ShowMessageBox(hwnd(), "送信しました！", ApplicationTitle(), MB_OK);
  if (FClearAfterSend) FComposer.SetText("");
}

void TMainForm::ShowBrokenOff(const SendAttempt& attempt) {
  ShowMessageBox(hwnd(), attempt.request.destination + "さんへの送信が途中で切れました。メッセージは届いていません",
                 "Vello", MB_OK | MB_ICONEXCLAMATION);
}

void TMainForm::ClientSocket1Error(SendAttempt& attempt, SocketErrorKind kind, int& code) {
  if (kind == SocketErrorKind::Lookup) {
    // Shown by the common error display; the attempt ends here.
    int error = code;
    code = 0;
    ShowErrorMessage(SocketApiErrorText(error, "ASync Lookup"));
    return;
  }
  if (attempt.written) {
    // The receiver reset the connection, stopped reading the line, or never
    // said it took it: only the last leaves room for doubt.
    bool unanswered = code == WSAETIMEDOUT && attempt.client->wholeLineWritten();
    code = 0;
    attempt.End(SendOutcome::Failed);
    if (unanswered)
      ShowMessageBox(hwnd(),
                     attempt.request.destination +
                         "さんが受け取ったか確かめられませんでした。メッセージは届いていないかもしれません",
                     "Vello", MB_OK | MB_ICONEXCLAMATION);
    else
      ShowBrokenOff(attempt);
    return;
  }
  if (kind == SocketErrorKind::Connect) {
    ShowMessageBox(hwnd(), attempt.request.destination + "さんに起動するようにお願いしてね", "Vello",
                   MB_OK | MB_ICONEXCLAMATION);
  }
  code = 0;
}

void TMainForm::AppendLog(bool sent, const std::string& party, const std::string& text) {
  std::string when = LogDateTimeNow();
  std::string entry = sent ? SentLogEntry(when, party, text) : ReceivedLogEntry(when, party, text);
  AppendLogEntry(FileBesideExecutable(kLogEnding), entry);
}

}  // namespace vello
