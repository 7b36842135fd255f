#pragma once
// A UDP socket joined to a multicast group on chosen IPv4 interfaces,
// non-blocking. It belongs to one thread at a time: opened where its
// errors can be told, then read and written by the thread that waits on
// readEvent(). The port is shared with every other program that listens
// on it (SO_REUSEADDR), as multicast DNS expects: Windows 10/11's own
// responder already holds 5353, and so may a Linux desktop's under Wine.
// Each datagram sent to the group goes out once on every joined interface.
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/unique_handle.h"

namespace vello {

class MulticastSocket {
 public:
  using DatagramHandler = std::function<void(std::string_view bytes, const sockaddr_in& from)>;
  // The largest datagram taken; anything longer is dropped.
  static constexpr int kMaxDatagram = 9000;

  MulticastSocket();
  ~MulticastSocket();
  MulticastSocket(const MulticastSocket&) = delete;
  MulticastSocket& operator=(const MulticastSocket&) = delete;

  // Binds the port on every address, shared, and joins `group` on each
  // interface (by its IPv4 address). Throws VelloError when the socket
  // cannot be had; an interface that refuses to join is left out.
  void Open(std::uint16_t port, in_addr group, const std::vector<in_addr>& interfaces);
  // Joins interfaces newly listed and leaves those no longer listed.
  void SetInterfaces(const std::vector<in_addr>& interfaces);
  void Close();

  bool open() const { return static_cast<bool>(socket_); }
  const std::vector<in_addr>& joined() const { return joined_; }
  // Signalled while datagrams wait to be read.
  HANDLE readEvent() const { return event_; }
  // Hands up to `most` waiting datagrams to `handler`; returns whether
  // more may be waiting.
  bool ReadSome(int most, const DatagramHandler& handler);
  // Sends to the group once on each joined interface; returns on how many
  // it went out. A full send buffer drops the datagram, as UDP may.
  int SendToGroup(std::string_view bytes);
  bool SendTo(std::string_view bytes, const sockaddr_in& to);

 private:
  bool Join(in_addr iface);
  void Leave(in_addr iface);

  UniqueSocket socket_;
  HANDLE event_ = nullptr;
  in_addr group_{};
  std::uint16_t port_ = 0;
  std::vector<in_addr> joined_;
  std::vector<char> buffer_;
};

}  // namespace vello
