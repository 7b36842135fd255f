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
  std::size_t maxConnections = 256;  // read at once
  std::size_t maxPerPeer = 8;        // read at once from one address
  // Accepted beyond those, waiting unread for their turn (a waiting one whose
  // sender has closed is read at once: its line is complete); beyond this
  // too they wait in the system's queue.
  std::size_t maxWaiting = 1024;
  unsigned idleMilliseconds = 10000;   // a silent connection is taken as ended
  unsigned totalMilliseconds = 30000;  // from its accepting: a trickle cannot hold on for ever
};

class TcpServer : public Window {
 public:
  struct Callbacks {
    // A whole line has arrived; `peer` is the sender's IPv4 address.
    std::function<void(const std::string& line, const in_addr& peer)> onLine;
    // The platform reported an error on an accepted connection (other than
    // the sender resetting or aborting it, which is dropped quietly).
    std::function<void(int code)> onConnectionError;
    // A line went over the size bound and was dropped.
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

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Connection {
    UniqueSocket socket;
    std::string bytes;
    in_addr peer{};
    ULONGLONG accepted = 0;
    ULONGLONG lastActivity = 0;
    bool reading = false;  // false: waiting for its peer's turn
    VELLO_TIMING_ONLY(double acceptedAt = 0;)
  };
  enum class DrainResult { Open, PeerClosed, Reset, TooLarge };

  void Accept();
  bool MayRead(const in_addr& peer) const;
  void StartReading(SOCKET s, Connection& c);
  // Waiting connections whose peer has a free turn start reading.
  void PromoteWaiting();
  // Promotes and accepts after the current event, once however many end.
  void RefillLater();
  DrainResult Drain(SOCKET s, Connection& c);
  // Reads what is there and ends the connection if its sender has.
  void Read(SOCKET s);
  void Finish(SOCKET s, bool deliver);
  void Sweep();

  Callbacks callbacks_;
  ServerLimits limits_;
  UniqueSocket listener_;
  int port_ = 0;
  std::map<SOCKET, Connection> connections_;
  std::map<uint32_t, std::size_t> readingByPeer_;
  std::size_t reading_ = 0;
  bool refillPosted_ = false;
  // The sweep timer runs while connections are open, and stops at a tick
  // that finds none: setting and killing it for every connection would
  // cost two calls to the system per message.
  bool sweeping_ = false;
};

}  // namespace vello
