#include "messaging/send_attempts.h"

#include <algorithm>

#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloSendAttempts";

// Reports a failure for an attempt whose handler ended without saying how it
// went (an error shown on the way, for instance).
struct EndAsFailed {
  SendAttempt& attempt;
  bool stillGoing = false;  // the line waits to be taken: not the end yet
  ~EndAsFailed() {
    if (!stillGoing) attempt.End(SendOutcome::Failed);
  }
};
}  // namespace

void SendAttempt::End(SendOutcome outcome) {
  if (ended) return;
  ended = true;
  if (request.ended) request.ended(outcome);
}

SendAttempts::SendAttempts(Handlers handlers) : MessageOnlyWindow(kClassName), handlers_(std::move(handlers)) {}

SendAttempts::~SendAttempts() {
  attempts_.clear();
  Destroy();
}

SendTicket SendAttempts::Start(SendRequest request) {
  ForgetFinished();
  auto attempt = std::make_unique<SendAttempt>();
  SendAttempt* a = attempt.get();
  a->ticket = nextTicket_++;
  a->request = std::move(request);
  a->client = std::make_unique<TcpClient>(TcpClient::Callbacks{
      .onConnect =
          [this, a](TcpClient&) {
            EndAsFailed end{*a};
            Guard([&] { handlers_.onConnect(*a); });
            // A line written now waits to be taken; the attempt goes on.
            end.stillGoing = a->client->sending();
            ForgetLater();
          },
      .onDelivered =
          [this, a](TcpClient&) {
            EndAsFailed end{*a};
            Guard([&] { handlers_.onDelivered(*a); });
            ForgetLater();
          },
      .onError =
          [this, a](TcpClient&, SocketErrorKind kind, int& code) {
            EndAsFailed end{*a};
            ForgetLater();
            handlers_.onError(*a, kind, code);
          }});
  a->client->SetDeliveryTimeout(deliveryTimeoutMs_);
  a->client->SetConnectTimeout(connectTimeoutMs_);
  a->client->SetSendBuffer(sendBufferBytes_);
  a->client->SetSourceAddress(sourceAddress_);
  attempts_.push_back(std::move(attempt));
  a->client->Open(a->request.host, port_);
  return a->ticket;
}

void SendAttempts::Cancel(SendTicket ticket) {
  auto it = std::find_if(attempts_.begin(), attempts_.end(),
                         [ticket](const auto& a) { return a->ticket == ticket; });
  if (it == attempts_.end() || (*it)->ended) return;
  SendAttempt& a = **it;
  a.ended = true;  // nothing more is reported for it
  a.request = {};
  if (a.client->inCallback()) {
    // Inside one of its own handlers (a box it opened): it goes afterwards.
    a.client->Close();
    return;
  }
  attempts_.erase(it);
}

void SendAttempts::CloseAll() {
  for (auto& a : attempts_) a->client->Close();
}

void SendAttempts::ForgetLater() { PostMessageW(window(), kDeferredMessage, 0, 0); }

void SendAttempts::ForgetFinished() {
  std::erase_if(attempts_, [](const std::unique_ptr<SendAttempt>& a) {
    return (a->client->finished() || a->ended) && !a->client->inCallback();
  });
}

LRESULT SendAttempts::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kDeferredMessage) {
    ForgetFinished();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
