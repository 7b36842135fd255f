#include "platform/tcp_server.h"

#include <vector>

#include "common/vello_error.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
constexpr UINT_PTR kSweepTimer = 1;
constexpr int kAcceptsPerTurn = 32;
const wchar_t kClassName[] = L"VelloTcpServer";

uint32_t KeyOf(const in_addr& a) { return a.s_addr; }

// Whether a connection that reads as closed was reset by its sender. Windows
// says so at the read already; Wine reports a reset like an orderly close,
// but a send of no bytes (nothing goes on the wire) still fails on a reset
// connection, while the sender's orderly close leaves this side open.
bool WasReset(SOCKET s) {
  if (send(s, "", 0, 0) == 0) return false;
  int error = WSAGetLastError();
  return error == WSAECONNRESET || error == WSAECONNABORTED;
}
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
  // Only now the old listener goes; connections already accepted stay.
  listener_ = std::move(s);
  port_ = port;
}

void TcpServer::Stop() {
  listener_.reset();
  connections_.clear();
  readingByPeer_.clear();
  reading_ = 0;
  if (hwnd()) KillTimer(hwnd(), kSweepTimer);
  sweeping_ = false;
}

LRESULT TcpServer::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kSweepTimer) {
    Sweep();
    return 0;
  }
  if (msg == kDeferredMessage) {
    refillPosted_ = false;
    PromoteWaiting();
    Accept();
    return 0;
  }
  if (msg != kSocketEventMessage) return Default(msg, wp, lp);
  SOCKET s = static_cast<SOCKET>(wp);
  int event = WSAGETSELECTEVENT(lp);
  int error = WSAGETSELECTERROR(lp);
  if (listener_ && s == listener_.get()) {
    if (event == FD_ACCEPT && error == 0) Accept();
    return 0;
  }
  auto it = connections_.find(s);
  if (it == connections_.end()) return 0;  // ended: a stale event
  if (error != 0) {
    Finish(s, false);
    // A sender that resets or aborts its connection has said all it will.
    if (error != WSAECONNRESET && error != WSAECONNABORTED && callbacks_.onConnectionError)
      callbacks_.onConnectionError(error);
    return 0;
  }
  // A waiting connection is read only once its sender has closed it: a line
  // that is complete costs no turn.
  if (event == FD_CLOSE || (event == FD_READ && it->second.reading)) Read(s);
  return 0;
}

bool TcpServer::MayRead(const in_addr& peer) const {
  if (reading_ >= limits_.maxConnections) return false;
  auto it = readingByPeer_.find(KeyOf(peer));
  return it == readingByPeer_.end() || it->second < limits_.maxPerPeer;
}

void TcpServer::StartReading(SOCKET s, Connection& c) {
  c.reading = true;
  c.lastActivity = GetTickCount64();
  ++reading_;
  ++readingByPeer_[KeyOf(c.peer)];
  WSAAsyncSelect(s, hwnd(), kSocketEventMessage, FD_READ | FD_CLOSE);
}

void TcpServer::Accept() {
  // One host cannot take every turn: beyond its share its connections are
  // accepted and wait, unread, while other hosts' connections are read.
  // Beyond all bounds they wait in the system's queue until something ends
  // (Finish accepts again): nothing an honest sender writes is refused.
  // A few at a time, the rest on a later turn: each accept is a round trip
  // to the system, and hundreds at once would keep the window from answering.
  for (int taken = 0; listener_ && connections_.size() < limits_.maxConnections + limits_.maxWaiting; ++taken) {
    if (taken == kAcceptsPerTurn) {
      RefillLater();
      break;
    }
    sockaddr_in peer{};
    int len = sizeof peer;
    UniqueSocket accepted(accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &len));
    if (!accepted) break;
    SOCKET s = accepted.get();
    Connection& c = connections_[s];
    c.socket = std::move(accepted);
    c.peer = peer.sin_addr;
    c.accepted = c.lastActivity = GetTickCount64();
    VELLO_TIMING_ONLY(c.acceptedAt = timing::Now();)
    if (MayRead(c.peer))
      StartReading(s, c);
    else
      WSAAsyncSelect(s, hwnd(), kSocketEventMessage, FD_CLOSE);  // unread until its sender closes
    if (callbacks_.onAccepted) callbacks_.onAccepted(c.peer);
  }
  if (!connections_.empty() && !sweeping_) sweeping_ = SetTimer(hwnd(), kSweepTimer, 1000, nullptr) != 0;
}

void TcpServer::PromoteWaiting() {
  for (auto& [s, c] : connections_) {
    if (c.reading || !MayRead(c.peer)) continue;
    StartReading(s, c);
    // What it holds already is read as its own event, one line per message,
    // so the window keeps answering while many are served.
    PostMessageW(hwnd(), kSocketEventMessage, s, WSAMAKESELECTREPLY(FD_READ, 0));
  }
}

void TcpServer::RefillLater() {
  if (refillPosted_ || !hwnd()) return;
  refillPosted_ = true;
  PostMessageW(hwnd(), kDeferredMessage, 0, 0);
}

TcpServer::DrainResult TcpServer::Drain(SOCKET s, Connection& c) {
  char buffer[16384];
  for (;;) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n == 0) return WasReset(s) ? DrainResult::Reset : DrainResult::PeerClosed;
    if (n < 0) {
      int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return DrainResult::Open;
      return error == WSAECONNRESET || error == WSAECONNABORTED ? DrainResult::Reset : DrainResult::PeerClosed;
    }
    c.lastActivity = GetTickCount64();
    if (c.bytes.size() + static_cast<std::size_t>(n) > limits_.maxLineBytes) {
      c.bytes.resize(c.bytes.size() + static_cast<std::size_t>(n));  // only the size is reported
      return DrainResult::TooLarge;
    }
    c.bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

void TcpServer::Read(SOCKET s) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  switch (Drain(s, it->second)) {
    case DrainResult::Open:
      // The socket itself says whether the sender has closed: a close event
      // left in the queue by an earlier connection whose socket number the
      // system has reused must not cut this one short.
      return;
    case DrainResult::PeerClosed:
      Finish(s, true);
      return;
    case DrainResult::Reset:
      Finish(s, false);
      return;
    case DrainResult::TooLarge: {
      std::size_t size = it->second.bytes.size();
      Finish(s, false);
      if (callbacks_.onOversizedLine) callbacks_.onOversizedLine(size);
      return;
    }
  }
}

void TcpServer::Finish(SOCKET s, bool deliver) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  Connection c = std::move(it->second);
  connections_.erase(it);
  c.socket.reset();
  if (c.reading) {
    --reading_;
    auto peer = readingByPeer_.find(KeyOf(c.peer));
    if (peer != readingByPeer_.end() && --peer->second == 0) readingByPeer_.erase(peer);
  }
  // Turns and room have come free: waiting connections go on, and those
  // still in the system's queue are taken (no accept event comes for them).
  RefillLater();
  VELLO_TIMING_ONLY(timing::Add("server.accepted to line", timing::Now() - c.acceptedAt);)
  if (deliver && !c.bytes.empty() && callbacks_.onLine) callbacks_.onLine(c.bytes, c.peer);
}

void TcpServer::Sweep() {
  if (connections_.empty()) {
    KillTimer(hwnd(), kSweepTimer);
    sweeping_ = false;
    return;
  }
  ULONGLONG now = GetTickCount64();
  std::vector<SOCKET> ended;
  for (auto& [s, c] : connections_) {
    bool tooOld = now - c.accepted >= limits_.totalMilliseconds;
    bool silent = c.reading && now - c.lastActivity >= limits_.idleMilliseconds;
    if (tooOld || silent) ended.push_back(s);
  }
  // A sender that wrote and then went silent, or that trickles for longer
  // than any message takes: what arrived is taken as its line, as a reader
  // of one notification would have.
  for (SOCKET s : ended) {
    auto it = connections_.find(s);
    if (it == connections_.end()) continue;
    if (Drain(s, it->second) == DrainResult::TooLarge) {
      std::size_t size = it->second.bytes.size();
      Finish(s, false);
      if (callbacks_.onOversizedLine) callbacks_.onOversizedLine(size);
      continue;
    }
    Finish(s, true);
  }
}

}  // namespace vello
