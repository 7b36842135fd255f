#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "vello_send/net_client.h"

namespace vello::send {

namespace {

// Monotonic milliseconds.
int64_t Now() { return static_cast<int64_t>(GetTickCount64()); }

class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data;
    ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (ok_) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class Socket {
 public:
  explicit Socket(SOCKET s) : s_(s) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// The system's words for an error, UTF-8, on one line.
std::string ErrorText(int error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n ? std::wstring(buffer, n) : L"";
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  std::string out;
  if (!text.empty()) {
    int m = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(m));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), m, nullptr, nullptr);
  }
  return out + " (" + std::to_string(error) + ")";
}

SendFailure FailureOf(int error) {
  switch (error) {
    case WSAECONNREFUSED: return SendFailure::kRefused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN: return SendFailure::kUnreachable;
    case WSAETIMEDOUT: return SendFailure::kTimeout;
    default: return SendFailure::kOther;
  }
}

SendResult Failed(SendFailure failure, const std::string& address, int error, bool connected = false) {
  SendResult out;
  out.failure = failure;
  out.connected = connected;
  out.address = address;
  if (error != 0) out.detail = ErrorText(error);
  return out;
}

// Returns false on timeout; `failed` is set when the socket reports an
// error instead (a refused connection shows up there).
bool WaitWritable(SOCKET s, int64_t deadline, bool& failed) {
  int64_t left = (deadline - Now()) * 1000;
  if (left < 0) left = 0;
  fd_set writable, broken;
  FD_ZERO(&writable);
  FD_ZERO(&broken);
  FD_SET(s, &writable);
  FD_SET(s, &broken);
  timeval tv{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
  const int rc = select(0, nullptr, &writable, &broken, &tv);
  if (rc == 0) return false;
  failed = rc < 0 || FD_ISSET(s, &broken);
  return true;
}

// Returns false on timeout.
bool WaitReadable(SOCKET s, int64_t deadline) {
  int64_t left = (deadline - Now()) * 1000;
  if (left < 0) left = 0;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval tv{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
  return select(0, &readable, nullptr, nullptr, &tv) != 0;
}

SendResult SendTo(const sockaddr_in& to, std::string_view bytes, int64_t deadline) {
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &to.sin_addr, text, sizeof text);
  const std::string address = text;

  Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (s.get() == INVALID_SOCKET) return Failed(SendFailure::kOther, address, WSAGetLastError());
  u_long nonBlocking = 1;
  ioctlsocket(s.get(), FIONBIO, &nonBlocking);

  if (connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return Failed(FailureOf(error), address, error);
    bool failed = false;
    if (!WaitWritable(s.get(), deadline, failed)) return Failed(SendFailure::kTimeout, address, 0);
    if (failed) {
      error = 0;
      int length = sizeof error;
      getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
      if (error == 0) error = WSAECONNREFUSED;
      return Failed(FailureOf(error), address, error);
    }
  }

  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 20));
    int n = ::send(s.get(), bytes.data() + sent, chunk, 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    const int error = WSAGetLastError();
    if (n == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
      bool failed = false;
      if (!WaitWritable(s.get(), deadline, failed)) return Failed(SendFailure::kTimeout, address, 0, true);
      continue;
    }
    return Failed(SendFailure::kOther, address, error, true);
  }
  // A receiver closes its end once it has the whole line: only then has the
  // message arrived (one that resets the connection has lost it).
  shutdown(s.get(), SD_SEND);
  for (;;) {
    if (!WaitReadable(s.get(), deadline)) return Failed(SendFailure::kTimeout, address, 0, true);
    char discard[256];
    int n = ::recv(s.get(), discard, sizeof discard, 0);
    if (n == 0) break;
    const int error = WSAGetLastError();
    if (n > 0 || error == WSAEWOULDBLOCK) continue;
    return Failed(SendFailure::kOther, address, error, true);
  }
  SendResult ok;
  ok.connected = true;
  ok.address = address;
  return ok;
}

}  // namespace

SendResult SendToHost(const std::string& host, uint16_t port, std::string_view bytes,
                       int32_t timeoutMs) {
  WinsockSession session;
  if (!session.ok()) {
    SendResult out;
    out.failure = SendFailure::kOther;
    out.detail = "Windows sockets cannot be started";
    return out;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  if (int rc = GetAddrInfoW(Widen(host).c_str(), nullptr, &hints, &found); rc != 0) {
    SendResult out;
    out.failure = SendFailure::kHostNotFound;
    out.detail = ErrorText(rc);
    return out;
  }

  const int64_t deadline = Now() + timeoutMs;
  SendResult last;
  last.failure = SendFailure::kHostNotFound;
  last.detail = "no IPv4 address";
  for (ADDRINFOW* a = found; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in to;
    memcpy(&to, a->ai_addr, sizeof to);
    to.sin_port = htons(port);
    last = SendTo(to, bytes, deadline);
    if (last.failure == SendFailure::kNone || last.connected || Now() >= deadline) break;
  }
  FreeAddrInfoW(found);
  return last;
}

}  // namespace vello::send
