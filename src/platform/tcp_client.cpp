#include "platform/tcp_client.h"

#include <algorithm>

#include "common/vello_error.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloTcpClient";
constexpr UINT_PTR kDeliveryTimer = 1;
constexpr UINT_PTR kConnectTimer = 2;

// Scope of a handler call: the attempt knows it is inside one.
struct InCallback {
  int& depth;
  explicit InCallback(int& d) : depth(d) { ++depth; }
  ~InCallback() { --depth; }
};
}  // namespace

TcpClient::TcpClient(Callbacks callbacks) : callbacks_(std::move(callbacks)) {
  EnsureWinsock();
  RegisterClassOnce(kClassName);
  Create({.className = kClassName, .style = 0, .parent = HWND_MESSAGE});
}

TcpClient::~TcpClient() {
  Close();
  Destroy();
}

void TcpClient::Open(const std::string& host, int port) {
  Close();
  host_ = host;
  port_ = port;
  finished_ = false;
  wholeLineWritten_ = false;
  lookupPending_ = true;
  unsigned number = ++lookupNumber_;
  lookups_.Run<HostAddress>([host = host_] { return LookUpHost(host); },
                            [this, number](HostAddress found) {
                              if (!lookupPending_ || number != lookupNumber_) return;  // closed meanwhile
                              lookupPending_ = false;
                              Connect(found);
                            });
}

bool TcpClient::Send(std::string line) {
  if (!socket_) return false;
  line_ = std::move(line);
  writtenBytes_ = 0;
  wholeLineWritten_ = false;
  writing_ = true;
  // One deadline for the whole line: a receiver that reads it slowly or not
  // at all ends the attempt as surely as one that never closes.
  deliveryDeadline_ = GetTickCount64() + deliveryTimeoutMs_;
  SetTimer(hwnd(), kDeliveryTimer, deliveryTimeoutMs_, nullptr);
  // FD_WRITE says when the system takes more; FD_CLOSE, a receiver gone
  // before the end of the line.
  WSAAsyncSelect(socket_.get(), hwnd(), kSocketEventMessage, FD_WRITE | FD_READ | FD_CLOSE);
  int failure = 0;
  return WriteSome(failure);
}

bool TcpClient::WriteSome(int& failure) {
  while (writtenBytes_ < line_.size()) {
    const std::size_t left = line_.size() - writtenBytes_;
    int n = send(socket_.get(), line_.data() + writtenBytes_, static_cast<int>(std::min<std::size_t>(left, 1 << 20)), 0);
    if (n > 0) {
      writtenBytes_ += static_cast<std::size_t>(n);
      continue;
    }
    failure = WSAGetLastError();
    if (failure == WSAEWOULDBLOCK) {
      failure = 0;
      return true;  // the next FD_WRITE goes on
    }
    if (failure == 0) failure = WSAECONNRESET;
    return false;
  }
  writing_ = false;
  wholeLineWritten_ = true;
  line_.clear();
  shutdown(socket_.get(), SD_SEND);
  awaitingDelivery_ = true;
  WSAAsyncSelect(socket_.get(), hwnd(), kSocketEventMessage, FD_READ | FD_CLOSE);
  // A receiver quicker than this may have closed already: look once now.
  PostMessageW(hwnd(), kSocketEventMessage, socket_.get(), WSAMAKESELECTREPLY(FD_READ, 0));
  return true;
}

void TcpClient::HandleWritingEvent(int error) {
  if (error != 0) {
    Fail(SocketErrorKind::Send, error);
    return;
  }
  // Events that keep coming hold the timer back: the deadline is looked at
  // here too.
  if (GetTickCount64() >= deliveryDeadline_) {
    Fail(SocketErrorKind::Send, WSAETIMEDOUT);
    return;
  }
  // Whatever the event, write what fits: after a close the write itself
  // tells a receiver that only stopped sending from one that went away.
  int failure = 0;
  if (!WriteSome(failure)) Fail(SocketErrorKind::Send, failure);
}

void TcpClient::Delivered() {
  Close();
  finished_ = true;
  InCallback in(callbackDepth_);
  if (callbacks_.onDelivered) callbacks_.onDelivered(*this);
}

void TcpClient::Close() {
  lookupPending_ = false;
  if (connecting_) {
    connecting_ = false;
    if (hwnd()) KillTimer(hwnd(), kConnectTimer);
  }
  if (writing_ || awaitingDelivery_) {
    writing_ = false;
    awaitingDelivery_ = false;
    line_.clear();
    if (hwnd()) KillTimer(hwnd(), kDeliveryTimer);
  }
  if (socket_) {
    shutdown(socket_.get(), SD_SEND);
    socket_.reset();
  }
}

void TcpClient::Fail(SocketErrorKind kind, int code) {
  Close();
  finished_ = true;
  InCallback in(callbackDepth_);
  if (callbacks_.onError) callbacks_.onError(*this, kind, code);
  if (code != 0) throw VelloError(FormatSocketEventError(code));
}

void TcpClient::Connect(const HostAddress& found) {
  if (found.error != 0) {
    Fail(SocketErrorKind::Lookup, found.error);
    return;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port_));
  addr.sin_addr = found.address;
  socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) {
    Fail(SocketErrorKind::Connect, WSAGetLastError());
    return;
  }
  if (sendBufferBytes_ > 0)
    setsockopt(socket_.get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBufferBytes_),
               sizeof sendBufferBytes_);
  if (sourceAddress_.s_addr != INADDR_ANY) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr = sourceAddress_;
    if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) == SOCKET_ERROR) {
      Fail(SocketErrorKind::Connect, WSAGetLastError());
      return;
    }
  }
  WSAAsyncSelect(socket_.get(), hwnd(), kSocketEventMessage, FD_CONNECT | FD_CLOSE);
  if (connect(socket_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    Fail(SocketErrorKind::Connect, WSAGetLastError());
    return;
  }
  connecting_ = true;
  SetTimer(hwnd(), kConnectTimer, connectTimeoutMs_, nullptr);
}

LRESULT TcpClient::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kConnectTimer) {
    // Nothing came back: a host that is off, or a firewall that drops.
    if (connecting_) Fail(SocketErrorKind::Connect, WSAETIMEDOUT);
    return 0;
  }
  if (msg == WM_TIMER && wp == kDeliveryTimer) {
    // The receiver did not read the whole line, or never said it has it.
    if (sending()) Fail(SocketErrorKind::Send, WSAETIMEDOUT);
    return 0;
  }
  if (msg == kSocketEventMessage) {
    if (!socket_ || static_cast<SOCKET>(wp) != socket_.get()) return 0;
    int event = WSAGETSELECTEVENT(lp);
    int error = WSAGETSELECTERROR(lp);
    if (writing_) {
      HandleWritingEvent(error);
      return 0;
    }
    if (awaitingDelivery_) {
      if (error != 0) {
        Fail(SocketErrorKind::Send, error);
        return 0;
      }
      // Read events that keep coming hold the timer back (it fires only when
      // nothing else waits): the deadline is looked at here too.
      if (GetTickCount64() >= deliveryDeadline_) {
        Fail(SocketErrorKind::Send, WSAETIMEDOUT);
        return 0;
      }
      // The socket itself says whether the receiver has closed its end (the
      // close may have come before this window was told to listen for it).
      // Whatever a receiver sends is passed over, a little a turn: one that
      // never stops sending cannot hold this thread (the next read event
      // comes, and the delivery time-out still ends it).
      char discard[4096];
      for (int turn = 0; turn < 16; ++turn) {
        int n = recv(socket_.get(), discard, sizeof discard, 0);
        if (n > 0) continue;
        if (n == 0) {
          Delivered();
        } else if (int failure = WSAGetLastError(); failure != WSAEWOULDBLOCK) {
          Fail(SocketErrorKind::Send, failure);
        }
        return 0;
      }
      return 0;
    }
    if (event == FD_CONNECT) {
      connecting_ = false;
      KillTimer(hwnd(), kConnectTimer);
      if (error != 0) {
        Fail(SocketErrorKind::Connect, error);
        return 0;
      }
      {
        InCallback in(callbackDepth_);
        if (callbacks_.onConnect) callbacks_.onConnect(*this);
      }
      // Unless the line now waits to be taken, the attempt is over.
      if (!sending()) {
        finished_ = true;
        Close();
      }
    } else if (event == FD_CLOSE && error != 0) {
      Fail(SocketErrorKind::Disconnect, error);
    }
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
