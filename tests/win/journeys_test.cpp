// The two journeys on their own: the inbox and the outbox driven through
// their hosts, with real sockets and real balloons but no main window.
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "common/file_paths.h"
#include "message_pump.h"
#include "messaging/inbox.h"
#include "messaging/message_line.h"
#include "messaging/outbox.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/name_lookup.h"
#include "raw_connection.h"
#include "test_listener.h"

namespace vello::testing {
int FreePort();

namespace {

std::string Line(std::string_view text, const char* importance = "N") {
  return MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, text, importance);
}

// What the journeys tell the program around them, in the order told.
struct RecordingHosts : InboxHost, OutboxHost, BalloonHost {
  std::vector<std::string> events;
  bool workingMode = false;

  HWND BalloonOwner() const override { return nullptr; }
  bool WorkingMode() const override { return workingMode; }
  void BalloonShown(HWND) override { events.push_back("shown"); }
  void ArrivalNoticed(std::size_t notShown) override { events.push_back("notice " + std::to_string(notShown)); }
  HWND BoxOwner() const override { return nullptr; }
  void Delivered() override { events.push_back("delivered"); }
  void WaitingChanged() override { ++waitingChanges; }
  bool KnowsDestination(const std::string&) const override { return knowsDestination; }
  bool ListedRunning(const std::string&) const override { return listedRunning; }
  void ScheduledDelivered(const std::string& scheduleKey) override { scheduledDelivered.push_back(scheduleKey); }
  int waitingChanges = 0;
  bool knowsDestination = true;
  bool listedRunning = false;
  std::vector<std::string> scheduledDelivered;
  void AcknowledgeArrival() override {}
  void ReplyTo(const std::string&) override {}
  void SetComposerText(const std::string&) override {}
};

class JourneyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    dir_ = std::filesystem::path(temp) / (L"vello-journey-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                          std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter));
    std::filesystem::create_directories(dir_);
    SetExecutablePathForTests(dir_ / L"vello.exe");
    SetMessageBoxFunction([this](HWND, const std::string& text, const std::string&, UINT) {
      hosts_.events.push_back("box " + text);
      return IDOK;
    });
    SetNameLookupForTests([](const in_addr& a) -> std::optional<std::string> {
      if (a.s_addr == inet_addr("127.0.0.2")) return "pc-b";
      return std::nullopt;
    });
  }
  void TearDown() override {
    inbox_.reset();
    outbox_.reset();
    SetMessageBoxFunction({});
    SetNameLookupForTests({});
    SetExecutablePathForTests({});
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    return PumpMessagesUntil(done, timeoutMs);
  }
  void Pump(int ms) {
    PumpMessagesUntil([] { return false; }, ms);
  }
  std::string Log() const {
    std::ifstream in(FileBesideExecutable(kLogEnding), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  Inbox& StartInbox() {
    inbox_ = std::make_unique<Inbox>(hosts_, hosts_);
    port_ = FreePort();
    inbox_->Listen(port_);
    return *inbox_;
  }
  Outbox& StartOutbox() {
    outbox_ = std::make_unique<Outbox>(hosts_, dir_ / L"vello.wait");
    return *outbox_;
  }
  std::size_t Count(const std::string& event) const {
    return static_cast<std::size_t>(std::count(hosts_.events.begin(), hosts_.events.end(), event));
  }

  std::filesystem::path dir_;
  RecordingHosts hosts_;
  std::unique_ptr<Inbox> inbox_;
  std::unique_ptr<Outbox> outbox_;
  int port_ = 0;
};

TEST_F(JourneyTest, AReceivedLineBecomesABalloonANoticeAndALogEntryUnderItsSendersName) {
  Inbox& inbox = StartInbox();
  inbox.SetLogOn(true);
  RawConnection sender("127.0.0.2", port_);
  sender.Write(Line("ひとりで\r\n"));
  sender.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return inbox.balloons().count() == 1; }));
  EXPECT_EQ(inbox.balloons().newest().Caption(), "ひとりで\r\n");
  EXPECT_TRUE(IsWindowVisible(inbox.balloons().newest().hwnd()));
  // Shown before the notice; nothing was refused.
  EXPECT_EQ(hosts_.events, (std::vector<std::string>{"shown", "notice 0"}));
  EXPECT_TRUE(inbox.unacknowledged());
  ASSERT_TRUE(PumpUntil([&] { return sender.EndingSeen() != RawConnection::Ending::Open; }));
  EXPECT_EQ(sender.EndingSeen(), RawConnection::Ending::InOrder);
  ASSERT_TRUE(PumpUntil([&] { return Log().find("pc-b") != std::string::npos; }));
  EXPECT_NE(Log().find("【受信】"), std::string::npos);
  EXPECT_NE(Log().find("ひとりで"), std::string::npos);
  inbox.Acknowledge();
  EXPECT_FALSE(inbox.unacknowledged());
}

TEST_F(JourneyTest, InWorkingModeTheBalloonIsHeldHiddenAndTheNoticeStillStarts) {
  Inbox& inbox = StartInbox();
  hosts_.workingMode = true;
  RawConnection sender("127.0.0.2", port_);
  sender.Write(Line("あとで\r\n"));
  sender.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return inbox.balloons().held().size() == 1; }));
  EXPECT_FALSE(IsWindowVisible(inbox.balloons().held()[0]));
  EXPECT_EQ(Count("notice 0"), 1u);
  EXPECT_EQ(Log(), "");  // the log is off
}

TEST_F(JourneyTest, ASenderBeyondItsShareIsRefusedCountedAndNotLogged) {
  Inbox& inbox = StartInbox();
  inbox.SetLogOn(true);
  std::vector<std::unique_ptr<RawConnection>> senders;
  for (std::size_t i = 0; i < TBalloons::kMaxPerSender + 1; ++i) {
    senders.push_back(std::make_unique<RawConnection>("127.0.0.2", port_));
    senders.back()->Write(Line("多すぎ " + std::to_string(i) + "\r\n"));
    senders.back()->FinishWriting();
  }
  ASSERT_TRUE(PumpUntil([&] { return inbox.notShown() == 1; }, 20000));
  EXPECT_EQ(inbox.balloons().count(), TBalloons::kMaxPerSender);
  EXPECT_EQ(Count("notice 1"), 1u);
  std::size_t reset = 0;
  ASSERT_TRUE(PumpUntil([&] {
    reset = 0;
    for (auto& s : senders) reset += s->EndingSeen() == RawConnection::Ending::Reset;
    return reset == 1;
  }));
  // Another sender still has its share.
  RawConnection other("127.0.0.3", port_);
  other.Write(Line("こちらは\r\n"));
  other.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return inbox.balloons().count() == TBalloons::kMaxPerSender + 1; }));
  inbox.Stop();  // the entries waiting for names are written now
  std::string log = Log();
  std::size_t entries = 0;
  for (std::size_t at = log.find("【受信】"); at != std::string::npos; at = log.find("【受信】", at + 1)) ++entries;
  EXPECT_EQ(entries, TBalloons::kMaxPerSender + 1);
}

TEST_F(JourneyTest, ALineThatCannotBeReadIsReportedWithItsSendersAddressAndNothingIsShown) {
  Inbox& inbox = StartInbox();
  RawConnection sender("127.0.0.2", port_);
  sender.Write("315,179,not a number\r\n");
  sender.FinishWriting();
  ASSERT_TRUE(PumpUntil([&] { return !hosts_.events.empty(); }));
  ASSERT_EQ(hosts_.events.size(), 1u);
  EXPECT_EQ(hosts_.events[0].rfind("box 127.0.0.2 から届いたメッセージを表示できません", 0), 0u) << hosts_.events[0];
  EXPECT_EQ(inbox.balloons().count(), 0u);
  EXPECT_FALSE(inbox.unacknowledged());
  ASSERT_TRUE(PumpUntil([&] { return sender.EndingSeen() != RawConnection::Ending::Open; }));
  EXPECT_EQ(sender.EndingSeen(), RawConnection::Ending::Reset);
}

struct Sending {
  SendRequest request;
  std::vector<SendOutcome> ended;
};

SendRequest Request(const std::string& host, std::optional<std::string> text, std::vector<std::string>& events) {
  SendRequest request;
  request.host = host;
  request.destination = "相手";
  request.compose = [text]() -> std::optional<OutgoingMessage> {
    if (!text) return std::nullopt;
    return OutgoingMessage{.look = {315, 179, 16777215, 0, 10, "MS ゴシック", 0}, .text = *text, .importance = "P"};
  };
  request.ended = [&events](SendOutcome outcome) {
    events.push_back(outcome == SendOutcome::Sent ? "ended sent"
                     : outcome == SendOutcome::Dropped ? "ended dropped"
                                                       : "ended failed");
  };
  return request;
}

TEST_F(JourneyTest, ADeliveredMessageIsLoggedConfirmedAndThenHandedBack) {
  Outbox& outbox = StartOutbox();
  outbox.SetLogOn(true);
  TestListener peer;
  outbox.SetPort(peer.port());
  outbox.Send(Request("127.0.0.1", "届け\r\n", hosts_.events));
  ASSERT_TRUE(PumpUntil([&] { return Count("delivered") == 1; }));
  ASSERT_EQ(peer.received().size(), 1u);
  EXPECT_EQ(peer.received()[0], "315,179,16777215,0,10,\"MS ゴシック\",0,P,\"届け\r\n\"");
  EXPECT_EQ(hosts_.events, (std::vector<std::string>{"ended sent", "box 送信しました！", "delivered"}));
  std::string log = Log();
  EXPECT_NE(log.find("【送信】"), std::string::npos) << log;
  EXPECT_NE(log.find("相手"), std::string::npos) << log;
  EXPECT_NE(log.find("届け"), std::string::npos) << log;
}

TEST_F(JourneyTest, EachWayASendFailsIsToldOnceAndNeitherLoggedNorHandedBack) {
  struct Case {
    const char* name;
    bool listening;
    std::optional<std::string> text;
    std::vector<std::string> expected;
  };
  const std::string tooLong(kMaxMessageLineBytes, 'a');
  const Case cases[] = {
      {"nobody listens", false, "x\r\n", {"box 相手さんに起動するようにお願いしてね", "ended failed"}},
      {"nothing to send any more", true, std::nullopt, {"ended dropped"}},
      {"too long for the line",
       true,
       tooLong,
       {"box メッセージが長すぎて送れません (" +
                            std::to_string(MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, tooLong, "P")
                                               .size()) +
                            " バイト、送れるのは " + std::to_string(kMaxMessageLineBytes) + " バイトまで)",
        "ended failed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hosts_.events.clear();
    Outbox& outbox = StartOutbox();
    outbox.SetLogOn(true);
    std::unique_ptr<TestListener> peer;
    if (c.listening) {
      peer = std::make_unique<TestListener>();
      outbox.SetPort(peer->port());
    } else {
      outbox.SetPort(FreePort());
    }
    outbox.Send(Request("127.0.0.1", c.text, hosts_.events));
    ASSERT_TRUE(PumpUntil([&] { return hosts_.events.size() >= c.expected.size(); }, 10000));
    Pump(200);
    EXPECT_EQ(hosts_.events, c.expected);
    if (peer) {
      for (const std::string& bytes : peer->received()) EXPECT_EQ(bytes, "");
    }
    EXPECT_EQ(Log(), "");
  }
}

TEST_F(JourneyTest, AConnectionThatNeverStandsIsGivenUpAndForACopyListedAsRunningNamesTheFirewall) {
  // A listener whose queue is full: the system drops further connections
  // without a word, as a firewall that drops the port does.
  sockaddr_in a;
  SOCKET full = BoundLoopbackSocket(a);
  ASSERT_NE(full, INVALID_SOCKET);
  ASSERT_EQ(listen(full, 0), 0);
  const int port = ntohs(a.sin_port);
  std::vector<SOCKET> fillers;
  for (int i = 0; i < 2; ++i) {
    fillers.push_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long nonBlocking = 1;
    ioctlsocket(fillers.back(), FIONBIO, &nonBlocking);
    connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  Pump(300);
  const std::string portText = std::to_string(port);
  struct Case {
    bool listed;
    std::string told;
  } cases[] = {
      {false, "box 相手さんに接続できませんでした"},
      {true, "box 相手さんの Vello は起動していますが、接続できませんでした。相手さんのパソコンか途中のファイアウォールが TCP " +
                 portText + " 番ポートを止めているようです"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    hosts_.events.clear();
    hosts_.listedRunning = c.listed;
    Outbox& outbox = StartOutbox();
    outbox.SetPort(port);
    outbox.attempts().SetConnectTimeout(600);
    outbox.Send(Request("127.0.0.1", "x\r\n", hosts_.events));
    ASSERT_TRUE(PumpUntil([&] { return hosts_.events.size() >= 2; }, 5000));
    EXPECT_EQ(hosts_.events, (std::vector<std::string>{c.told, "ended failed"}));
  }
  for (SOCKET s : fillers) closesocket(s);
  closesocket(full);
}

}  // namespace
}  // namespace vello::testing
