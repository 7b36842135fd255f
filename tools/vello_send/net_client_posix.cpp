#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "vello_send/net_client.h"

namespace vello::send {

namespace {

// Monotonic milliseconds.
int64_t Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Milliseconds left until the deadline, at least 0.
int MillisecondsLeft(int64_t deadline) {
  const int64_t left = deadline - Now();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket is ready for `events`; false on timeout.
bool WaitFor(int fd, short events, int64_t deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int rc = poll(&p, 1, MillisecondsLeft(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return true;  // let the next call report the error
  }
}

SendFailure FailureOf(int error) {
  switch (error) {
    case ECONNREFUSED: return SendFailure::kRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETDOWN: return SendFailure::kUnreachable;
    case ETIMEDOUT: return SendFailure::kTimeout;
    default: return SendFailure::kOther;
  }
}

SendResult Failed(SendFailure failure, const std::string& address, int error, bool connected = false) {
  SendResult out;
  out.failure = failure;
  out.connected = connected;
  out.address = address;
  if (error != 0) out.detail = std::strerror(error);
  return out;
}

SendResult SendTo(const sockaddr_in& to, std::string_view bytes, int64_t deadline) {
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &to.sin_addr, text, sizeof text);
  const std::string address = text;

  Socket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (s.get() < 0) return Failed(SendFailure::kOther, address, errno);
  fcntl(s.get(), F_SETFL, fcntl(s.get(), F_GETFL) | O_NONBLOCK);

  if (connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return Failed(FailureOf(errno), address, errno);
    if (!WaitFor(s.get(), POLLOUT, deadline)) return Failed(SendFailure::kTimeout, address, 0);
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return Failed(FailureOf(error), address, error);
  }

  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(s.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(s.get(), POLLOUT, deadline)) return Failed(SendFailure::kTimeout, address, 0, true);
      continue;
    }
    return Failed(SendFailure::kOther, address, n < 0 ? errno : EPIPE, true);
  }
  // The receiver reads until it has the line; our FIN follows the data. A
  // receiver closes its end once it has the whole line: only then has the
  // message arrived (one that resets the connection has lost it).
  shutdown(s.get(), SHUT_WR);
  for (;;) {
    if (!WaitFor(s.get(), POLLIN, deadline)) return Failed(SendFailure::kTimeout, address, 0, true);
    char discard[256];
    ssize_t n = ::recv(s.get(), discard, sizeof discard, 0);
    if (n == 0) break;
    if (n > 0 || errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    return Failed(SendFailure::kOther, address, errno, true);
  }
  SendResult ok;
  ok.connected = true;
  ok.address = address;
  return ok;
}

}  // namespace

SendResult SendToHost(const std::string& host, uint16_t port, std::string_view bytes,
                       int32_t timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    SendResult out;
    out.failure = SendFailure::kHostNotFound;
    out.detail = rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc);
    return out;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);

  const int64_t deadline = Now() + timeoutMs;
  SendResult last;
  last.failure = SendFailure::kHostNotFound;
  last.detail = "no IPv4 address";
  for (addrinfo* a = list.get(); a; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in to;
    std::memcpy(&to, a->ai_addr, sizeof to);
    to.sin_port = htons(port);
    last = SendTo(to, bytes, deadline);
    // Once connected, part of the line may have gone out: no second try.
    if (last.failure == SendFailure::kNone || last.connected || MillisecondsLeft(deadline) == 0) break;
  }
  return last;
}

}  // namespace vello::send
