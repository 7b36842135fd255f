#pragma once
// The outbox: everything a message to send needs once its destination is
// known. Every send (the composer's, a scheduled one) is an attempt of its
// own; the outbox takes the message as it stands when the connection does,
// checks its size, writes it, waits until the receiver has taken it, logs
// it and tells the user how it went. What it needs of the program around it
// it asks through OutboxHost, so a test drives the whole journey with a
// host of its own.
#include <windows.h>

#include "messaging/message_sender.h"
#include "messaging/send_attempts.h"

namespace vello {

class OutboxHost {
 public:
  // The window the outbox's boxes belong to.
  virtual HWND BoxOwner() const = 0;
  // A message was delivered and its confirmation closed.
  virtual void Delivered() = 0;

 protected:
  ~OutboxHost() = default;
};

class Outbox : public MessageSender {
 public:
  explicit Outbox(OutboxHost& host);
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  SendTicket Send(SendRequest request) override;
  void Cancel(SendTicket ticket) override;

  // The port every copy listens on.
  void SetPort(int port) { attempts_.SetPort(port); }
  int port() const { return attempts_.port(); }
  // Sent messages are logged.
  void SetLogOn(bool on) { logOn_ = on; }
  bool logOn() const { return logOn_; }
  // Closes every connection (the program ends).
  void CloseAll() { attempts_.CloseAll(); }
  // The attempts under way (their timeouts and buffers are set here).
  SendAttempts& attempts() { return attempts_; }

 private:
  void OnConnected(SendAttempt& attempt);
  void OnDelivered(SendAttempt& attempt);
  void OnError(SendAttempt& attempt, SocketErrorKind kind, int& code);
  void TellBrokenOff(const SendAttempt& attempt);
  void Tell(const std::string& text);

  OutboxHost& host_;
  SendAttempts attempts_;
  bool logOn_ = false;
};

}  // namespace vello
