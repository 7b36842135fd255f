// The listening side under its bounds: each address gets its share of the
// turns and of the waiting places, and what is beyond is refused at once;
// pending connections within the shares wait unread and are served later;
// deadlines end what never finishes; an oversized line is refused and
// reported; a line is answered by an orderly close only when it is taken.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "messaging/message_line.h"
#include "platform/tcp_server.h"
#include "message_pump.h"
#include "platform/window_messages.h"
#include "raw_connection.h"

namespace vello::testing {
namespace {

class TcpServerTest : public ::testing::Test {
 protected:
  void Start(ServerLimits limits) {
    port_ = FreePort();
    server_ = std::make_unique<TcpServer>(
        TcpServer::Callbacks{.onLine =
                                 [this](const std::string& line, const in_addr&, LineReceipt& receipt) {
                                   lines_.push_back(line);
                                   if (take_) receipt.Take();
                                 },
                             .isWholeLine = [](const std::string& bytes) { return IsWholeMessageLine(bytes); },
                             .onConnectionError = [this](int code) { errors_.push_back(code); },
                             .onOversizedLine = [this](std::size_t bytes) { oversized_.push_back(bytes); },
                             .onAccepted = nullptr},
        limits);
    server_->Listen(port_);
  }
  void TearDown() override {
    for (SOCKET s : open_) closesocket(s);
  }

  // A connection left open and silent; from `source`, a loopback address.
  SOCKET Connect(const char* source = "127.0.0.1") {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr(source);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
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

  // The socket the server accepted for `client`, found as any program finds
  // its own sockets: by their addresses.
  SOCKET ServerSideOf(SOCKET client) {
    sockaddr_in mine{};
    int len = sizeof mine;
    getsockname(client, reinterpret_cast<sockaddr*>(&mine), &len);
    for (SOCKET s = 4; s < 0x10000; s += 4) {
      sockaddr_in here{}, there{};
      int hereLen = sizeof here, thereLen = sizeof there;
      if (s == client || getsockname(s, reinterpret_cast<sockaddr*>(&here), &hereLen) != 0 ||
          getpeername(s, reinterpret_cast<sockaddr*>(&there), &thereLen) != 0)
        continue;
      if (ntohs(here.sin_port) == port_ && there.sin_port == mine.sin_port &&
          there.sin_addr.s_addr == mine.sin_addr.s_addr)
        return s;
    }
    return INVALID_SOCKET;
  }

  int port_ = 0;
  bool take_ = true;
  std::unique_ptr<TcpServer> server_;
  std::vector<SOCKET> open_;
  std::vector<std::string> lines_;
  std::vector<int> errors_;
  std::vector<std::size_t> oversized_;
};

TEST_F(TcpServerTest, AtTheBoundNewConnectionsWaitAndAreServedWhenOneFinishes) {
  Start({.maxConnections = 2, .idleMilliseconds = 60000});
  // Two senders take the two turns; a third one's lines wait.
  SOCKET first = Connect("127.0.0.2");
  Connect("127.0.0.3");
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
  for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) Connect(source);
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

// One address opens far more connections than every place there is, and
// keeps them silent: it gets exactly its share of the turns and of the
// waiting places, the rest is refused at once, and another sender's line,
// which waits behind them in the system's queue, is read and taken at once.
TEST_F(TcpServerTest, OneAddressHoldingAllItMayDoesNotHoldUpAnothersLine) {
  const ServerLimits limits{.maxConnections = 16, .maxPerPeer = 2, .maxWaiting = 64, .maxWaitingPerPeer = 4,
                            .idleMilliseconds = 60000};
  Start(limits);
  const std::size_t held = 100;  // more than the 80 places in all
  std::vector<std::unique_ptr<RawConnection>> hog;
  for (std::size_t i = 0; i < held; ++i) hog.push_back(std::make_unique<RawConnection>("127.0.0.2", port_));
  RawConnection honest("127.0.0.3", port_);
  const std::string line = MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "通して\r\n", "N");
  honest.Write(line);
  honest.FinishWriting();
  ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(PumpUntil([&] { return !lines_.empty(); }, 3000));
  EXPECT_LT(GetTickCount64() - start, 1000u);
  EXPECT_EQ(lines_, std::vector<std::string>{line});
  ASSERT_TRUE(PumpUntil([&] { return honest.EndingSeen() != RawConnection::Ending::Open; }, 3000));
  EXPECT_EQ(honest.EndingSeen(), RawConnection::Ending::InOrder);

  auto refused = [&] {
    return std::count_if(hog.begin(), hog.end(), [](const auto& c) { return c->WasReset(); });
  };
  ASSERT_TRUE(PumpUntil([&] { return refused() == static_cast<long>(held - 6); }, 3000)) << refused();
  EXPECT_EQ(server_->readingConnections(), limits.maxPerPeer);
  EXPECT_EQ(server_->waitingConnections(), limits.maxWaitingPerPeer);
  EXPECT_TRUE(errors_.empty());
}

// Many addresses share the places: none gets more than it leaves free for
// the others, so a newcomer still finds a turn.
TEST_F(TcpServerTest, ManyAddressesLeaveATurnForANewcomer) {
  Start({.maxConnections = 8, .maxPerPeer = 8, .maxWaiting = 8, .maxWaitingPerPeer = 8,
         .idleMilliseconds = 60000});
  std::vector<std::unique_ptr<RawConnection>> held;
  for (const char* source : {"127.0.0.2", "127.0.0.3"})
    for (int i = 0; i < 10; ++i) held.push_back(std::make_unique<RawConnection>(source, port_));
  Pump(500);
  // The first takes half the turns, the second half of what is left.
  EXPECT_EQ(server_->readingConnections(), 6u);
  RawConnection newcomer("127.0.0.4", port_);
  newcomer.Write("newcomer");
  newcomer.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return !lines_.empty(); }, 2000));
  EXPECT_EQ(lines_, std::vector<std::string>{"newcomer"});
}

// The total deadline counts from the accepting: a sender that writes a byte
// now and then, never falling silent, is ended all the same, and what it
// wrote is taken as its line.
TEST_F(TcpServerTest, ATrickleIsEndedAtTheDeadlineCountedFromItsAccepting) {
  Start({.idleMilliseconds = 60000, .totalMilliseconds = 1500});
  RawConnection trickle("127.0.0.2", port_);
  ULONGLONG start = GetTickCount64(), lastByte = 0;
  bool ended = PumpUntil(
      [&] {
        if (GetTickCount64() - lastByte >= 100) {
          trickle.Write("1");
          lastByte = GetTickCount64();
        }
        return !lines_.empty();
      },
      5000);
  ASSERT_TRUE(ended) << "the trickle was never ended";
  EXPECT_GE(GetTickCount64() - start, 1400u);
  EXPECT_EQ(lines_[0].find_first_not_of('1'), std::string::npos) << lines_[0];
}

// A connection waiting for its address's turn is not read, so it is never
// silent: the idle sweep must not end it and hand on the half it holds.
TEST_F(TcpServerTest, AWaitingConnectionIsNotEndedAsSilent) {
  Start({.maxPerPeer = 1, .idleMilliseconds = 500, .totalMilliseconds = 60000});
  RawConnection reading("127.0.0.2", port_);
  RawConnection waiting("127.0.0.2", port_);
  waiting.Write("first half, ");
  ULONGLONG lastByte = 0;
  auto keepReadingAlive = [&] {
    if (GetTickCount64() - lastByte >= 200) {
      reading.Write("1");
      lastByte = GetTickCount64();
    }
    return false;
  };
  PumpUntil(keepReadingAlive, 2500);  // the sweep has looked five times
  EXPECT_TRUE(lines_.empty()) << lines_[0];
  EXPECT_EQ(server_->waitingConnections(), 1u);
  waiting.Write("second half");
  waiting.FinishWriting();
  reading.FinishWriting();  // its turn goes to the waiting one
  ASSERT_TRUE(PumpUntil([&] { return lines_.size() == 2; }, 3000));
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), "first half, second half"), lines_.end());
}

// At the deadline a waiting connection is read at last; more than a line's
// bound is refused and reported then too, never handed on.
TEST_F(TcpServerTest, ALineOverTheBoundIsRefusedAlsoWhenTheDeadlineEndsIt) {
  Start({.maxLineBytes = 1000, .maxPerPeer = 1, .idleMilliseconds = 60000, .totalMilliseconds = 1500});
  RawConnection reading("127.0.0.2", port_);
  RawConnection waiting("127.0.0.2", port_);
  Pump(200);
  ASSERT_EQ(server_->waitingConnections(), 1u);
  waiting.Write(std::string(5000, 'x'));
  ASSERT_TRUE(PumpUntil([&] { return !oversized_.empty(); }, 5000));
  EXPECT_GT(oversized_[0], 1000u);
  Pump(200);
  EXPECT_TRUE(lines_.empty()) << lines_[0].size() << " bytes delivered";
  EXPECT_TRUE(waiting.WasReset());
}

// A sender that resets its connection has said all it will: what it wrote is
// a message when it is a whole line (a sender may reset right after
// writing), and dropped quietly when it is cut short. Waiting or read.
TEST_F(TcpServerTest, AfterAResetAWholeLineIsDeliveredAndACutOneDropped) {
  const std::string line = MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "全部\r\n", "N");
  struct Case { const char* name; std::string bytes; bool waiting, delivered; } cases[] = {
      {"whole line, read", line, false, true},
      {"cut short, read", line.substr(0, line.size() - 1), false, false},
      {"whole line, waiting", line, true, true},
      {"cut short, waiting", line.substr(0, line.size() / 2), true, false},
  };
  Start({.maxPerPeer = 1, .idleMilliseconds = 60000});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lines_.clear();
    std::unique_ptr<RawConnection> turnHolder;
    if (c.waiting) turnHolder = std::make_unique<RawConnection>("127.0.0.2", port_);
    RawConnection sender("127.0.0.2", port_);
    sender.Write(c.bytes);
    Pump(100);
    ASSERT_EQ(server_->waitingConnections(), c.waiting ? 1u : 0u);
    sender.Abort();
    if (turnHolder) turnHolder->FinishWriting();  // the waiting one gets its turn
    ASSERT_TRUE(PumpUntil([&] { return server_->pendingConnections() == 0; }, 3000));
    Pump(100);
    EXPECT_EQ(lines_, c.delivered ? std::vector<std::string>{c.bytes} : std::vector<std::string>{});
  }
  EXPECT_TRUE(errors_.empty());
}

// A line the receiver takes is answered by an orderly close; one it does
// not take, or whose handler fails, by a reset: its sender learns that it
// did not arrive.
TEST_F(TcpServerTest, ALineNotTakenIsAnsweredWithAReset) {
  Start({.idleMilliseconds = 60000});
  struct Case { const char* name; bool take; RawConnection::Ending ending; } cases[] = {
      {"taken", true, RawConnection::Ending::InOrder},
      {"not taken", false, RawConnection::Ending::Reset},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    take_ = c.take;
    RawConnection sender("127.0.0.2", port_);
    sender.Write(c.name);
    sender.FinishWriting();
    ASSERT_TRUE(PumpUntil([&] { return sender.EndingSeen() != RawConnection::Ending::Open; }, 3000));
    EXPECT_EQ(sender.EndingSeen(), c.ending);
  }
}

// What the platform reports on a connection: a reset or an abort by the
// sender is its own doing and ends the connection quietly; anything else is
// reported. (Wine reports resets as orderly closes, so the events are
// posted here as Windows would post them.)
TEST_F(TcpServerTest, ErrorsOnAConnectionOtherThanTheSendersResetAreReported) {
  struct Case { int error; bool reported; } cases[] = {
      {WSAECONNRESET, false},
      {WSAECONNABORTED, false},
      {WSAENETDOWN, true},
  };
  Start({.idleMilliseconds = 60000});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    errors_.clear();
    SOCKET client = Connect("127.0.0.2");
    send(client, "cut sh", 6, 0);
    ASSERT_TRUE(PumpUntil([&] { return server_->readingConnections() == 1; }, 3000));
    Pump(100);
    SOCKET accepted = ServerSideOf(client);
    ASSERT_NE(accepted, INVALID_SOCKET);
    PostMessageW(server_->hwnd(), kSocketEventMessage, accepted, WSAMAKESELECTREPLY(FD_CLOSE, c.error));
    ASSERT_TRUE(PumpUntil([&] { return server_->pendingConnections() == 0; }, 3000));
    EXPECT_EQ(errors_, c.reported ? std::vector<int>{c.error} : std::vector<int>{});
    EXPECT_TRUE(lines_.empty());
    Close(client);
  }
}

// Stopping (the program ends, or no longer listens) leaves lines unread;
// their senders are told they did not arrive.
TEST_F(TcpServerTest, StoppingResetsTheConnectionsWhoseLinesWereNotTaken) {
  Start({.maxPerPeer = 1, .idleMilliseconds = 60000});
  RawConnection reading("127.0.0.2", port_);
  reading.Write("half a li");
  RawConnection waiting("127.0.0.2", port_);
  waiting.Write("a whole line, waiting for its turn");
  waiting.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return server_->waitingConnections() == 1; }, 3000));
  reading.FinishWriting();
  server_->Stop();
  for (RawConnection* c : {&reading, &waiting}) {
    ASSERT_TRUE(PumpUntil([&] { return c->EndingSeen() != RawConnection::Ending::Open; }, 3000));
    EXPECT_EQ(c->EndingSeen(), RawConnection::Ending::Reset);
  }
  EXPECT_TRUE(lines_.empty());
}

}  // namespace
}  // namespace vello::testing
