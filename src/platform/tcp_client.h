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
    // After Send: the receiver has closed its end, so it has read the whole
    // line.
    std::function<void(TcpClient&)> onDelivered;
    // `code` may be set to 0 by the handler: then nothing more is reported.
    std::function<void(TcpClient&, SocketErrorKind, int& code)> onError;
  };
  // How long a receiver may take to read the whole line and close its end,
  // counted from the line's first byte.
  static constexpr unsigned kDeliveryTimeoutMs = 10000;
  void SetDeliveryTimeout(unsigned ms) { deliveryTimeoutMs_ = ms; }
  // How long the connection may take to stand. Windows gives up after about
  // 21 s by itself, Linux (under Wine) only after about two minutes: the
  // program's own limit makes both tell the user alike.
  static constexpr unsigned kConnectTimeoutMs = 20000;
  void SetConnectTimeout(unsigned ms) { connectTimeoutMs_ = ms; }
  // The system's send buffer for the connection (0: the system's own
  // choice). Tests make it small, so that a long line outlasts what the
  // system takes at once.
  void SetSendBuffer(int bytes) { sendBufferBytes_ = bytes; }
  // The local address the connection is made from (INADDR_ANY: the
  // system's choice). Tests and benchmarks only: a receiver keeps a share
  // per sender address, so many senders in one process need one each.
  void SetSourceAddress(in_addr address) { sourceAddress_ = address; }

  explicit TcpClient(Callbacks callbacks);
  ~TcpClient() override;

  const std::string& host() const { return host_; }
  int port() const { return port_; }
  bool active() const { return lookupPending_ || static_cast<bool>(socket_); }
  // The attempt has ended (connected and closed, delivered, or failed).
  bool finished() const { return finished_; }
  // A line is being written, or waits for the receiver to close its end.
  bool sending() const { return writing_ || awaitingDelivery_; }
  // Every byte of the line has gone to the system (the receiver may still
  // not have read it). Kept after the connection closes.
  bool wholeLineWritten() const { return wholeLineWritten_; }
  // A handler of this attempt is running (it may be inside a modal box).
  bool inCallback() const { return callbackDepth_ > 0; }

  // Hands the host text to the system's look-up, then connects.
  void Open(const std::string& host, int port);
  // Sends the line and then nothing more (the receiver sees its end). The
  // line goes out as fast as the receiver reads it, in writes that never
  // wait, so a receiver that does not read cannot hold this thread. The
  // connection stays open until the receiver closes its end (onDelivered),
  // resets it or lets the delivery time-out pass (onError, kind Send, with
  // WSAETIMEDOUT). False, with nothing reported, when the first write fails.
  bool Send(std::string line);
  void Close();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Fail(SocketErrorKind kind, int code);
  void Connect(const HostAddress& found);
  void Delivered();
  // Writes what the system takes now; once the line is out, waits for the
  // receiver. False when a write failed (its error in `failure`).
  bool WriteSome(int& failure);
  void HandleWritingEvent(int error);

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
  std::string line_;
  std::size_t writtenBytes_ = 0;
  bool writing_ = false;
  bool wholeLineWritten_ = false;
  bool awaitingDelivery_ = false;
  unsigned deliveryTimeoutMs_ = kDeliveryTimeoutMs;
  unsigned connectTimeoutMs_ = kConnectTimeoutMs;
  bool connecting_ = false;
  int sendBufferBytes_ = 0;
  in_addr sourceAddress_{};
  ULONGLONG deliveryDeadline_ = 0;
  int callbackDepth_ = 0;
};

}  // namespace vello
