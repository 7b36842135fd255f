#include "messaging/outbox.h"

#include "common/file_paths.h"
#include "messaging/log_date_time.h"
#include "messaging/log_entry.h"
#include "messaging/message_line.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/socket_error.h"

namespace vello {

Outbox::Outbox(OutboxHost& host)
    : host_(host),
      attempts_(SendAttempts::Handlers{
          .onConnect = [this](SendAttempt& a) { OnConnected(a); },
          .onDelivered = [this](SendAttempt& a) { OnDelivered(a); },
          .onError = [this](SendAttempt& a, SocketErrorKind kind, int& code) { OnError(a, kind, code); }}) {}

SendTicket Outbox::Send(SendRequest request) { return attempts_.Start(std::move(request)); }

void Outbox::Cancel(SendTicket ticket) { attempts_.Cancel(ticket); }

void Outbox::Tell(const std::string& text) {
  ShowMessageBox(host_.BoxOwner(), text, "Vello", MB_OK | MB_ICONEXCLAMATION);
}

void Outbox::OnConnected(SendAttempt& attempt) {
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
    Tell("メッセージが長すぎて送れません (" + std::to_string(line.size()) + " バイト、送れるのは " +
         std::to_string(kMaxMessageLineBytes) + " バイトまで)");
    return;
  }
  // A line that did not go out whole is not sent: no log, no
  // confirmation. One that did is sent once the receiver has taken it.
  if (!socket.Send(std::move(line))) {
    socket.Close();
    attempt.End(SendOutcome::Failed);
    TellBrokenOff(attempt);
    return;
  }
  attempt.written = message->text;
}

void Outbox::OnDelivered(SendAttempt& attempt) {
  attempt.End(SendOutcome::Sent);
  // Logged, confirmed, and then the program's own follow-up (the composer
  // cleared if the user asked for that).
  if (logOn_)
    AppendLogEntry(FileBesideExecutable(kLogEnding),
                   SentLogEntry(LogDateTimeNow(), attempt.request.destination, attempt.written.value_or("")));
  ShowMessageBox(host_.BoxOwner(), "送信しました！", ApplicationTitle(), MB_OK);
  host_.Delivered();
}

void Outbox::TellBrokenOff(const SendAttempt& attempt) {
  Tell(attempt.request.destination + "さんへの送信が途中で切れました。メッセージは届いていません");
}

void Outbox::OnError(SendAttempt& attempt, SocketErrorKind kind, int& code) {
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
      Tell(attempt.request.destination +
           "さんが受け取ったか確かめられませんでした。メッセージは届いていないかもしれません");
    else
      TellBrokenOff(attempt);
    return;
  }
  if (kind == SocketErrorKind::Connect) Tell(attempt.request.destination + "さんに起動するようにお願いしてね");
  code = 0;
}

}  // namespace vello
