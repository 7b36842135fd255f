#pragma once
// A plain listener on 127.0.0.1 that collects what each connection sends,
// on a thread of its own so the program under test keeps pumping messages.
#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vello::testing {

// A TCP socket bound to 127.0.0.1 on a port the system chose (in `address`);
// INVALID_SOCKET when it could not be bound.
SOCKET BoundLoopbackSocket(sockaddr_in& address);

class TestListener {
 public:
  TestListener();
  ~TestListener();
  int port() const { return port_; }
  std::vector<std::string> received();  // one entry per finished connection
  // Holds each connection open once its bytes are read, until released: a
  // test acts between the receiver taking a line and the sender learning so.
  void HoldBeforeClose(bool hold) { hold_ = hold; }
  bool holding() const { return holding_; }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hold_{false}, holding_{false};
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace vello::testing
