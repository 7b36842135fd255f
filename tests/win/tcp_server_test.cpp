// The listening side under its bounds: pending connections beyond the bound
// wait unread and are served later, never dropped; an oversized line is
// refused and reported.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "platform/tcp_server.h"
#include "message_pump.h"

namespace vello::testing {
namespace {

class TcpServerTest : public ::testing::Test {
 protected:
  void Start(ServerLimits limits) {
    port_ = FreePort();
    server_ = std::make_unique<TcpServer>(
        TcpServer::Callbacks{.onLine = [this](const std::string& line, const in_addr&) { lines_.push_back(line); },
                             .onConnectionError = [this](int code) { errors_.push_back(code); },
                             .onOversizedLine = [this](std::size_t bytes) { oversized_.push_back(bytes); },
                             .onAccepted = nullptr},
        limits);
    server_->Listen(port_);
  }
  void TearDown() override {
    for (SOCKET s : open_) closesocket(s);
  }

  // A connection left open and silent.
  SOCKET Connect() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    open_.push_back(s);
    return s;
  }
  // Writes the bytes and closes; the connection may still wait in the
  // system's queue, as the sender cannot tell.
  void SendAndClose(const std::string& bytes) {
    SOCKET s = Connect();
    std::size_t done = 0;
    while (done < bytes.size()) {
      int n = send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    Close(s);
  }
  void Close(SOCKET s) {
    closesocket(s);
    std::erase(open_, s);
  }
  void Pump(int ms) { PumpUntil([] { return false; }, ms); }
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return PumpMessagesUntil(done, timeoutMs);
  }

  int port_ = 0;
  std::unique_ptr<TcpServer> server_;
  std::vector<SOCKET> open_;
  std::vector<std::string> lines_;
  std::vector<int> errors_;
  std::vector<std::size_t> oversized_;
};

TEST_F(TcpServerTest, AtTheBoundNewConnectionsWaitAndAreServedWhenOneFinishes) {
  Start({.maxConnections = 2, .idleMilliseconds = 60000});
  SOCKET first = Connect();
  Connect();
  ASSERT_TRUE(PumpUntil([&] { return server_->readingConnections() == 2; }, 3000));
  SendAndClose("one");
  SendAndClose("two");
  EXPECT_FALSE(PumpUntil([&] { return !lines_.empty(); }, 300));
  EXPECT_EQ(server_->readingConnections(), 2u);
  Close(first);  // a silent sender gives up: its slot serves the waiting ones
  ASSERT_TRUE(PumpUntil([&] { return lines_.size() == 2; }, 3000));
  std::sort(lines_.begin(), lines_.end());
  EXPECT_EQ(lines_, (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(server_->pendingConnections(), 1u);
}

TEST_F(TcpServerTest, SilentConnectionsHoldingTheBoundAreSweptAndTheWaitingLineArrives) {
  Start({.maxConnections = 3, .idleMilliseconds = 800});
  for (int i = 0; i < 3; ++i) Connect();
  ASSERT_TRUE(PumpUntil([&] { return server_->pendingConnections() == 3; }, 3000));
  SendAndClose("after the idle ones");
  ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(PumpUntil([&] { return lines_.size() == 1; }, 5000));
  EXPECT_GE(GetTickCount64() - start, 500u);
  EXPECT_EQ(lines_[0], "after the idle ones");
}

TEST_F(TcpServerTest, AnOversizedLineIsReportedAndTheNextLineStillArrives) {
  Start({.maxLineBytes = 1000, .maxConnections = 4, .idleMilliseconds = 60000});
  SendAndClose(std::string(5000, 'x'));
  ASSERT_TRUE(PumpUntil([&] { return !oversized_.empty(); }, 3000));
  EXPECT_GT(oversized_[0], 1000u);
  SendAndClose(std::string(1000, 'y'));  // exactly the bound is still a line
  ASSERT_TRUE(PumpUntil([&] { return !lines_.empty(); }, 3000));
  EXPECT_EQ(lines_[0], std::string(1000, 'y'));
  EXPECT_EQ(oversized_.size(), 1u);
}

TEST_F(TcpServerTest, AStaleCloseEventForAReusedSocketNumberDoesNotCutTheNextConnectionShort) {
  // At the bound of one connection, an oversized line ends its connection
  // while the system's close event for it still waits in the queue; ending
  // it frees the slot, and the waiting sender is accepted at once, on a
  // socket that takes the freed number. The stale close event must not end
  // the new connection, whose sender has not finished writing.
  Start({.maxLineBytes = 1000, .maxConnections = 1, .idleMilliseconds = 60000});
  SOCKET first = Connect();
  ASSERT_TRUE(PumpUntil([&] { return server_->pendingConnections() == 1; }, 3000));
  const std::string big(5000, 'x');
  ASSERT_EQ(send(first, big.data(), static_cast<int>(big.size()), 0), static_cast<int>(big.size()));
  Close(first);
  SOCKET second = Connect();  // waits in the system's queue: the bound is reached
  ASSERT_EQ(send(second, "first half, ", 12, 0), 12);
  Sleep(300);  // the read and close events of the first are queued, unhandled
  ASSERT_TRUE(PumpUntil([&] { return !oversized_.empty(); }, 3000));
  Pump(300);   // the stale close event is handled here
  EXPECT_TRUE(lines_.empty()) << lines_[0];
  ASSERT_EQ(send(second, "second half", 11, 0), 11);
  Close(second);
  ASSERT_TRUE(PumpUntil([&] { return !lines_.empty(); }, 3000));
  EXPECT_EQ(lines_, std::vector<std::string>{"first half, second half"});
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace vello::testing
