#include "platform/tcp_client.h"

#include "common/vello_error.h"
#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloTcpClient";
constexpr DWORD kWriteTimeoutMs = 10000;
constexpr UINT_PTR kDeliveryTimer = 1;

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
  lookupPending_ = true;
  unsigned number = ++lookupNumber_;
  lookups_.Run<HostAddress>([host = host_] { return LookUpHost(host); },
                            [this, number](HostAddress found) {
                              if (!lookupPending_ || number != lookupNumber_) return;  // closed meanwhile
                              lookupPending_ = false;
                              Connect(found);
                            });
}

bool TcpClient::WriteAll(const std::string& bytes) {
  if (!socket_) return false;
  // Back to blocking mode for the write, with a time bound so that a peer
  // that never reads cannot hold the user interface.
  WSAAsyncSelect(socket_.get(), hwnd(), 0, 0);
  u_long blocking = 0;
  ioctlsocket(socket_.get(), FIONBIO, &blocking);
  DWORD timeout = kWriteTimeoutMs;
  setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::size_t done = 0;
  while (done < bytes.size()) {
    int n = send(socket_.get(), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TcpClient::FinishSending() {
  if (!socket_) return;
  shutdown(socket_.get(), SD_SEND);
  u_long nonBlocking = 1;
  ioctlsocket(socket_.get(), FIONBIO, &nonBlocking);
  awaitingDelivery_ = true;
  deliveryDeadline_ = GetTickCount64() + deliveryTimeoutMs_;
  WSAAsyncSelect(socket_.get(), hwnd(), kSocketEventMessage, FD_READ | FD_CLOSE);
  SetTimer(hwnd(), kDeliveryTimer, deliveryTimeoutMs_, nullptr);
  // A receiver quicker than this may have closed already: look once now.
  PostMessageW(hwnd(), kSocketEventMessage, socket_.get(), WSAMAKESELECTREPLY(FD_READ, 0));
}

void TcpClient::Delivered() {
  Close();
  finished_ = true;
  InCallback in(callbackDepth_);
  if (callbacks_.onDelivered) callbacks_.onDelivered(*this);
}

void TcpClient::Close() {
  lookupPending_ = false;
  if (awaitingDelivery_) {
    awaitingDelivery_ = false;
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
  WSAAsyncSelect(socket_.get(), hwnd(), kSocketEventMessage, FD_CONNECT | FD_CLOSE);
  if (connect(socket_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    Fail(SocketErrorKind::Connect, WSAGetLastError());
  }
}

LRESULT TcpClient::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kDeliveryTimer) {
    // Written, but the receiver never said it has it.
    if (awaitingDelivery_) Fail(SocketErrorKind::Send, WSAETIMEDOUT);
    return 0;
  }
  if (msg == kSocketEventMessage) {
    if (!socket_ || static_cast<SOCKET>(wp) != socket_.get()) return 0;
    int event = WSAGETSELECTEVENT(lp);
    int error = WSAGETSELECTERROR(lp);
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
      if (error != 0) {
        Fail(SocketErrorKind::Connect, error);
        return 0;
      }
      {
        InCallback in(callbackDepth_);
        if (callbacks_.onConnect) callbacks_.onConnect(*this);
      }
      // Unless the line now waits to be taken, the attempt is over.
      if (!awaitingDelivery_) {
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
