#pragma once
// The listening side: non-blocking, event driven on the user-interface
// thread. Each accepted connection collects its bytes until the sender
// closes it (one message line per connection), within bounds, because input
// from the network may be cut into pieces, huge, or never finished.
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

struct ServerLimits {
  std::size_t maxLineBytes = 1024 * 1024;  // far above any composer text
  std::size_t maxConnections = 256;         // pending, not yet closed by their senders
  unsigned idleMilliseconds = 10000;        // a silent connection is taken as ended
};

class TcpServer : public Window {
 public:
  struct Callbacks {
    // A whole line has arrived; `peer` is the sender's IPv4 address.
    std::function<void(const std::string& line, const in_addr& peer)> onLine;
    // The platform reported an error on an accepted connection.
    std::function<void(int code)> onConnectionError;
    // A line went over the size bound and was dropped.
    std::function<void(std::size_t bytes)> onOversizedLine;
  };

  explicit TcpServer(Callbacks callbacks, ServerLimits limits = {});
  ~TcpServer() override;

  int port() const { return port_; }
  bool listening() const { return static_cast<bool>(listener_); }
  // Listens on `port` on every interface; the same port again changes
  // nothing, another port closes the old listener first. Throws VelloError.
  void Listen(int port);
  void Stop();
  std::size_t pendingConnections() const { return connections_.size(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Connection {
    UniqueSocket socket;
    std::string bytes;
    in_addr peer{};
    ULONGLONG lastActivity = 0;
  };
  void Accept();
  enum class DrainResult { Open, PeerClosed, TooLarge };
  DrainResult Drain(SOCKET s, Connection& c);
  void Finish(SOCKET s, bool deliver);
  void SweepIdle();

  Callbacks callbacks_;
  ServerLimits limits_;
  UniqueSocket listener_;
  int port_ = 0;
  std::map<SOCKET, Connection> connections_;
};

}  // namespace vello
