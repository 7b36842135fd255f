#pragma once
// One outgoing connection attempt: the system's host-name look-up, run off
// the user-interface thread, then a non-blocking connect, with events on the
// user-interface thread. Every send is an attempt of its own, so a second send started while
// the first is still resolving or connecting neither loses nor mixes them.
#include <winsock2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/background_work.h"
#include "platform/name_lookup.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

enum class SocketErrorKind { General, Send, Receive, Connect, Disconnect, Accept, Lookup };

class TcpClient : public Window {
 public:
  struct Callbacks {
    std::function<void(TcpClient&)> onConnect;
    // After FinishSending: the receiver has closed its end, so it has read
    // everything written.
    std::function<void(TcpClient&)> onDelivered;
    // `code` may be set to 0 by the handler: then nothing more is reported.
    std::function<void(TcpClient&, SocketErrorKind, int& code)> onError;
  };
  // How long a receiver may take to close its end after the last byte.
  static constexpr unsigned kDeliveryTimeoutMs = 10000;
  void SetDeliveryTimeout(unsigned ms) { deliveryTimeoutMs_ = ms; }

  explicit TcpClient(Callbacks callbacks);
  ~TcpClient() override;

  const std::string& host() const { return host_; }
  int port() const { return port_; }
  bool active() const { return lookupPending_ || static_cast<bool>(socket_); }
  // The attempt has ended (connected and closed, delivered, or failed).
  bool finished() const { return finished_; }
  // Written and waiting for the receiver to close its end.
  bool awaitingDelivery() const { return awaitingDelivery_; }
  // A handler of this attempt is running (it may be inside a modal box).
  bool inCallback() const { return callbackDepth_ > 0; }

  // Hands the host text to the system's look-up, then connects.
  void Open(const std::string& host, int port);
  // Writes every byte, however many writes the socket needs (bounded in time).
  bool WriteAll(const std::string& bytes);
  // Nothing more to send (the receiver sees the end of the line). The
  // connection stays open until the receiver closes its end (onDelivered),
  // resets it or lets the delivery time-out pass (onError, kind Send, with
  // WSAETIMEDOUT).
  void FinishSending();
  void Close();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Fail(SocketErrorKind kind, int code);
  void Connect(const HostAddress& found);
  void Delivered();

  Callbacks callbacks_;
  std::string host_;
  int port_ = 0;
  // The look-up's thread writes only into what it owns; a result that comes
  // after Close, or after this object is gone, is dropped.
  BackgroundWork lookups_{1};
  bool lookupPending_ = false;
  unsigned lookupNumber_ = 0;
  UniqueSocket socket_;
  bool finished_ = false;
  bool awaitingDelivery_ = false;
  unsigned deliveryTimeoutMs_ = kDeliveryTimeoutMs;
  ULONGLONG deliveryDeadline_ = 0;
  int callbackDepth_ = 0;
};

}  // namespace vello
