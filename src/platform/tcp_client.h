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
    // `code` may be set to 0 by the handler: then nothing more is reported.
    std::function<void(TcpClient&, SocketErrorKind, int& code)> onError;
  };

  explicit TcpClient(Callbacks callbacks);
  ~TcpClient() override;

  const std::string& host() const { return host_; }
  int port() const { return port_; }
  bool active() const { return lookupPending_ || static_cast<bool>(socket_); }
  // The attempt has ended (connected and closed, or failed).
  bool finished() const { return finished_; }
  // A handler of this attempt is running (it may be inside a modal box).
  bool inCallback() const { return callbackDepth_ > 0; }

  // Hands the host text to the system's look-up, then connects.
  void Open(const std::string& host, int port);
  // Writes every byte, however many writes the socket needs (bounded in time).
  bool WriteAll(const std::string& bytes);
  void Close();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Fail(SocketErrorKind kind, int code);
  void Connect(const HostAddress& found);

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
  int callbackDepth_ = 0;
};

}  // namespace vello
