// Sending from the composer, balloon interaction and the log.
#include <richedit.h>

#include "app_fixture.h"
#include "messaging/balloon_window.h"
#include "messaging/log_date_time.h"
#include "messaging/log_entry.h"
#include "messaging/message_line.h"
#include "platform/clock.h"
#include "platform/tcp_server.h"
#include "platform/win_text.h"
#include "test_listener.h"

namespace vello::testing {
namespace {

class SendTest : public AppFixture {
 protected:
  void Compose(const wchar_t* text) { SetWindowTextW(app_->main.composer().hwnd(), text); }
  void SendTo(const std::string& destination) {
    app_->main.SetDestinationText(destination);
    app_->main.OnSendClicked();
  }
};

TEST_F(SendTest, TheComposerSendsTheExampleLineByteForByte) {
  StartApp();
  // The designed composer is 315 x 179; the frame's size depends on the
  // system's metrics, so size the window by its client area.
  RECT frame{0, 0, 315, 179 + 33};
  AdjustWindowRectEx(&frame, GetWindowLongW(app_->main.hwnd(), GWL_STYLE), TRUE, 0);
  SetWindowPos(app_->main.hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  Compose(L"こんにちは");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 1; }));
  std::string expected = "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"こんにちは\r\n\"";
  EXPECT_EQ(peer.received()[0], expected);
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }));
  EXPECT_EQ(boxes_[0].text, "送信しました！");
  EXPECT_EQ(boxes_[0].caption, "Vello");
}

TEST_F(SendTest, AWrappedLineSendsACrLfAtEachWrap) {
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  std::wstring longLine(120, L'あ');
  Compose(longLine.c_str());
  int displayed = static_cast<int>(SendMessageW(app_->main.composer().hwnd(), EM_GETLINECOUNT, 0, 0));
  ASSERT_GT(displayed, 1);
  SendTo("localhost");
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 1; }));
  ReceivedMessage f = ReadMessageLine(peer.received()[0]);
  std::string joined;
  std::size_t breaks = 0;
  for (std::size_t i = 0; i + 1 < f.text.size(); ++i)
    if (f.text[i] == '\r' && f.text[i + 1] == '\n') ++breaks;
  EXPECT_EQ(breaks, static_cast<std::size_t>(displayed));
  EXPECT_EQ(f.text.substr(f.text.size() - 2), "\r\n");
}

TEST_F(SendTest, NobodyListeningAsksTheUserToStartTheOtherCopyOffersToKeepItAndLogsNothing) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  StartApp();
  app_->main.outbox().SetPort(FreePort());
  Compose(L"x");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 8000));
  // The box says what it always said, and that the message will go when
  // the receiver is back; keeping it is the first and default answer.
  EXPECT_EQ(boxes_[0].text, "127.0.0.1さんに起動するようにお願いしてね\r\n"
                            "127.0.0.1さんには起動したら送ります（送らないときは［キャンセル］）");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON1));
  EXPECT_EQ(ReadBeside(".log"), "");
}

TEST_F(SendTest, DestinationRules) {
  WriteBeside(".dat", "jiro : 127.0.0.2\r\ntaro : 127.0.0.1\r\ntaro : 127.0.0.3\r\n");
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  SendTo("");
  SendTo("------");
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[0].text, "送信先を指定してください");
  EXPECT_EQ(boxes_[1].text, "送信先を指定してください");
  SendTo("*nobody");  // no line: nothing at all
  SendTo("*TARO");    // letter case counts
  Pump(300);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_TRUE(peer.received().empty());
  SendTo("*taro");  // the first of two lines: 127.0.0.1, where the listener is (127.0.0.3 has none)
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 3; }));
  EXPECT_EQ(boxes_[2].text, "送信しました！");
}

TEST_F(SendTest, TwoSendsInFlightEachDeliverTheirOwnMessage) {
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  Compose(L"first");
  SendTo("127.0.0.1");
  SendTo("localhost");  // the second press while the first is still resolving
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 2; }));
  int ok = 0;
  ASSERT_TRUE(PumpUntil([&] {
    ok = 0;
    for (auto& b : boxes_) ok += b.text == "送信しました！";
    return ok == 2;
  }));
}

// The benchmarks play many senders from one process, each from a loopback
// address of its own: the receiver keeps a share per sender address.
TEST_F(SendTest, TheOutboxSendsFromTheSourceAddressItIsGivenAndFailsWhenItCannotBeHad) {
  StartApp();
  std::vector<uint32_t> senders;
  TcpServer receiver(TcpServer::Callbacks{.onLine =
                                              [&](const std::string&, const in_addr& peer, LineReceipt& receipt) {
                                                senders.push_back(ntohl(peer.s_addr));
                                                receipt.Take();
                                              },
                                          .isWholeLine = [](const std::string& bytes) {
                                            return IsWholeMessageLine(bytes);
                                          },
                                          .onConnectionError = nullptr,
                                          .onOversizedLine = nullptr,
                                          .onAccepted = nullptr});
  const int port = FreePort();
  receiver.Listen(port);
  app_->main.outbox().SetPort(port);
  in_addr source{};
  source.s_addr = inet_addr("127.0.0.11");
  app_->main.outbox().attempts().SetSourceAddress(source);
  Compose(L"x");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return senders.size() == 1 && !boxes_.empty(); }));
  EXPECT_EQ(senders[0], 0x7F00000Bu);
  EXPECT_EQ(boxes_[0].text, "送信しました！");
  // An address that is not this computer's: the send fails, never goes out
  // from another address.
  source.s_addr = inet_addr("192.0.2.1");
  app_->main.outbox().attempts().SetSourceAddress(source);
  boxAnswer_ = IDCANCEL;  // not kept
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 2; }));
  EXPECT_EQ(boxes_[1].text.find("127.0.0.1さんに接続できませんでした"), 0u) << boxes_[1].text;
  Pump(300);
  EXPECT_EQ(senders.size(), 1u);
}

// The user's own short date pattern, put back as it was.
class SavedShortDate {
 public:
  SavedShortDate() { GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved_, 80); }
  ~SavedShortDate() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved_); }
  SavedShortDate(const SavedShortDate&) = delete;
  SavedShortDate& operator=(const SavedShortDate&) = delete;

 private:
  wchar_t saved_[80] = L"";
};

// Day names, month names and eras in the user's short date pattern are the
// system's to spell (Japanese locale): never the pattern letters themselves.
TEST_F(SendTest, TheLogWritesTheDateAsTheUsersShortDatePatternSpellsIt) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  SetClockForTests([] { return LocalDateTime{2026, 12, 8, 9, 4, 2}; });  // a Tuesday
  SavedShortDate saved;
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  // What each name is (Windows and Wine differ in details: Wine writes
  // "12月" for MMM and the era once per "g"), and the system's own text for
  // the date, which the log must carry whole.
  struct Case { const wchar_t* pattern; const char* holds; } cases[] = {
      {L"yyyy/MM/dd", "2026/12/08"},
      {L"yyyy/MM/dd (ddd)", "2026/12/08 (火)"},
      {L"dddd', 'yyyy/M/d", "火曜日, 2026/12/8"},
      {L"dd-MMM-yy", "08-12"},
      {L"MMMMd日", "12月8日"},
      {L"gg yyyy/M/d", "西暦"},
  };
  std::size_t sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.pattern));
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, c.pattern));
    SYSTEMTIME day{};
    day.wYear = 2026;
    day.wMonth = 12;
    day.wDayOfWeek = 2;
    day.wDay = 8;
    wchar_t text[80] = L"";
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &day, nullptr, text, 80), 0);
    const std::string date = Narrow(text);
    EXPECT_NE(date.find(c.holds), std::string::npos) << date;
    EXPECT_EQ(date.find_first_of("dMgy"), std::string::npos) << date;

    Compose(L"x");
    SendTo("127.0.0.1");
    ++sent;
    // The listener has the line before the sender hears it was taken, and
    // only then is the entry written: wait for the entry itself.
    std::string log;
    ASSERT_TRUE(PumpUntil([&] {
      log = ReadBeside(".log");
      std::size_t entries = 0;
      for (std::size_t at = log.find("【送信】"); at != std::string::npos; at = log.find("【送信】", at + 1)) ++entries;
      return entries == sent;
    }));
    EXPECT_EQ(peer.received().size(), sent);
    std::size_t last = log.rfind("Date : ");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(log.substr(last, log.find("\r\n", last) - last), "Date : " + date + " 9:04:02");
  }
  SetClockForTests({});
}

TEST_F(SendTest, ClearAfterSendEmptiesTheComposer) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nClear=1\r\n");
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  Compose(L"gone");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }));
  EXPECT_EQ(GetWindowTextLengthW(app_->main.composer().hwnd()), 0);
}

class BalloonTest : public AppFixture {
 protected:
  void Compose(const wchar_t* text) { SetWindowTextW(app_->main.composer().hwnd(), text); }
  TBalloon& Arrive(const std::string& text) {
    std::size_t before = app_->main.inbox().balloons().count();
    SendRaw(MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, text, "N"));
    EXPECT_TRUE(PumpUntil([&] { return app_->main.inbox().balloons().count() == before + 1; }));
    return app_->main.inbox().balloons().newest();
  }
};

TEST_F(BalloonTest, ReplyPutsTheSenderIntoTheDestinationBox) {
  StartApp();
  TBalloon& b = Arrive("hello\r\n");
  EXPECT_FALSE(b.Hint().empty());  // the reverse look-up of 127.0.0.1
  app_->main.inbox().balloons().BalloonMouseDown(b, 1, MK_RBUTTON, 3, 3);
  EXPECT_EQ(app_->main.inbox().balloons().current(), &b);
  Compose(L"keep");
  app_->main.inbox().balloons().OnReplyChosen();
  EXPECT_EQ(app_->main.DestinationText(), b.Hint());
  EXPECT_TRUE(IsWindowVisible(app_->main.hwnd()));
  EXPECT_EQ(GetWindowTextLengthW(app_->main.composer().hwnd()), 4);
}

TEST_F(BalloonTest, ABalloonIsCentredOnTheScreenItsLookWasFittedTo) {
  StartApp();
  // As the screen is asked for once per message and handed on; none handed
  // on: the system's own screen.
  struct Case {
    SIZE given, centredOn;
  } cases[] = {{{800, 600}, {800, 600}},
               {{0, 0}, {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}}};
  for (const Case& c : cases) {
    BalloonContent content{.look = {}, .text = "centred\r\n", .hint = "127.0.0.1", .sender = 0x0100007f,
                           .screen = c.given};
    content.look.width = 315;
    content.look.height = 179;
    TBalloon& b = app_->main.inbox().balloons().Arrive(std::move(content), nullptr, false, false);
    RECT r;
    GetWindowRect(b.hwnd(), &r);
    EXPECT_EQ(r.left, (c.centredOn.cx - 315) / 2) << c.given.cx;
    EXPECT_EQ(r.top, (c.centredOn.cy - 239) / 2) << c.given.cx;
  }
}

TEST_F(BalloonTest, QuotationPrefixesEveryLine) {
  StartApp();
  TBalloon& b = Arrive("line one\r\nline two\r\n");
  app_->main.inbox().balloons().BalloonMouseDown(b, 1, MK_RBUTTON, 3, 3);
  app_->main.inbox().balloons().OnQuoteReplyChosen();
  EXPECT_EQ(app_->main.composer().LinesText(), ">line one\r\n>line two\r\n");
}

TEST_F(BalloonTest, CtrlCHidesTheMenuCloseDestroys) {
  StartApp();
  TBalloon& first = Arrive("a\r\n");
  HWND firstWindow = first.hwnd();
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(firstWindow, WM_KEYDOWN, 'C', 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_TRUE(IsWindow(firstWindow));
  EXPECT_FALSE(IsWindowVisible(firstWindow));
  EXPECT_FALSE(app_->main.inbox().unacknowledged());
  // A key without Ctrl does nothing.
  TBalloon& second = Arrive("b\r\n");
  HWND secondWindow = second.hwnd();
  SendMessageW(secondWindow, WM_KEYDOWN, 'C', 0);
  EXPECT_TRUE(IsWindowVisible(secondWindow));
  app_->main.inbox().balloons().BalloonMouseDown(second, 1, MK_RBUTTON, 3, 3);
  app_->main.inbox().balloons().OnCloseChosen();
  EXPECT_FALSE(IsWindow(secondWindow));
}

TEST_F(BalloonTest, TheLogHoldsSentAndReceivedEntries) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  WriteBeside(".log", "hand written, no final break");
  SetClockForTests([] { return LocalDateTime{2026, 12, 8, 9, 4, 2}; });
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  SetWindowTextW(app_->main.composer().hwnd(), L"こんにちは");
  app_->main.SetDestinationText("127.0.0.1");
  app_->main.OnSendClicked();
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }));
  TBalloon& b = Arrive("はい\r\n");
  // The received entry is written once the sender's name is known.
  ASSERT_TRUE(PumpUntil([&] { return ReadBeside(".log").find("【受信】") != std::string::npos; }));
  SetClockForTests({});
  // The date-time text follows the user's locale (2026/12/08 on Windows, 2026/12/8 in Wine's Japanese).
  std::string when = LogDateTimeText({2026, 12, 8, 9, 4, 2});
  EXPECT_EQ(when.substr(when.size() - 8), " 9:04:02");
  std::string expected = "hand written, no final break\r\n"
                         "【送信】\r\nDate : " + when + "\r\nTo : 127.0.0.1\r\nこんにちは\r\n\r\n"
                         "【受信】\r\nDate : " + when + "\r\nFrom : " + b.Hint() + "\r\nはい\r\n\r\n";
  EXPECT_EQ(ReadBeside(".log"), expected);
}

}  // namespace
}  // namespace vello::testing
