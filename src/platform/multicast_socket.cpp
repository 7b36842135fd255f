#include "platform/multicast_socket.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "common/vello_error.h"
#include "platform/socket_error.h"

namespace vello {

namespace {

bool SameAddress(const in_addr& a, const in_addr& b) { return a.s_addr == b.s_addr; }

}  // namespace

MulticastSocket::MulticastSocket() : buffer_(kMaxDatagram) {
  EnsureWinsock();
  event_ = WSACreateEvent();
}

MulticastSocket::~MulticastSocket() {
  Close();
  if (event_) WSACloseEvent(event_);
}

void MulticastSocket::Open(std::uint16_t port, in_addr group, const std::vector<in_addr>& interfaces) {
  Close();
  UniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!s) throw VelloError(SocketApiErrorText(WSAGetLastError(), "socket"));
  auto fail = [](const char* api) { throw VelloError(SocketApiErrorText(WSAGetLastError(), api)); };
  BOOL reuse = TRUE;
  if (setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse) != 0)
    fail("setsockopt");
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(port);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) fail("bind");
  // Multicast DNS packets carry the IP time-to-live 255; our own come
  // back to us, as a second copy on this machine must hear them.
  DWORD ttl = 255, loop = 1;
  setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl);
  setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&loop), sizeof loop);
  if (!event_ || WSAEventSelect(s.get(), event_, FD_READ) != 0) fail("WSAEventSelect");
  socket_ = std::move(s);
  group_ = group;
  port_ = port;
  SetInterfaces(interfaces);
}

void MulticastSocket::SetInterfaces(const std::vector<in_addr>& interfaces) {
  if (!socket_) return;
  std::vector<in_addr> gone;
  for (const in_addr& j : joined_)
    if (std::none_of(interfaces.begin(), interfaces.end(), [&](const in_addr& i) { return SameAddress(i, j); }))
      gone.push_back(j);
  for (const in_addr& g : gone) Leave(g);
  for (const in_addr& i : interfaces)
    if (std::none_of(joined_.begin(), joined_.end(), [&](const in_addr& j) { return SameAddress(i, j); }) && Join(i))
      joined_.push_back(i);
}

bool MulticastSocket::Join(in_addr iface) {
  ip_mreq m{};
  m.imr_multiaddr = group_;
  m.imr_interface = iface;
  return setsockopt(socket_.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m) == 0;
}

void MulticastSocket::Leave(in_addr iface) {
  ip_mreq m{};
  m.imr_multiaddr = group_;
  m.imr_interface = iface;
  setsockopt(socket_.get(), IPPROTO_IP, IP_DROP_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m);
  std::erase_if(joined_, [&](const in_addr& j) { return SameAddress(j, iface); });
}

void MulticastSocket::Close() {
  socket_.reset();
  joined_.clear();
  if (event_) WSAResetEvent(event_);
}

int MulticastSocket::SendToGroup(std::string_view bytes) {
  if (!socket_) return 0;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr = group_;
  int sent = 0;
  for (const in_addr& iface : joined_) {
    if (setsockopt(socket_.get(), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&iface),
                   sizeof iface) != 0)
      continue;
    if (SendTo(bytes, to)) ++sent;
  }
  return sent;
}

bool MulticastSocket::SendTo(std::string_view bytes, const sockaddr_in& to) {
  if (!socket_) return false;
  return sendto(socket_.get(), bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                sizeof to) == static_cast<int>(bytes.size());
}

bool MulticastSocket::ReadSome(int most, const DatagramHandler& handler) {
  for (int i = 0; i < most && socket_; ++i) {
    sockaddr_in from{};
    int fromLength = sizeof from;
    int n = recvfrom(socket_.get(), buffer_.data(), static_cast<int>(buffer_.size()), 0,
                     reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
      int error = WSAGetLastError();
      // Too long, or an earlier send's "port unreachable": skip it.
      if (error == WSAEMSGSIZE || error == WSAECONNRESET) continue;
      return false;  // WSAEWOULDBLOCK: nothing more for now
    }
    handler(std::string_view(buffer_.data(), static_cast<std::size_t>(n)), from);
  }
  return static_cast<bool>(socket_);
}

}  // namespace vello
