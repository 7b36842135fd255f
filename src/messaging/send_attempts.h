#pragma once
// The outgoing connections: every send is an attempt of its own, with its
// own connection, so a second send started while the first is still
// resolving or connecting neither loses nor mixes them. The outbox's
// handlers decide what happens when an attempt connects or fails.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/message_sender.h"
#include "platform/tcp_client.h"
#include "platform/window.h"

namespace vello {

struct SendAttempt {
  SendTicket ticket = 0;
  SendRequest request;
  std::unique_ptr<TcpClient> client;
  bool ended = false;
  // The text of the line once it is being written (for the log).
  std::optional<std::string> written;

  // Reports the end once; later calls change nothing.
  void End(SendOutcome outcome);
};

class SendAttempts : public MessageOnlyWindow {
 public:
  struct Handlers {
    std::function<void(SendAttempt&)> onConnect;
    // The receiver has taken the whole line.
    std::function<void(SendAttempt&)> onDelivered;
    // `code` may be set to 0 by the handler: then nothing more is reported.
    std::function<void(SendAttempt&, SocketErrorKind, int& code)> onError;
  };

  explicit SendAttempts(Handlers handlers);
  ~SendAttempts() override;

  // The port every attempt connects to.
  int port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  // How long a receiver may take to read the whole line and close its end.
  void SetDeliveryTimeout(unsigned ms) { deliveryTimeoutMs_ = ms; }
  // How long a connection may take to stand.
  void SetConnectTimeout(unsigned ms) { connectTimeoutMs_ = ms; }
  // Each connection's send buffer (0: the system's choice); for tests.
  void SetSendBuffer(int bytes) { sendBufferBytes_ = bytes; }
  // The local address every connection is made from (INADDR_ANY: the
  // system's choice); for tests and benchmarks that play many senders.
  void SetSourceAddress(in_addr address) { sourceAddress_ = address; }

  SendTicket Start(SendRequest request);
  void Cancel(SendTicket ticket);
  // Closes every connection (the program ends).
  void CloseAll();
  // Attempts not yet forgotten (those still under way among them).
  std::size_t size() const { return attempts_.size(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ForgetFinished();
  void ForgetLater();

  Handlers handlers_;
  int port_ = 0;
  unsigned deliveryTimeoutMs_ = TcpClient::kDeliveryTimeoutMs;
  unsigned connectTimeoutMs_ = TcpClient::kConnectTimeoutMs;
  int sendBufferBytes_ = 0;
  in_addr sourceAddress_{};
  SendTicket nextTicket_ = 1;
  std::vector<std::unique_ptr<SendAttempt>> attempts_;
};

}  // namespace vello
