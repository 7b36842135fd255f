#pragma once
// The listening side: non-blocking, event driven on the user-interface
// thread. Each accepted connection collects its bytes until the sender
// closes it (one message line per connection), within bounds, because input
// from the network may be cut into pieces, huge, never finished, or come
// from one host that tries to crowd out the others.
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/timing_points.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

struct ServerLimits {
  std::size_t maxLineBytes = 1024 * 1024;
  // Connections read at once, in all and from one address. No address gets
  // more of the turns than are left free for the others (FairShareAllows).
  std::size_t maxConnections = 256;
  std::size_t maxPerPeer = 8;
  // Accepted beyond those, waiting unread for a turn of their address, in
  // all and from one address, shared the same way. (A waiting one whose
  // sender has closed is read at once where the system says so while its
  // bytes wait unread; Wine says so only once they are read.) A
  // connection beyond these is refused: reset as soon as it is accepted,
  // so that what waits in the system's queue behind it, another sender's
  // line, is taken.
  std::size_t maxWaiting = 1024;
  std::size_t maxWaitingPerPeer = 64;
  unsigned idleMilliseconds = 10000;   // a silent connection is taken as ended
  unsigned totalMilliseconds = 30000;  // from its accepting: a trickle cannot hold on for ever
};

// The answer to a line delivered: a line taken is answered by closing the
// connection in order, so its sender learns it has arrived; a line not
// taken (also one whose handler throws) by a reset, so its sender learns it
// has not.
class LineReceipt {
 public:
  explicit LineReceipt(UniqueSocket& socket) : socket_(socket) {}
  LineReceipt(const LineReceipt&) = delete;
  LineReceipt& operator=(const LineReceipt&) = delete;
  // Closes the connection in order now, whatever the handler does next.
  void Take();
  bool taken() const { return taken_; }

 private:
  UniqueSocket& socket_;
  bool taken_ = false;
};

class TcpServer : public Window {
 public:
  struct Callbacks {
    // A whole line has arrived; `peer` is the sender's IPv4 address. Unless
    // the handler takes it (`receipt`), the connection is reset. What the
    // handler throws goes to the common error display as an error from the
    // network, once the connection is reset.
    std::function<void(const std::string& line, const in_addr& peer, LineReceipt& receipt)> onLine;
    // Whether what a sender wrote before it reset its connection is a whole
    // line nonetheless, to be delivered; without it such bytes are dropped.
    std::function<bool(const std::string& bytes)> isWholeLine;
    // The platform reported an error on an accepted connection (other than
    // the sender resetting or aborting it, which ends it quietly).
    std::function<void(int code)> onConnectionError;
    // A line went over the size bound and was refused.
    std::function<void(std::size_t bytes)> onOversizedLine;
    // A connection from `peer` was accepted; its line is still to come.
    std::function<void(const in_addr& peer)> onAccepted;
  };

  explicit TcpServer(Callbacks callbacks, ServerLimits limits = {});
  ~TcpServer() override;

  int port() const { return port_; }
  bool listening() const { return static_cast<bool>(listener_); }
  // Listens on `port` on every interface; the same port again changes
  // nothing. Another port is bound before the old listener closes, so a
  // port that cannot be had leaves the old one listening. Throws VelloError.
  void Listen(int port);
  void Stop();
  // Connections accepted and not yet ended, read or waiting.
  std::size_t pendingConnections() const { return connections_.size(); }
  std::size_t readingConnections() const { return reading_; }
  std::size_t waitingConnections() const { return waiting_; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Connection {
    UniqueSocket socket;
    std::string bytes;
    in_addr peer{};
    ULONGLONG accepted = 0;
    ULONGLONG lastActivity = 0;
    bool reading = false;
    bool waiting = false;  // for a turn of its address
    VELLO_TIMING_ONLY(double acceptedAt = 0;)
  };
  enum class DrainResult { Open, PeerClosed, Reset, TooLarge };
  // How a connection ends: its line handed on, refused with a reset, or
  // dropped quietly (its sender is gone).
  enum class Ending { Deliver, Refuse, Drop };
  // What one address holds.
  struct PeerShare {
    std::size_t reading = 0;
    std::size_t waiting = 0;
  };

  void OnSocketEvent(SOCKET s, int event, int error);
  void Accept();
  bool MayRead(const in_addr& peer) const;
  bool MayWait(const in_addr& peer) const;
  void StartReading(SOCKET s, Connection& c);
  // Waiting connections whose peer has a free turn start reading.
  void PromoteWaiting();
  // Promotes and accepts after the current event, once however many end.
  void RefillLater();
  // Whether `bytes` make a whole line (the callback's say; none: never).
  bool IsWhole(const std::string& bytes) const;
  DrainResult Drain(SOCKET s, Connection& c);
  // Reads what is there and ends the connection if its sender has.
  void Read(SOCKET s);
  // Ends a connection that reads as reset: what arrived before is delivered
  // when it is a whole line, dropped otherwise.
  void EndReset(SOCKET s);
  // Ends a connection whose line went over the size bound: reset, and said.
  void RefuseOversized(SOCKET s);
  void Finish(SOCKET s, Ending ending);
  void Sweep();

  Callbacks callbacks_;
  ServerLimits limits_;
  UniqueSocket listener_;
  int port_ = 0;
  std::map<SOCKET, Connection> connections_;
  std::map<uint32_t, PeerShare> peers_;
  std::size_t reading_ = 0;
  std::size_t waiting_ = 0;
  bool acceptFailed_ = false;  // the last accept failed other than for an empty queue
  bool refillPosted_ = false;
  // The sweep timer runs while connections are open, and stops at a tick
  // that finds none: setting and killing it for every connection would
  // cost two calls to the system per message.
  bool sweeping_ = false;
};

}  // namespace vello
