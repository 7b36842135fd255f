#include "test_listener.h"

#include <gtest/gtest.h>

#include "platform/socket_error.h"

namespace vello::testing {

SOCKET BoundLoopbackSocket(sockaddr_in& address) {
  EnsureWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

TestListener::TestListener() {
  EnsureWinsock();
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  // Only 127.0.0.1: a test that sends to another loopback address (127.0.0.3)
  // must not reach it.
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 16) != 0)
    ADD_FAILURE() << "test listener: " << WSAGetLastError();
  int len = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] {
    while (!stop_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(listener_, &set);
      timeval tv{0, 50000};
      if (select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
      SOCKET s = accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) continue;
      std::string bytes;
      char buffer[4096];
      int n;
      while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
      holding_ = hold_.load();
      while (hold_ && !stop_) Sleep(5);
      holding_ = false;
      closesocket(s);
      std::lock_guard lock(mutex_);
      received_.push_back(bytes);
    }
  });
}

TestListener::~TestListener() {
  stop_ = true;
  thread_.join();
  closesocket(listener_);
}

std::vector<std::string> TestListener::received() {
  std::lock_guard lock(mutex_);
  return received_;
}

}  // namespace vello::testing
