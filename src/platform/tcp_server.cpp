#include "platform/tcp_server.h"

#include "common/vello_error.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
constexpr UINT_PTR kIdleTimer = 1;
const wchar_t kClassName[] = L"VelloTcpServer";
}  // namespace

TcpServer::TcpServer(Callbacks callbacks, ServerLimits limits) : callbacks_(std::move(callbacks)), limits_(limits) {
  EnsureWinsock();
  RegisterClassOnce(kClassName);
  Create({.className = kClassName, .style = 0, .parent = HWND_MESSAGE});
}

TcpServer::~TcpServer() {
  Stop();
  Destroy();
}

void TcpServer::Listen(int port) {
  if (listening() && port == port_) return;
  Stop();
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s) throw VelloError(SocketApiErrorText(WSAGetLastError(), "socket"));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  auto fail = [](const char* api) { throw VelloError(SocketApiErrorText(WSAGetLastError(), api)); };
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) fail("bind");
  if (listen(s.get(), SOMAXCONN) == SOCKET_ERROR) fail("listen");
  if (WSAAsyncSelect(s.get(), hwnd(), kSocketEventMessage, FD_ACCEPT) == SOCKET_ERROR) fail("WSAAsyncSelect");
  listener_ = std::move(s);
  port_ = port;
}

void TcpServer::Stop() {
  listener_.reset();
  connections_.clear();
  if (hwnd()) KillTimer(hwnd(), kIdleTimer);
}

LRESULT TcpServer::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kIdleTimer) {
    SweepIdle();
    return 0;
  }
  if (msg != kSocketEventMessage) return Default(msg, wp, lp);
  SOCKET s = static_cast<SOCKET>(wp);
  int event = WSAGETSELECTEVENT(lp);
  int error = WSAGETSELECTERROR(lp);
  if (s == listener_.get()) {
    if (event == FD_ACCEPT && error == 0) Accept();
    return 0;
  }
  auto it = connections_.find(s);
  if (it == connections_.end()) return 0;  // already finished
  if (error != 0) {
    Finish(s, false);
    if (callbacks_.onConnectionError) callbacks_.onConnectionError(error);
    return 0;
  }
  if (event == FD_READ || event == FD_CLOSE) {
    DrainResult drained = Drain(s, it->second);
    if (drained == DrainResult::TooLarge) {
      std::size_t size = it->second.bytes.size();
      Finish(s, false);
      if (callbacks_.onOversizedLine) callbacks_.onOversizedLine(size);
      return 0;
    }
    // The socket itself says whether the sender has closed: a close event
    // left in the queue by an earlier connection whose socket number the
    // system has reused must not cut this one short.
    if (event == FD_CLOSE && drained == DrainResult::PeerClosed) Finish(s, true);
  }
  return 0;
}

void TcpServer::Accept() {
  // At the bound, further connections wait in the system's queue, unread,
  // until a pending one finishes (Finish accepts again); accepting and
  // closing them would lose the messages of a burst of honest senders.
  while (listener_ && connections_.size() < limits_.maxConnections) {
    sockaddr_in peer{};
    int len = sizeof peer;
    UniqueSocket s(accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &len));
    if (!s) return;
    WSAAsyncSelect(s.get(), hwnd(), kSocketEventMessage, FD_READ | FD_CLOSE);
    Connection& c = connections_[s.get()];
    c.socket = std::move(s);
    c.peer = peer.sin_addr;
    c.lastActivity = GetTickCount64();
    SetTimer(hwnd(), kIdleTimer, 1000, nullptr);
  }
}

TcpServer::DrainResult TcpServer::Drain(SOCKET s, Connection& c) {
  char buffer[16384];
  for (;;) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n == 0) return DrainResult::PeerClosed;
    if (n < 0) return WSAGetLastError() == WSAEWOULDBLOCK ? DrainResult::Open : DrainResult::PeerClosed;
    c.lastActivity = GetTickCount64();
    if (c.bytes.size() + static_cast<std::size_t>(n) > limits_.maxLineBytes) {
      c.bytes.resize(c.bytes.size() + static_cast<std::size_t>(n));  // only the size is reported
      return DrainResult::TooLarge;
    }
    c.bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

void TcpServer::Finish(SOCKET s, bool deliver) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  Connection c = std::move(it->second);
  bool wasFull = connections_.size() >= limits_.maxConnections;
  connections_.erase(it);
  c.socket.reset();
  if (connections_.empty()) KillTimer(hwnd(), kIdleTimer);
  if (wasFull) Accept();  // no accept event comes for those already waiting
  if (deliver && !c.bytes.empty() && callbacks_.onLine) callbacks_.onLine(c.bytes, c.peer);
}

void TcpServer::SweepIdle() {
  ULONGLONG now = GetTickCount64();
  std::vector<SOCKET> idle;
  for (auto& [s, c] : connections_)
    if (now - c.lastActivity >= limits_.idleMilliseconds) idle.push_back(s);
  // A sender that wrote and then went silent without closing: what arrived
  // is taken as its line, as a reader of one notification would have.
  for (SOCKET s : idle) {
    auto it = connections_.find(s);
    if (it == connections_.end()) continue;
    Drain(s, it->second);
    Finish(s, true);
  }
}

}  // namespace vello
