#include "platform/tcp_server.h"

#include <vector>

#include "common/fair_share.h"
#include "common/vello_error.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
constexpr UINT_PTR kSweepTimer = 1;
constexpr int kAcceptsPerTurn = 32;
// And no longer than this: on a busy machine every call to the system may
// take milliseconds, and a refused connection costs three.
constexpr ULONGLONG kAcceptTurnMilliseconds = 20;
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

// Closes with a reset instead of in order: what the sender wrote has not
// been taken, and it learns so.
void Abort(UniqueSocket& s) {
  if (!s) return;
  linger now{1, 0};
  setsockopt(s.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
  s.reset();
}
}  // namespace

void LineReceipt::Take() {
  taken_ = true;
  socket_.reset();
}

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
  // Lines not yet shown have not been taken: their senders must not be told
  // they arrived.
  for (auto& [s, c] : connections_) Abort(c.socket);
  connections_.clear();
  peers_.clear();
  reading_ = 0;
  waiting_ = 0;
  if (hwnd()) KillTimer(hwnd(), kSweepTimer);
  sweeping_ = false;
}

LRESULT TcpServer::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // What goes wrong while a connection is served came from the network: such
  // errors share one box at a time, however many arrive.
  if (msg == WM_TIMER && wp == kSweepTimer) {
    Guard([this] { Sweep(); }, ErrorOrigin::Network);
    return 0;
  }
  if (msg == kDeferredMessage) {
    refillPosted_ = false;
    Guard(
        [this] {
          PromoteWaiting();
          Accept();
        },
        ErrorOrigin::Network);
    return 0;
  }
  if (msg != kSocketEventMessage) return Default(msg, wp, lp);
  Guard([&] { OnSocketEvent(static_cast<SOCKET>(wp), WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp)); },
        ErrorOrigin::Network);
  return 0;
}

void TcpServer::OnSocketEvent(SOCKET s, int event, int error) {
  if (listener_ && s == listener_.get()) {
    if (event == FD_ACCEPT && error == 0) Accept();
    return;
  }
  auto it = connections_.find(s);
  if (it == connections_.end()) return;  // ended: a stale event
  if (error != 0) {
    // A sender that resets or aborts its connection has said all it will;
    // what it wrote before may still be a whole line.
    if (error == WSAECONNRESET || error == WSAECONNABORTED) {
      EndReset(s);
      return;
    }
    Finish(s, Ending::Drop);
    if (callbacks_.onConnectionError) callbacks_.onConnectionError(error);
    return;
  }
  // A waiting connection is read only once its sender has closed it: a line
  // that is complete costs no turn.
  if (event == FD_CLOSE || (event == FD_READ && it->second.reading)) Read(s);
}

bool TcpServer::MayRead(const in_addr& peer) const {
  auto it = peers_.find(KeyOf(peer));
  std::size_t held = it == peers_.end() ? 0 : it->second.reading;
  return held < limits_.maxPerPeer && FairShareAllows(held, reading_, limits_.maxConnections, 1);
}

bool TcpServer::MayWait(const in_addr& peer) const {
  auto it = peers_.find(KeyOf(peer));
  std::size_t held = it == peers_.end() ? 0 : it->second.waiting;
  return held < limits_.maxWaitingPerPeer && FairShareAllows(held, waiting_, limits_.maxWaiting, 1);
}

void TcpServer::StartReading(SOCKET s, Connection& c) {
  PeerShare& share = peers_[KeyOf(c.peer)];
  if (c.waiting) {
    c.waiting = false;
    --waiting_;
    --share.waiting;
  }
  c.reading = true;
  c.lastActivity = GetTickCount64();
  ++reading_;
  ++share.reading;
  WSAAsyncSelect(s, hwnd(), kSocketEventMessage, FD_READ | FD_CLOSE);
}

void TcpServer::Accept() {
  // Every address gets its share of the turns and of the waiting places, and
  // no more: beyond its share a connection is refused at once. It must be
  // taken from the system's queue to be refused, or the connections behind
  // it, another sender's, would wait for it. A few at a time, the rest on a
  // later turn: each accept is a round trip to the system, and hundreds at
  // once would keep the window from answering.
  const ULONGLONG turnEnds = GetTickCount64() + kAcceptTurnMilliseconds;
  for (int taken = 0; listener_; ++taken) {
    if (taken == kAcceptsPerTurn || GetTickCount64() >= turnEnds) {
      RefillLater();
      break;
    }
    sockaddr_in peer{};
    int len = sizeof peer;
    UniqueSocket accepted(accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &len));
    if (!accepted) {
      // An empty queue says so again with the next connection; any other
      // failure (no sockets left) may pass once a connection has ended.
      const int error = WSAGetLastError();
      acceptFailed_ = error != WSAEWOULDBLOCK;
      // An accept event for a connection an earlier turn took finds the
      // queue empty. Wine (8.0) then counts the event as reported and never
      // reports another: every later connection would wait unread in the
      // system's queue. Selecting the event again starts it afresh.
      if (error == WSAEWOULDBLOCK && taken == 0)
        WSAAsyncSelect(listener_.get(), hwnd(), kSocketEventMessage, FD_ACCEPT);
      break;
    }
    acceptFailed_ = false;
    bool read = MayRead(peer.sin_addr);
    if (!read && !MayWait(peer.sin_addr)) {
      Abort(accepted);
      continue;
    }
    SOCKET s = accepted.get();
    Connection& c = connections_[s];
    c.socket = std::move(accepted);
    c.peer = peer.sin_addr;
    c.accepted = c.lastActivity = GetTickCount64();
    VELLO_TIMING_ONLY(c.acceptedAt = timing::Now();)
    if (read) {
      StartReading(s, c);
    } else {
      c.waiting = true;
      ++waiting_;
      ++peers_[KeyOf(c.peer)].waiting;
      WSAAsyncSelect(s, hwnd(), kSocketEventMessage, FD_CLOSE);  // unread until its sender closes
    }
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
    // A whole line is delivered however the sender ended: asking the socket
    // whether it was reset would cost a round trip to the system per message.
    if (n == 0)
      return !IsWhole(c.bytes) && WasReset(s) ? DrainResult::Reset : DrainResult::PeerClosed;
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
      Finish(s, Ending::Deliver);
      return;
    case DrainResult::Reset:
      EndReset(s);
      return;
    case DrainResult::TooLarge:
      RefuseOversized(s);
      return;
  }
}

void TcpServer::RefuseOversized(SOCKET s) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  std::size_t size = it->second.bytes.size();
  Finish(s, Ending::Refuse);
  if (callbacks_.onOversizedLine) callbacks_.onOversizedLine(size);
}

bool TcpServer::IsWhole(const std::string& bytes) const {
  return callbacks_.isWholeLine && callbacks_.isWholeLine(bytes);
}

void TcpServer::EndReset(SOCKET s) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  // Whatever is still readable arrived before the reset.
  if (Drain(s, it->second) == DrainResult::TooLarge) {
    Finish(s, Ending::Drop);
    return;
  }
  Finish(s, IsWhole(it->second.bytes) ? Ending::Deliver : Ending::Drop);
}

void TcpServer::Finish(SOCKET s, Ending ending) {
  auto it = connections_.find(s);
  if (it == connections_.end()) return;
  Connection c = std::move(it->second);
  connections_.erase(it);
  PeerShare& share = peers_[KeyOf(c.peer)];
  if (c.reading) {
    --reading_;
    --share.reading;
  }
  if (c.waiting) {
    --waiting_;
    --share.waiting;
  }
  if (share.reading == 0 && share.waiting == 0) peers_.erase(KeyOf(c.peer));
  // Turns and room have come free: waiting connections go on, and those
  // still in the system's queue after a failed accept are taken (no accept
  // event comes for them). With none of either, nothing is posted: the
  // deferred turn would cost an accept that finds the queue empty.
  if (waiting_ > 0 || acceptFailed_) RefillLater();
  VELLO_TIMING_ONLY(timing::Add("server.accepted to line", timing::Now() - c.acceptedAt);)
  if (ending == Ending::Refuse) {
    Abort(c.socket);
    return;
  }
  if (ending == Ending::Drop || c.bytes.empty() || !callbacks_.onLine) {
    c.socket.reset();
    return;
  }
  LineReceipt receipt(c.socket);
  try {
    callbacks_.onLine(c.bytes, c.peer, receipt);
  } catch (...) {
    Abort(c.socket);
    throw;
  }
  if (!receipt.taken()) Abort(c.socket);
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
    switch (Drain(s, it->second)) {
      case DrainResult::TooLarge: RefuseOversized(s); break;
      case DrainResult::Reset: EndReset(s); break;
      default: Finish(s, Ending::Deliver); break;
    }
  }
}

}  // namespace vello
