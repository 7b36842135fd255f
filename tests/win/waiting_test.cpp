// Messages that wait for their receiver, and messages to several people:
// the composer's send, the box, the waiting file, the retry when the
// receiver is seen again, and the window of waiting messages.
#include "app_fixture.h"

#include <commctrl.h>

#include "common/file_io.h"
#include "common/file_paths.h"
#include "messaging/message_line.h"
#include "messaging/waiting_file.h"
#include "platform/win_text.h"
#include "test_listener.h"

namespace vello::testing {
namespace {

class WaitingTest : public AppFixture {
 protected:
  void Start(const std::function<void(RetryPolicy&)>& adjust = {}) {
    WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\nDiscovery=0\r\n");
    StartApp();
    // Quick retries, so that a test sees several.
    RetryPolicy quick;
    quick.firstDelayMs = 200;
    quick.maxDelayMs = 400;
    quick.refusedFirstDelayMs = 100;
    quick.refusedMaxDelayMs = 200;
    quick.seenAgainSpreadMs = 50;
    if (adjust) adjust(quick);
    app_->main.outbox().SetRetryPolicy(quick);
    ASSERT_TRUE(PumpUntil([&] { return trayAdded(); }));
  }
  bool trayAdded() const {
    for (const TrayCall& c : trayCalls_)
      if (c.action == NIM_ADD) return true;
    return false;
  }
  void Compose(const wchar_t* text) { SetWindowTextW(app_->main.composer().hwnd(), text); }
  void SendTo(const std::string& destination) {
    app_->main.SetDestinationText(destination);
    app_->main.OnSendClicked();
  }
  std::vector<WaitingMessage> Stored() { return LoadWaitingFile(PathBeside(std::string(kWaitingEnding))); }
  // The receiver runs now and is seen (as discovery would): the kept
  // message reaches it, the list empties, and a moment later it still has
  // that one message only.
  void DeliveredOnceTo(TestListener& receiver) {
    app_->main.outbox().SetPort(receiver.port());
    app_->main.outbox().ReceiversSeen({"127.0.0.1"});
    ASSERT_TRUE(PumpUntil([&] { return receiver.received().size() == 1; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return Stored().empty(); }));
    Pump(1000);
    ASSERT_EQ(receiver.received().size(), 1u);
  }
  std::wstring LastTip() const { return trayCalls_.empty() ? L"" : trayCalls_.back().record.szTip; }
  std::size_t CountInLog(const std::string& text) {
    std::string log = ReadBeside(".log");
    std::size_t n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
};

TEST_F(WaitingTest, AMessageKeptForAReceiverThatIsOffGoesOnceWhenItIsSeenAgainQuietly) {
  Start();
  int nobody = FreePort();
  app_->main.outbox().SetPort(nobody);
  Compose(L"あとで読んでね");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  // Kept, in the file, with its look and importance as composed.
  std::vector<WaitingMessage> stored = Stored();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].destination, "127.0.0.1");
  EXPECT_EQ(stored[0].text, "あとで読んでね\r\n");
  EXPECT_EQ(stored[0].look, app_->main.composer().Look());
  EXPECT_EQ(stored[0].state, WaitState::kWaiting);
  EXPECT_EQ(stored[0].lastReason, "Vello が起動していません");
  EXPECT_NE(LastTip().find(L"送信待ち 1 件"), std::wstring::npos) << Narrow(LastTip());
  // Tried again on its back-off while nobody listens: still waiting, no box.
  ASSERT_TRUE(PumpUntil([&] { return Stored().size() == 1 && Stored()[0].attempts >= 3; }, 8000));
  EXPECT_EQ(boxes_.size(), 1u);
  // The receiver starts and is seen: it gets the message once.
  TestListener receiver;
  DeliveredOnceTo(receiver);
  EXPECT_EQ(ReadMessageLine(receiver.received()[0]).text, "あとで読んでね\r\n");
  // Told quietly: no box, the tip without the count, and logged as sent.
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(LastTip().find(L"送信待ち"), std::wstring::npos) << Narrow(LastTip());
  EXPECT_EQ(CountInLog("【送信】"), 1u);
  EXPECT_EQ(CountInLog("あとで読んでね"), 1u);
}

TEST_F(WaitingTest, TheSecondAnswerDropsTheMessage) {
  Start();
  app_->main.outbox().SetPort(FreePort());
  boxAnswer_ = IDCANCEL;
  Compose(L"いらない");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  Pump(300);
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(app_->main.outbox().waiting().messages().size(), 0u);
}

TEST_F(WaitingTest, SeveralDestinationsAreToldInOneBoxAndEachDeliveredCopyIsLogged) {
  WriteBeside(".dat", "ふたり : 127.0.0.1; localhost\r\n");
  Start();
  TestListener receiver;  // on 127.0.0.1 only: 127.0.0.2 refuses
  app_->main.outbox().SetPort(receiver.port());
  Compose(L"みなさんへ");
  SendTo("*ふたり, 127.0.0.2");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  EXPECT_EQ(boxes_[0].text,
            "2 人に送りました。127.0.0.2 には起動したら送ります。\r\n（送らないときは［キャンセル］）");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON1));
  EXPECT_EQ(receiver.received().size(), 2u);
  EXPECT_EQ(CountInLog("【送信】"), 2u);
  EXPECT_EQ(CountInLog("*ふたり (127.0.0.1)"), 1u);
  EXPECT_EQ(CountInLog("*ふたり (localhost)"), 1u);
  std::vector<WaitingMessage> stored = Stored();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].host, "127.0.0.2");
}

TEST_F(WaitingTest, AnAttemptCutShortByTheProgramsEndIsNeverRepeatedByItself) {
  // The file as a copy killed while writing the line left it.
  WaitingMessage m;
  m.id = "1-cut";
  m.destination = m.host = "127.0.0.1";
  m.look = {315, 179, 16777215, 0, 10, "MS ゴシック", 0};
  m.text = "一度だけ\r\n";
  m.importance = "N";
  m.writtenAt = 1;
  m.expiresAt = INT64_MAX / 2;
  m.attempts = 2;
  m.state = WaitState::kSending;
  UpdateWaitingFile(PathBeside(std::string(kWaitingEnding)), [&](std::vector<WaitingMessage>& all) {
    all.push_back(m);
    return true;
  });
  TestListener receiver;
  Start();
  app_->main.outbox().SetPort(receiver.port());
  ASSERT_TRUE(PumpUntil([&] { return app_->main.outbox().waiting().messages().size() == 1; }));
  app_->main.outbox().ReceiversSeen({"127.0.0.1"});
  Pump(1500);
  EXPECT_TRUE(receiver.received().empty());
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].state, WaitState::kUnknown);
  // The user may send it again, from the window of waiting messages.
  SendMessageW(app_->main.hwnd(), WM_COMMAND, mainids::WaitingItem, 0);
  TWaitingForm& window = app_->main.waitingForm();
  ASSERT_TRUE(IsWindowVisible(window.hwnd()));
  EXPECT_EQ(SendMessageW(window.entryList, LVM_GETITEMCOUNT, 0, 0), 1);
  SendMessageW(window.sendNowButton, BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return receiver.received().size() == 1; }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return Stored().empty(); }));
  EXPECT_EQ(SendMessageW(window.entryList, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(WaitingTest, TheWindowDropsTheChosenMessage) {
  Start();
  app_->main.outbox().SetPort(FreePort());
  Compose(L"ひとつめ");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  Compose(L"ふたつめ");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 2; }, 8000));
  ASSERT_EQ(Stored().size(), 2u);
  SendMessageW(app_->main.hwnd(), WM_COMMAND, mainids::WaitingItem, 0);
  TWaitingForm& window = app_->main.waitingForm();
  ASSERT_EQ(SendMessageW(window.entryList, LVM_GETITEMCOUNT, 0, 0), 2);
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  select.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window.entryList, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
  SendMessageW(window.dropButton, BM_CLICK, 0, 0);
  std::vector<WaitingMessage> stored = Stored();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].text, "ひとつめ\r\n");
  EXPECT_EQ(SendMessageW(window.entryList, LVM_GETITEMCOUNT, 0, 0), 1);
}

TEST_F(WaitingTest, AChangeOfNetworkTriesEveryKeptMessageSoon) {
  std::string network = "192.168.1.5/24 ";
  // The back-off alone would wait ten minutes.
  Start([](RetryPolicy& p) { p.firstDelayMs = p.maxDelayMs = 600'000; });
  app_->main.outbox().SetNetworkProbeForTests([&] { return network; }, 300);
  app_->main.outbox().SetPort(FreePort());
  Compose(L"つながったら");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  ASSERT_EQ(Stored().size(), 1u);
  TestListener receiver;
  app_->main.outbox().SetPort(receiver.port());
  Pump(1500);  // several looks at the network, which has not changed
  EXPECT_TRUE(receiver.received().empty());
  network = "10.0.0.7/8 ";  // another network (a cable, a VPN)
  ASSERT_TRUE(PumpUntil([&] { return receiver.received().size() == 1; }, 3000));
  ASSERT_TRUE(PumpUntil([&] { return Stored().empty(); }));
  EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(WaitingTest, AMessageThatExpiresIsGivenUpAndSaidSoNamingItsReceiverAndFirstLine) {
  Start([](RetryPolicy& p) { p.lifetimeMs = 1500; });
  app_->main.outbox().SetPort(FreePort());
  Compose(L"期限つき\r\n二行目");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  ASSERT_EQ(Stored().size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 2; }, 5000));
  EXPECT_EQ(boxes_[1].text,
            "次のメッセージは受け取られないまま期限が過ぎたので、送るのをやめました。\r\n127.0.0.1「期限つき」");
  EXPECT_EQ(boxes_[1].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(LastTip().find(L"送信待ち"), std::wstring::npos) << Narrow(LastTip());
  Pump(1000);
  EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(WaitingTest, AWaitingFileThatRefusesChangesIsSaidOnceAndNothingIsLostOrDoubled) {
  Start();
  app_->main.outbox().SetPort(FreePort());
  Compose(L"ファイルが使えなくても");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  const int savedWait = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(50);
  {
    // Another program holds the file for a while; tries fall due meanwhile.
    FileLock held(PathBeside(std::string(kWaitingEnding)));
    ASSERT_EQ(held.state(), FileLock::State::kHeld);
    Pump(3000);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_NE(boxes_[1].text.find(std::string(kWaitingEnding)), std::string::npos) << boxes_[1].text;
  }
  SetFileLockWaitMilliseconds(savedWait);
  // Free again: the message still waits, and reaches its receiver once.
  TestListener receiver;
  DeliveredOnceTo(receiver);
  EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(WaitingTest, TheWindowActsOnTheMessageItsRowShowsAlsoWhenTheListChangedUnderIt) {
  Start([](RetryPolicy& p) { p.firstDelayMs = p.maxDelayMs = 600'000; });
  app_->main.outbox().SetPort(FreePort());
  for (const wchar_t* text : {L"ひとつめ", L"ふたつめ"}) {
    Compose(text);
    SendTo("127.0.0.1");
    std::size_t before = boxes_.size();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == before + 1; }, 8000));
  }
  SendMessageW(app_->main.hwnd(), WM_COMMAND, mainids::WaitingItem, 0);
  TWaitingForm& window = app_->main.waitingForm();
  ASSERT_EQ(SendMessageW(window.entryList, LVM_GETITEMCOUNT, 0, 0), 2);
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  select.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window.entryList, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
  // Another copy sharing the folder sends the first meanwhile, and this
  // copy reads the file again before the window is refreshed.
  UpdateWaitingFile(PathBeside(std::string(kWaitingEnding)), [](std::vector<WaitingMessage>& all) {
    all.erase(all.begin());
    return true;
  });
  app_->main.outbox().RetryAllSoon();
  ASSERT_EQ(app_->main.outbox().waiting().messages().size(), 1u);
  SendMessageW(window.dropButton, BM_CLICK, 0, 0);
  EXPECT_TRUE(Stored().empty());
}

TEST_F(WaitingTest, ADeliveryTheWaitingFileCannotTakeAtOnceIsRecordedLaterAndNeverRepeated) {
  Start();
  app_->main.outbox().SetPort(FreePort());
  Compose(L"一度だけ届く");
  SendTo("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 1; }, 8000));
  TestListener receiver;
  receiver.HoldBeforeClose(true);
  app_->main.outbox().SetPort(receiver.port());
  app_->main.outbox().ReceiversSeen({"127.0.0.1"});
  // The receiver has the line; before the sender hears so, another program
  // takes the waiting file.
  ASSERT_TRUE(PumpUntil([&] { return receiver.holding(); }, 5000));
  const int savedWait = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(50);
  {
    FileLock held(PathBeside(std::string(kWaitingEnding)));
    ASSERT_EQ(held.state(), FileLock::State::kHeld);
    receiver.HoldBeforeClose(false);
    ASSERT_TRUE(PumpUntil([&] { return receiver.received().size() == 1; }, 5000));
    Pump(1000);
  }
  SetFileLockWaitMilliseconds(savedWait);
  ASSERT_EQ(boxes_.size(), 2u);  // the file's trouble, once
  // Free again: the delivery is recorded, nothing waits, nothing goes twice.
  ASSERT_TRUE(PumpUntil([&] { return Stored().empty(); }, 5000));
  Pump(1000);
  EXPECT_EQ(receiver.received().size(), 1u);
  EXPECT_EQ(CountInLog("一度だけ届く"), 1u);
}

}  // namespace
}  // namespace vello::testing
