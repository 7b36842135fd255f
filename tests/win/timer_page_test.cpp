// The timer page and the scheduler: adding and deleting entries, the tick
// with the clock behind its seam, and the scheduled sends over loopback.
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
namespace {

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

  TTimerPage& page() { return app_->setup.timerPage(); }
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
    app_->main.T1Click();
  }

  void SetWhen(const When& w) {
    TTimerPage::SetControlText(page().ComboBox2, w.year);
    TTimerPage::SetControlText(page().ComboBox3, w.month);
    TTimerPage::SetControlText(page().ComboBox4, w.day);
    TTimerPage::SetControlText(page().ComboBox5, w.hour);
    TTimerPage::SetControlText(page().ComboBox6, w.minute);
  }

  // Adds the composer's message as an entry through the add button.
  void Add(const When& w, const std::string& destination, bool important = false) {
    SetWhen(w);
    TTimerPage::SetControlText(page().ComboBox7, destination);
    SendMessageW(page().CheckBox8, BM_SETCHECK, important ? BST_CHECKED : BST_UNCHECKED, 0);
    page().Button8Click();
  }

  void StartScheduler() {
    SendMessageW(page().CheckBox7, BM_SETCHECK, BST_CHECKED, 0);
    page().CheckBox7Click();
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
    SendMessageW(page().ListView1, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
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

TEST_F(TimerPageTest, ShowingThePageFillsThePresentTimeAndTheChoices) {
  now_ = {2027, 3, 4, 0, 7, 59};
  StartWithComposer();
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox2), "2027");
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox3), "3");
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox4), "4");
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox5), "0");
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox6), "7");

  auto items = [](HWND box) {
    std::vector<std::string> out;
    int n = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      wchar_t text[16] = {};
      SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      out.push_back(Narrow(text));
    }
    return out;
  };
  // The year box offers the present year and the four after it.
  EXPECT_EQ(items(page().ComboBox2), (std::vector<std::string>{"2027", "2028", "2029", "2030", "2031"}));
  std::vector<std::string> hours = items(page().ComboBox5);
  ASSERT_EQ(hours.size(), 24u);
  EXPECT_EQ(hours.front(), "0");
  EXPECT_EQ(hours.back(), "23");
  EXPECT_EQ(items(page().ComboBox3).size(), 12u);
  EXPECT_EQ(items(page().ComboBox4).size(), 31u);
  EXPECT_EQ(items(page().ComboBox6).back(), "59");
  // There was no schedule file: showing the dialog leaves an empty one.
  EXPECT_TRUE(FileExists(PathBeside("t.dat")));
  EXPECT_EQ(ReadBeside("t.dat"), "");
  EXPECT_EQ(page().RowCount(), 0);
}

TEST_F(TimerPageTest, ControlsSitAtTheirPlacesInTabOrder) {
  StartWithComposer();
  HWND p = app_->setup.Pages[4];
  struct Place { HWND control; int x, y, w, h; } places[] = {
      {page().CheckBox7, 8, 8, 145, 17},   {page().CheckBox8, 166, 60, 49, 17},
      {page().Button9, 224, 56, 57, 25},   {page().Button8, 288, 56, 49, 25},
      {page().ListView1, 0, 88, 345, 102},
  };
  for (const auto& pl : places) {
    RECT r;
    GetWindowRect(pl.control, &r);
    MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, pl.x);
    EXPECT_EQ(r.top, pl.y);
    EXPECT_EQ(r.right - r.left, pl.w);
    EXPECT_EQ(r.bottom - r.top, pl.h);
  }
  struct Box { HWND control; int x, y, w; } boxes[] = {
      {page().ComboBox2, 0, 32, 49},  {page().ComboBox3, 72, 32, 41}, {page().ComboBox4, 136, 32, 41},
      {page().ComboBox5, 200, 32, 41}, {page().ComboBox6, 264, 32, 41}, {page().ComboBox7, 0, 56, 153},
  };
  for (const auto& b : boxes) {
    RECT r;
    GetWindowRect(b.control, &r);
    MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, b.x);
    EXPECT_EQ(r.top, b.y);
    EXPECT_EQ(r.right - r.left, b.w);
  }
  EXPECT_EQ(TTimerPage::ControlText(page().CheckBox7), "タイマーセット(&S)");
  EXPECT_EQ(TTimerPage::ControlText(page().CheckBox8), "重要！");
  EXPECT_EQ(TTimerPage::ControlText(page().Button8), "追加(&A)");
  EXPECT_EQ(TTimerPage::ControlText(page().Button9), "削除(&D)");

  // The labels after the date boxes.
  std::vector<std::pair<std::string, POINT>> labels;
  for (HWND c = GetWindow(p, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32];
    GetClassNameW(c, cls, 32);
    if (_wcsicmp(cls, L"Static") != 0) continue;
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
    labels.push_back({TTimerPage::ControlText(c), {r.left, r.top}});
  }
  const std::pair<const char*, int> wantLabels[] = {{"年", 56}, {"月", 120}, {"日", 184}, {"時", 248}, {"分", 312}};
  ASSERT_EQ(labels.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(labels[i].first, wantLabels[i].first);
    EXPECT_EQ(labels[i].second.x, wantLabels[i].second);
    EXPECT_EQ(labels[i].second.y, 40);
  }

  // Tab order.
  std::vector<HWND> order;
  for (HWND c = GetWindow(p, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) order.push_back(c);
  std::vector<HWND> want = {page().CheckBox7, page().ComboBox2, page().ComboBox3, page().ComboBox4,
                            page().ComboBox5, page().Button8,   page().Button9,   page().ComboBox6,
                            page().ListView1, page().ComboBox7, page().CheckBox8};
  EXPECT_EQ(order, want);

  // The list: report view, one row at a time, whole-row selection, four columns.
  LONG style = GetWindowLongW(page().ListView1, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(SendMessageW(page().ListView1, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
  const std::pair<const wchar_t*, int> columns[] = {{L"", 20}, {L"日時", 100}, {L"あて先", 100}, {L"", 90}};
  for (int i = 0; i < 4; ++i) {
    wchar_t text[32] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = text;
    col.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(page().ListView1, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)));
    EXPECT_STREQ(text, columns[i].first);
    if (i != 1) {
      EXPECT_EQ(col.cx, columns[i].second);
    }
  }
  // The date column is 100 wide, wider only where the font needs it for a
  // full date-time text.
  int dateWidth = static_cast<int>(SendMessageW(page().ListView1, LVM_GETCOLUMNWIDTH, 1, 0));
  int textWidth = static_cast<int>(
      SendMessageW(page().ListView1, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"2026/12/10 14:35")));
  EXPECT_GE(dateWidth, 100);
  EXPECT_GE(dateWidth, textWidth + 12);
  EXPECT_TRUE(dateWidth == 100 || dateWidth <= textWidth + 16);
}

TEST_F(TimerPageTest, TheCheckBoxStartsAndStopsTheScheduler) {
  StartWithComposer();
  EXPECT_EQ(scheduler().Timer1Interval(), 0u);
  StartScheduler();
  EXPECT_EQ(scheduler().Timer1Interval(), 10000u);
  SendMessageW(page().CheckBox7, BM_SETCHECK, BST_UNCHECKED, 0);
  page().CheckBox7Click();
  EXPECT_EQ(scheduler().Timer1Interval(), 0u);
  // A click on the box itself reaches the handler through the dialog.
  SendMessageW(page().CheckBox7, BM_CLICK, 0, 0);
  EXPECT_EQ(scheduler().Timer1Interval(), 10000u);
}

TEST_F(TimerPageTest, AddingStoresTheComposerAndTheBoxesAsTyped) {
  StartWithComposer("一行目\r\n二行目");
  Add({"2026", "7", "5", "9", "30"}, "PC01", true);
  ASSERT_EQ(page().RowCount(), 1);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"", "2026/7/5 9:30", "PC01", "一行目\r\n二行目"}));
  ASSERT_EQ(entries().size(), 1u);
  const TScheduleEntry e = entries()[0];
  MessageLook look = app_->main.composer().Look();
  EXPECT_EQ(e.DateTime(), "2026/7/5 9:30");
  EXPECT_EQ(e.Destination(), "PC01");
  EXPECT_EQ(e.Text(), "一行目\r\n二行目\r\n");
  EXPECT_EQ(e.FontName(), "MS ゴシック");
  EXPECT_EQ(e.FontSize(), 14);
  EXPECT_EQ(e.FontStyle(), 3);
  EXPECT_EQ(e.Color(), 0xCCFFEE);
  EXPECT_EQ(e.FontColor(), 0x0000FF);
  EXPECT_EQ(e.Width(), look.width);
  EXPECT_EQ(e.Height(), look.height);
  EXPECT_GT(e.Width(), 0);
  EXPECT_EQ(e.Importance(), "P");
  EXPECT_EQ(e.Sent(), 0);
  EXPECT_EQ(FileEntries(), entries());
  // Nothing is reset after adding.
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox7), "PC01");
  EXPECT_EQ(SendMessageW(page().CheckBox8, BM_GETCHECK, 0, 0), BST_CHECKED);

  // Typed as they stand, without any check; the separator is stored as a host.
  Add({"2026", "07", "05", "9", "30"}, "------");
  EXPECT_EQ(entries()[1].DateTime(), "2026/07/05 9:30");
  EXPECT_EQ(entries()[1].Destination(), "------");
  EXPECT_EQ(entries()[1].Importance(), "N");
  EXPECT_EQ(FileEntries().size(), 2u);
}

TEST_F(TimerPageTest, AddingRefusesALongMessageOrNoDestination) {
  struct Case {
    std::string text, destination, box;
  } cases[] = {
      {std::string(256, 'a'), "PC01", "メッセージが全角で１２３文字を超えています。"},
      // 128 double-byte characters: 256 bytes.
      {"", "PC01", "メッセージが全角で１２３文字を超えています。"},
      {"short", "", "あて先を選択してください"},
  };
  for (int i = 0; i < 128; ++i) cases[1].text += "あ";
  StartWithComposer();
  for (const auto& c : cases) {
    boxes_.clear();
    app_->main.SetComposerText(c.text);
    Add(kNow, c.destination);
    ASSERT_EQ(boxes_.size(), 1u) << c.box;
    EXPECT_EQ(boxes_[0].text, c.box);
    EXPECT_EQ(boxes_[0].caption, "Vello");
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(page().RowCount(), 0);
    EXPECT_TRUE(entries().empty());
  }
  EXPECT_EQ(ReadBeside("t.dat"), "");

  // What is stored counts, not what was typed: 125 full-width characters
  // (250 bytes) wrap into several displayed lines, each followed by CR LF.
  boxes_.clear();
  std::string wide;
  for (int i = 0; i < 125; ++i) wide += "あ";
  app_->main.SetComposerText(wide);
  ASSERT_GT(app_->main.composer().LinesText().size(), 257u);
  Add(kNow, "PC01");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "メッセージが全角で１２３文字を超えています。");
  EXPECT_TRUE(entries().empty());

  // 255 bytes of lines: taken, losing only the final line break, as ever;
  // a load shows it two bytes shorter.
  boxes_.clear();
  std::string full;
  for (int i = 0; i < 7; ++i) full += std::string(30, 'x') + "\r\n";
  full += std::string(31, 'y');
  app_->main.SetComposerText(full);
  std::string lines = app_->main.composer().LinesText();
  ASSERT_EQ(lines.size(), 257u) << "the composer wrapped a line";
  Add(kNow, "PC01");
  EXPECT_TRUE(boxes_.empty());
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(page().RowText(0, 3), full);
  EXPECT_EQ(entries()[0].Text(), lines.substr(0, 255));
  app_->setup.LoadSchedule();
  EXPECT_EQ(page().RowText(0, 3), lines.substr(0, 253));
}

TEST_F(TimerPageTest, ANicknameResolvesToItsLastLineAndShowsAsTypedUntilALoad) {
  WriteBeside(".dat", "taro : 127.0.0.9\r\njiro : PC02\r\ntaro : 127.0.0.1\r\n");
  StartWithComposer();
  Add(kNow, "*taro");
  Add(kNow, "*Taro");  // letter case counts: no line matches
  ASSERT_EQ(entries().size(), 2u);
  EXPECT_EQ(entries()[0].Destination(), "127.0.0.1");
  EXPECT_EQ(entries()[1].Destination(), "");
  EXPECT_EQ(page().RowText(0, 2), "*taro");
  EXPECT_EQ(page().RowText(1, 2), "*Taro");
  app_->setup.LoadSchedule();
  EXPECT_EQ(page().RowText(0, 2), "127.0.0.1");
  EXPECT_EQ(page().RowText(1, 2), "");
}

TEST_F(TimerPageTest, ADueEntryIsMarkedAtOnceSentOnItsOwnConnectionAndSavedAsSent) {
  StartWithComposer();
  Add(kNow, "127.0.0.1", true);
  Add({"2026", "12", "10", "14", "36"}, "127.0.0.1");  // the next minute
  StartScheduler();
  TScheduleEntry added = entries()[0];

  Tick();
  // Marked at once; the file still says not sent until it has gone.
  EXPECT_EQ(page().RowText(0, 0), "済");
  EXPECT_EQ(page().RowText(1, 0), "");
  EXPECT_TRUE(scheduler().InFlight(scheduler().entries()[0].id));
  EXPECT_EQ(scheduler().inFlightCount(), 1u);
  EXPECT_EQ(FileEntries()[0].Sent(), 0);
  EXPECT_TRUE(Balloons().empty());

  // The app listens on the port it sends to: the entry arrives as a balloon.
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  TBalloon& b = app_->main.balloons().newest();
  EXPECT_EQ(b.Caption(), "予約です\r\n二行目\r\n");
  RECT r;
  GetWindowRect(b.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, added.Width());
  EXPECT_EQ(r.bottom - r.top, added.Height() + 60);

  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 1; }));
  EXPECT_EQ(entries()[0].Sent(), 1);
  EXPECT_EQ(entries()[1].Sent(), 0);
  std::vector<TScheduleEntry> saved = FileEntries();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].Sent(), 1);
  EXPECT_EQ(saved[1].Sent(), 0);
  EXPECT_EQ(scheduler().inFlightCount(), 0u);

  // Later ticks in the same minute send nothing more; the next minute sends the second.
  Tick();
  Pump(300);
  EXPECT_EQ(Balloons().size(), 1u);
  now_.minute = 36;
  Tick();
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 2; }));
  ASSERT_TRUE(PumpUntil([&] { return FileEntries()[1].Sent() == 1; }));

  // After a reload both rows show the mark, the full date-time text too.
  app_->setup.LoadSchedule();
  EXPECT_EQ(Row(0), (std::vector<std::string>{"済", kNowText, "127.0.0.1", "予約です\r\n二行目"}));
  EXPECT_EQ(page().RowText(1, 0), "済");
}

TEST_F(TimerPageTest, ADialogShownWhileAnEntryIsOnItsWayDoesNotSendItTwice) {
  StartWithComposer();
  Add(kNow, "127.0.0.1");
  StartScheduler();
  Tick();
  // The file still says not sent; the reload must not unmark the row.
  app_->setup.LoadSchedule();
  EXPECT_EQ(page().RowText(0, 0), "済");
  Tick();
  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 1; }));
  Pump(300);
  EXPECT_EQ(Balloons().size(), 1u);
  EXPECT_EQ(CountBoxes("送信しました！"), 1u);
  EXPECT_EQ(FileEntries()[0].Sent(), 1);
}

TEST_F(TimerPageTest, AnEntryThatCannotBeMarkedSentIsNotSent) {
  StartWithComposer();
  Add(kNow, "127.0.0.1");
  StartScheduler();
  Tick();
  // Another program locks the schedule file before the connection stands.
  HANDLE lock = CreateFileW(PathBeside("t.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  bool shown = PumpUntil([&] { return !boxes_.empty(); });
  CloseHandle(lock);
  ASSERT_TRUE(shown);
  EXPECT_EQ(boxes_[0].text, "ファイルへのアクセスが拒否されました.");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  Pump(300);
  EXPECT_TRUE(Balloons().empty());
  EXPECT_EQ(CountBoxes("送信しました！"), 0u);
  EXPECT_EQ(entries()[0].Sent(), 0);
  EXPECT_EQ(scheduler().inFlightCount(), 0u);
  // A later save does not record it as sent either.
  app_->main.scheduler().SaveSchedule();
  EXPECT_EQ(FileEntries()[0].Sent(), 0);
}

TEST_F(TimerPageTest, AFullLengthDateTimeStillFallsDueAfterARestart) {
  // Written by an earlier run: 16 characters of date-time text, not yet sent.
  TScheduleEntry e;
  e.SetDateTime(kNowText);
  e.SetDestination("127.0.0.1");
  e.SetText("前回の予約\r\n");
  e.SetFontName("MS ゴシック");
  e.SetFontSize(10);
  e.SetWidth(300);
  e.SetHeight(150);
  e.SetColor(0xFFFFFF);
  e.SetImportance("N");
  TScheduleEntry sent = e;
  sent.SetSent(1);
  sent.SetText("送信済み\r\n");
  WriteBeside("t.dat", std::string(reinterpret_cast<const char*>(sent.bytes().data()), TScheduleEntry::kSize) +
                           std::string(reinterpret_cast<const char*>(e.bytes().data()), TScheduleEntry::kSize));
  StartWithComposer();
  ASSERT_EQ(page().RowCount(), 2);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"済", kNowText, "127.0.0.1", "送信済み"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"", kNowText, "127.0.0.1", "前回の予約"}));
  StartScheduler();
  Tick();
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  EXPECT_EQ(app_->main.balloons().newest().Caption(), "前回の予約\r\n");
  ASSERT_TRUE(PumpUntil([&] { return FileEntries()[1].Sent() == 1; }));
  Pump(200);
  EXPECT_EQ(Balloons().size(), 1u);  // the one sent before stays sent
}

TEST_F(TimerPageTest, OnlyTheExactMinuteIsDue) {
  StartWithComposer();
  Add({"2026", "12", "10", "014", "35"}, "127.0.0.1");  // leading zero: never equal
  Add({"2026", "12", "10", "14", "34"}, "127.0.0.1");   // already past
  Add({"2026", "2", "31", "14", "35"}, "127.0.0.1");    // impossible date
  StartScheduler();
  for (int second : {0, 30, 59}) {
    now_.second = second;
    Tick();
  }
  now_.minute = 36;
  Tick();
  Pump(300);
  EXPECT_TRUE(Balloons().empty());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(page().RowText(i, 0), "");
}

TEST_F(TimerPageTest, AConnectFailureNamesTheDestinationAndLeavesTheEntryUnsent) {
  StartWithComposer();
  Add(kNow, "127.0.0.1");
  app_->main.ClientSocket1().SetPort(FreePort());  // nobody listens there
  StartScheduler();
  Tick();
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "127.0.0.1さんに起動するようにお願いしてね");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(entries()[0].Sent(), 0);
  EXPECT_EQ(FileEntries()[0].Sent(), 0);
  EXPECT_EQ(scheduler().inFlightCount(), 0u);
  // The row keeps its mark: no second attempt in this showing of the list.
  EXPECT_EQ(page().RowText(0, 0), "済");
  Tick();
  Pump(300);
  EXPECT_EQ(boxes_.size(), 1u);

  // The next manual send carries the composer's message, not the entry.
  app_->main.ClientSocket1().SetPort(port_);
  app_->main.SetComposerText("手動");
  app_->main.SetDestinationText("127.0.0.1");
  app_->main.ToolButton5Click();
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  EXPECT_EQ(app_->main.balloons().newest().Caption(), "手動\r\n");
  EXPECT_EQ(entries()[0].Sent(), 0);
}

TEST_F(TimerPageTest, AnEntryWithoutADestinationFailsVisiblyWhenDue) {
  StartWithComposer();
  Add(kNow, "*nobody");  // no address book
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(entries()[0].Destination(), "");
  StartScheduler();
  Tick();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("あて先がありません"), std::string::npos) << boxes_[0].text;
  EXPECT_NE(boxes_[0].text.find(kNowText), std::string::npos) << boxes_[0].text;
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_EQ(page().RowText(0, 0), "済");
  EXPECT_EQ(scheduler().inFlightCount(), 0u);
  Tick();
  Pump(200);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(FileEntries()[0].Sent(), 0);
}

class TwoListeners : public TimerPageTest {
 protected:
  void StartListening() {
    listenPort_ = FreePort();
    first_ = std::make_unique<Listener>("127.0.0.1", listenPort_);
    second_ = std::make_unique<Listener>("127.0.0.2", listenPort_);
    ASSERT_TRUE(first_->ok());
    ASSERT_TRUE(second_->ok());
    app_->main.ClientSocket1().SetPort(listenPort_);
  }
  bool PumpForLines(std::size_t first, std::size_t second) {
    return PumpListeners({first_.get(), second_.get()},
                         [&] { return first_->lines.size() >= first && second_->lines.size() >= second; });
  }
  int listenPort_ = 0;
  std::unique_ptr<Listener> first_, second_;
};

TEST_F(TwoListeners, EntriesDueTogetherEachGoOnceToTheirOwnDestination) {
  StartWithComposer("一通目");
  Add(kNow, "127.0.0.1");
  app_->main.SetComposerText("二通目");
  Add(kNow, "127.0.0.2", true);
  StartListening();
  StartScheduler();
  Tick();
  EXPECT_EQ(page().RowText(0, 0), "済");
  EXPECT_EQ(page().RowText(1, 0), "済");
  ASSERT_TRUE(PumpForLines(1, 1));
  Pump(300);
  for (Listener* l : {first_.get(), second_.get()}) l->Poll();
  ASSERT_EQ(first_->lines.size(), 1u);
  ASSERT_EQ(second_->lines.size(), 1u);

  // Each line carries its own entry's look and text, exactly as stored.
  for (std::size_t i = 0; i < 2; ++i) {
    const TScheduleEntry e = entries()[i];
    const std::string& line = (i == 0 ? first_ : second_)->lines[0];
    EXPECT_EQ(line, MakeMessageLine(e.Look(), e.Text(), e.Importance()));
    ReceivedMessage f = ReadMessageLine(line);
    EXPECT_EQ(f.text, i == 0 ? "一通目\r\n" : "二通目\r\n");
    EXPECT_EQ(f.important, i == 1);
    EXPECT_EQ(f.look.fontName, "MS ゴシック");
    EXPECT_EQ(f.look.fontSize, 14);
    EXPECT_EQ(f.look.fontStyle, 3);
    EXPECT_EQ(f.look.color, 0xCCFFEE);
    EXPECT_EQ(f.look.fontColor, 0x0000FF);
  }
  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 2; }));
  for (const TScheduleEntry& e : FileEntries()) EXPECT_EQ(e.Sent(), 1);
  EXPECT_EQ(scheduler().inFlightCount(), 0u);

  Tick();
  Pump(300);
  for (Listener* l : {first_.get(), second_.get()}) l->Poll();
  EXPECT_EQ(first_->lines.size(), 1u);
  EXPECT_EQ(second_->lines.size(), 1u);
}

TEST_F(TwoListeners, AnEntryDueWhileAManualSendConnectsLeavesBothIntact) {
  StartWithComposer("予約の文");
  Add(kNow, "127.0.0.2");
  StartListening();
  StartScheduler();
  app_->main.SetComposerText("手動の文");
  app_->main.SetDestinationText("127.0.0.1");
  app_->main.ToolButton5Click();
  Tick();  // before the manual send's connection stands
  ASSERT_TRUE(PumpForLines(1, 1));
  EXPECT_EQ(ReadMessageLine(first_->lines[0]).text, "手動の文\r\n");
  EXPECT_EQ(ReadMessageLine(second_->lines[0]).text, "予約の文\r\n");
  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 2; }));
  EXPECT_EQ(FileEntries()[0].Sent(), 1);
}

TEST_F(TwoListeners, DeletingAnEntryOnItsWayDropsItAndKeepsTheOthersInStep) {
  StartWithComposer("消す");
  Add(kNow, "127.0.0.1");
  app_->main.SetComposerText("残す");
  Add(kNow, "127.0.0.2");
  StartListening();
  StartScheduler();
  Tick();
  SelectRow(0);
  page().Button9Click();  // before either connection stands
  ASSERT_TRUE(PumpForLines(0, 1));
  Pump(300);
  first_->Poll();
  EXPECT_TRUE(first_->lines.empty());
  EXPECT_EQ(ReadMessageLine(second_->lines[0]).text, "残す\r\n");
  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 1; }));
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(entries()[0].Text(), "残す\r\n");
  EXPECT_EQ(entries()[0].Sent(), 1);
  EXPECT_EQ(FileEntries(), entries());
}

TEST_F(TimerPageTest, DeletingKeepsTheOrderOfRowsEntriesAndFile) {
  StartWithComposer();
  for (const char* minute : {"1", "2", "3"}) {
    app_->main.SetComposerText(std::string("分") + minute);
    Add({"2026", "12", "10", "14", minute}, std::string("PC") + minute);
  }
  std::vector<TScheduleEntry> before = entries();

  // No row selected: nothing happens.
  page().Button9Click();
  EXPECT_EQ(page().RowCount(), 3);
  EXPECT_EQ(entries().size(), 3u);

  SelectRow(1);
  page().Button9Click();
  ASSERT_EQ(page().RowCount(), 2);
  EXPECT_EQ(page().RowText(0, 2), "PC1");
  EXPECT_EQ(page().RowText(1, 2), "PC3");
  EXPECT_EQ(entries(), (std::vector<TScheduleEntry>{before[0], before[2]}));
  std::string want;
  for (const TScheduleEntry* e : {&before[0], &before[2]})
    want.append(reinterpret_cast<const char*>(e->bytes().data()), TScheduleEntry::kSize);
  EXPECT_EQ(ReadBeside("t.dat"), want);

  // The button itself, through the dialog.
  SelectRow(0);
  SendMessageW(page().Button9, BM_CLICK, 0, 0);
  SelectRow(0);
  SendMessageW(page().Button9, BM_CLICK, 0, 0);
  EXPECT_EQ(page().RowCount(), 0);
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(ReadBeside("t.dat"), "");
}

TEST_F(TimerPageTest, TheRowsAreAlwaysTheEntries) {
  StartWithComposer();
  Add(kNow, "PC01");
  // The file emptied behind the program's back: the list follows it.
  WriteBeside("t.dat", "");
  app_->setup.LoadSchedule();
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(page().RowCount(), 0);
  StartScheduler();
  Tick();
  Pump(200);
  EXPECT_TRUE(Balloons().empty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(TwoListeners, AReloadThatFailsLeavesEntriesAndRowsAsTheyWere) {
  StartWithComposer("一通目");
  Add(kNow, "127.0.0.1");
  app_->main.SetComposerText("二通目");
  Add(kNow, "127.0.0.2");
  std::string saved = ReadBeside("t.dat");
  HANDLE lock = INVALID_HANDLE_VALUE;
  struct Unlock {
    HANDLE& h;
    ~Unlock() {
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  } unlock{lock};
  struct Case { std::string name; std::function<void()> spoil, mend; std::string error; } cases[] = {
      {"locked by another program",
       [&] {
         lock = CreateFileW(PathBeside("t.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
         ASSERT_NE(lock, INVALID_HANDLE_VALUE);
       },
       [&] {
         CloseHandle(lock);
         lock = INVALID_HANDLE_VALUE;
       },
       "ファイルへのアクセスが拒否されました"},
      {"cut short",
       [&] { WriteBeside("t.dat", saved.substr(0, TScheduleEntry::kSize + 100)); },
       [&] { WriteBeside("t.dat", saved); },
       "ファイルの末尾以降を読み込みました"},
  };
  for (const auto& c : cases) {
    c.spoil();
    try {
      app_->setup.LoadSchedule();
      ADD_FAILURE() << c.name << ": the load did not fail";
    } catch (const VelloError& e) {
      EXPECT_EQ(e.text(), c.error) << c.name;
    }
    ASSERT_EQ(entries().size(), 2u) << c.name;
    ASSERT_EQ(page().RowCount(), 2) << c.name;
    EXPECT_EQ(page().RowText(1, 3), "二通目") << c.name;
    c.mend();
  }
  // Each due row still sends its own entry, and a save keeps both.
  StartListening();
  StartScheduler();
  Tick();
  ASSERT_TRUE(PumpForLines(1, 1));
  EXPECT_EQ(ReadMessageLine(first_->lines[0]).text, "一通目\r\n");
  EXPECT_EQ(ReadMessageLine(second_->lines[0]).text, "二通目\r\n");
  ASSERT_TRUE(PumpUntil([&] { return CountBoxes("送信しました！") == 2; }));
  EXPECT_EQ(FileEntries().size(), 2u);
}

TEST_F(TimerPageTest, TheDestinationBoxTakesTheMainListRefreshed) {
  WriteBeside(".dat", "taro : 10.0.0.1\r\n");
  network_ = {"PC01", "PC02"};
  StartWithComposer();
  std::vector<std::string> mainItems = app_->main.DestinationItems();
  network_ = {"pc02", "PC03"};
  TTimerPage::SetControlText(page().ComboBox7, "typed");
  page().ComboBox7DropDown();
  std::vector<std::string> items;
  int n = static_cast<int>(SendMessageW(page().ComboBox7, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    wchar_t text[64] = {};
    SendMessageW(page().ComboBox7, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(Narrow(text));
  }
  EXPECT_EQ(items, (std::vector<std::string>{"*taro", "------", "PC02", "PC03"}));
  EXPECT_EQ(TTimerPage::ControlText(page().ComboBox7), "");
  EXPECT_EQ(app_->main.DestinationItems(), mainItems);
}

// Shows the page with a few entries and holds it for a screenshot taken from
// outside: VELLO_SCREENSHOT_HOLD_MS milliseconds.
// The schedule file's errors name the system's own error number (the C
// runtime's errno is another numbering on Windows).
TEST_F(TimerPageTest, ScheduleFileErrorsCarryTheSystemsNumber) {
  std::vector<TScheduleEntry> entries, one(1);
  auto errorOf = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const VelloError& e) {
      return e.text();
    }
    return std::string("(no error)");
  };
  struct Case { std::filesystem::path path; std::string error; } cases[] = {
      {dir_ / L"none" / L"vellot.dat", "I/O エラー (" + std::to_string(ERROR_PATH_NOT_FOUND) + ")"},
      {dir_ / L"a?b.dat", "I/O エラー (" + std::to_string(ERROR_INVALID_NAME) + ")"},
      {dir_, "ファイルへのアクセスが拒否されました"},  // a folder
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorOf([&] { LoadScheduleFile(c.path, entries); }), c.error) << PathText(c.path);
    EXPECT_EQ(errorOf([&] { SaveScheduleFile(c.path, one); }), c.error) << PathText(c.path);
  }
  // Held by another program without sharing: refused, and left as it was.
  const std::filesystem::path path = PathBeside("t.dat");
  SaveScheduleFile(path, one);
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(errorOf([&] { LoadScheduleFile(path, entries); }), "ファイルへのアクセスが拒否されました");
  EXPECT_EQ(errorOf([&] { SaveScheduleFile(path, {}); }), "ファイルへのアクセスが拒否されました");
  CloseHandle(lock);
  EXPECT_EQ(ReadBeside("t.dat").size(), 344u);
}

TEST_F(TimerPageTest, DISABLED_ScreenshotHold) {
  WriteBeside(".dat", "taro : 127.0.0.1\r\n");
  StartWithComposer("こんにちは、定例会議は3時からです");
  Add({"2026", "12", "10", "15", "0"}, "*taro", true);
  app_->main.SetComposerText("資料を送りました");
  Add(kNow, "PC-SATO");
  app_->main.SetComposerText("お昼に行きましょう");
  Add({"2026", "12", "11", "12", "0"}, "192.168.0.15");
  app_->setup.LoadSchedule();
  StartScheduler();
  app_->main.ClientSocket1().SetPort(FreePort());
  Tick();
  Pump(500);
  SetWhen({"2026", "12", "11", "9", "30"});
  TTimerPage::SetControlText(page().ComboBox7, "*taro");
  SelectRow(2);
  SetWindowPos(app_->setup.hwnd(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
  const char* hold = std::getenv("VELLO_SCREENSHOT_HOLD_MS");
  Pump(hold ? std::atoi(hold) : 3000);
}

}  // namespace
}  // namespace vello::testing
