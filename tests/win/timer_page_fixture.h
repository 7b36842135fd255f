// What the timer page's and the scheduler's tests share: loopback listeners
// that collect what each connection sent, and the fixture that fills the page.
#pragma once
#include <cstdlib>
#include <map>

#include "app_fixture.h"
#include "common/file_io.h"
#include "common/native_path.h"
#include "common/vello_error.h"
#include "messaging/balloon_window.h"
#include "messaging/message_line.h"
#include "platform/clock.h"
#include "platform/socket_error.h"
#include "platform/win_text.h"
#include "schedule/schedule_entry.h"
#include "schedule/schedule_file.h"
#include "schedule/scheduler.h"
#include "settings/timer_page.h"

namespace vello::testing {


// Accepts connections on one loopback address and collects what each one
// sent before closing. Non-blocking: the sender runs on this same thread.
class Listener {
 public:
  Listener(const char* address, int port) {
    EnsureWinsock();
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = inet_addr(address);
    ok_ = bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(socket_, 8) == 0;
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
  }
  ~Listener() {
    for (auto& [s, data] : open_) closesocket(s);
    closesocket(socket_);
  }
  bool ok() const { return ok_; }

  void Poll() {
    for (SOCKET c; (c = accept(socket_, nullptr, nullptr)) != INVALID_SOCKET;) {
      u_long nonBlocking = 1;
      ioctlsocket(c, FIONBIO, &nonBlocking);
      open_[c];
    }
    for (auto it = open_.begin(); it != open_.end();) {
      char buffer[4096];
      int n = recv(it->first, buffer, sizeof buffer, 0);
      if (n > 0) {
        it->second.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
        lines.push_back(it->second);
        closesocket(it->first);
        it = open_.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::vector<std::string> lines;

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool ok_ = false;
  std::map<SOCKET, std::string> open_;
};

struct When {
  std::string year, month, day, hour, minute;
};

class TimerPageTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetClockForTests([this] { return now_; });
  }
  void TearDown() override {
    AppFixture::TearDown();
    SetClockForTests({});
  }

  TTimerPage& page() { return app_->setup.content<TTimerPage>(SetupPage::Timer); }
  TScheduler& scheduler() { return app_->main.scheduler(); }
  // The scheduler's records, in list order.
  std::vector<TScheduleEntry> entries() {
    std::vector<TScheduleEntry> records;
    for (const ScheduledEntry& e : scheduler().entries()) records.push_back(e.record);
    return records;
  }

  // Start, a composer message with a look of its own, and the timer page shown.
  void StartWithComposer(const std::string& text = "予約です\r\n二行目") {
    StartApp();
    MessageLook look;
    look.fontName = "MS ゴシック";
    look.fontSize = 14;
    look.fontStyle = 1 | 2;
    look.color = 0xCCFFEE;
    look.fontColor = 0x0000FF;
    app_->main.composer().SetLook(look);
    app_->main.SetComposerText(text);
    app_->main.OnTimerChosen();
  }

  void SetWhen(const When& w) {
    TTimerPage::SetControlText(page().yearBox, w.year);
    TTimerPage::SetControlText(page().monthBox, w.month);
    TTimerPage::SetControlText(page().dayBox, w.day);
    TTimerPage::SetControlText(page().hourBox, w.hour);
    TTimerPage::SetControlText(page().minuteBox, w.minute);
  }

  // Adds the composer's message as an entry through the add button.
  void Add(const When& w, const std::string& destination, bool important = false) {
    SetWhen(w);
    TTimerPage::SetControlText(page().destinationBox, destination);
    SendMessageW(page().importantBox, BM_SETCHECK, important ? BST_CHECKED : BST_UNCHECKED, 0);
    page().OnAddClicked();
  }

  void StartScheduler() {
    SendMessageW(page().timerOnBox, BM_SETCHECK, BST_CHECKED, 0);
    page().OnTimerOnToggled();
  }

  // One tick, delivered as the dialog's timer message.
  void Tick() { SendMessageW(scheduler().window(), WM_TIMER, TScheduler::kTimerId, 0); }

  std::vector<std::string> Row(int row) {
    std::vector<std::string> r;
    for (int c = 0; c < 4; ++c) r.push_back(page().RowText(row, c));
    return r;
  }

  void SelectRow(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(page().entryList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }

  std::vector<TScheduleEntry> FileEntries() {
    std::string bytes = ReadBeside("t.dat");
    std::vector<TScheduleEntry> out;
    for (std::size_t i = 0; i + TScheduleEntry::kSize <= bytes.size(); i += TScheduleEntry::kSize)
      out.push_back(TScheduleEntry::FromBytes(std::string_view(bytes).substr(i, TScheduleEntry::kSize)));
    EXPECT_EQ(bytes.size() % TScheduleEntry::kSize, 0u);
    return out;
  }

  std::size_t CountBoxes(const std::string& text) const {
    std::size_t n = 0;
    for (const auto& b : boxes_) n += b.text == text;
    return n;
  }

  bool PumpListeners(std::vector<Listener*> listeners, const std::function<bool()>& done, int ms = 5000) {
    return PumpUntil(
        [&] {
          for (Listener* l : listeners) l->Poll();
          return done();
        },
        ms);
  }

  // 10 December 2026, 14:35:03: a date-time text of the full 16 characters.
  LocalDateTime now_{2026, 12, 10, 14, 35, 3};
  const When kNow{"2026", "12", "10", "14", "35"};
  static constexpr char kNowText[] = "2026/12/10 14:35";
};

class TwoListeners : public TimerPageTest {
 protected:
  void StartListening() {
    listenPort_ = FreePort();
    first_ = std::make_unique<Listener>("127.0.0.1", listenPort_);
    second_ = std::make_unique<Listener>("127.0.0.2", listenPort_);
    ASSERT_TRUE(first_->ok());
    ASSERT_TRUE(second_->ok());
    app_->main.outbox().SetPort(listenPort_);
  }
  bool PumpForLines(std::size_t first, std::size_t second) {
    return PumpListeners({first_.get(), second_.get()},
                         [&] { return first_->lines.size() >= first && second_->lines.size() >= second; });
  }
  int listenPort_ = 0;
  std::unique_ptr<Listener> first_, second_;
};

}  // namespace vello::testing
