// The scheduler: the tick with the clock behind its seam, the scheduled sends
// over loopback, entries due together and the schedule file's errors.
#include "timer_page_fixture.h"

#include "common/file_paths.h"
#include "messaging/waiting_file.h"

namespace vello::testing {
namespace {

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
  TBalloon& b = app_->main.inbox().balloons().newest();
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
  EXPECT_EQ(boxes_[0].text, PathText(PathBeside("t.dat")) + ": ファイルへのアクセスが拒否されました.");
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
  EXPECT_EQ(app_->main.inbox().balloons().newest().Caption(), "前回の予約\r\n");
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

TEST_F(TimerPageTest, AnEntryWhoseReceiverIsAwayAtItsMinuteWaitsAndIsMarkedSentWhenDelivered) {
  StartWithComposer();
  RetryPolicy quick;
  quick.seenAgainSpreadMs = 50;
  app_->main.outbox().SetRetryPolicy(quick);
  Add(kNow, "127.0.0.1");
  app_->main.outbox().SetPort(FreePort());  // nobody listens there
  StartScheduler();
  Tick();
  // Kept for its receiver without a box: nobody may be there to answer one.
  ASSERT_TRUE(PumpUntil([&] { return app_->main.outbox().waiting().messages().size() == 1; }));
  Pump(300);
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  const WaitingMessage kept = app_->main.outbox().waiting().messages()[0];
  EXPECT_EQ(kept.scheduleKey, ScheduleKey(entries()[0]));
  EXPECT_EQ(kept.text, "予約です\r\n二行目\r\n");
  EXPECT_EQ(kept.look, entries()[0].Look());
  EXPECT_EQ(kept.destination, "127.0.0.1");
  EXPECT_EQ(entries()[0].Sent(), 0);
  EXPECT_EQ(FileEntries()[0].Sent(), 0);
  EXPECT_EQ(scheduler().inFlightCount(), 0u);
  EXPECT_EQ(page().RowText(0, 0), "待");
  // The next tick of the minute neither tries it again nor keeps it twice.
  Tick();
  Pump(300);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(app_->main.outbox().waiting().messages().size(), 1u);

  // The next manual send carries the composer's message, not the entry.
  app_->main.outbox().SetPort(port_);
  app_->main.SetComposerText("手動");
  app_->main.SetDestinationText("127.0.0.1");
  app_->main.OnSendClicked();
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  EXPECT_EQ(app_->main.inbox().balloons().newest().Caption(), "手動\r\n");
  EXPECT_EQ(entries()[0].Sent(), 0);

  // The receiver is seen again: the entry's message arrives once, and the
  // entry is sent, in memory, in the file and on the page.
  app_->main.outbox().ReceiversSeen({"127.0.0.1"});
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 2; }));
  EXPECT_EQ(app_->main.inbox().balloons().newest().Caption(), "予約です\r\n二行目\r\n");
  ASSERT_TRUE(PumpUntil([&] { return FileEntries()[0].Sent() == 1; }));
  EXPECT_EQ(entries()[0].Sent(), 1);
  EXPECT_EQ(page().RowText(0, 0), "済");
  EXPECT_TRUE(app_->main.outbox().waiting().messages().empty());
  Pump(500);
  EXPECT_EQ(Balloons().size(), 2u);
}

TEST_F(TimerPageTest, DeletingAWaitingEntryDropsItsMessage) {
  StartWithComposer();
  Add(kNow, "127.0.0.1");
  Add(When{"2026", "12", "24", "9", "00"}, "127.0.0.1");
  app_->main.outbox().SetPort(FreePort());
  StartScheduler();
  Tick();
  ASSERT_TRUE(PumpUntil([&] { return app_->main.outbox().waiting().messages().size() == 1; }));
  ASSERT_EQ(page().RowText(0, 0), "待");
  // Deleting the other entry leaves the message alone; deleting its own takes it.
  SelectRow(1);
  SendMessageW(page().deleteButton, BM_CLICK, 0, 0);
  EXPECT_EQ(app_->main.outbox().waiting().messages().size(), 1u);
  SelectRow(0);
  SendMessageW(page().deleteButton, BM_CLICK, 0, 0);
  EXPECT_TRUE(entries().empty());
  EXPECT_TRUE(app_->main.outbox().waiting().messages().empty());
  EXPECT_TRUE(LoadWaitingFile(PathBeside(std::string(kWaitingEnding))).empty());
  EXPECT_TRUE(boxes_.empty());
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

TEST_F(TimerPageTest, ABoxDuringTheHandOverDoesNotLetTheNextTickHandItOverAgain) {
  // The hand-over shows a box (no destination); while it is open its
  // message loop delivers the next tick of the same minute.
  StartWithComposer();
  Add(kNow, "*nobody");
  StartScheduler();
  int ticksInBox = 0;
  onBox_ = [&](const ShownBox&) {
    if (ticksInBox++ == 0) Tick();
  };
  Tick();
  onBox_ = {};
  EXPECT_EQ(ticksInBox, 1);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("あて先がありません"), std::string::npos) << boxes_[0].text;
  EXPECT_EQ(page().RowText(0, 0), "済");
}

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
  app_->main.OnSendClicked();
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
  page().OnDeleteClicked();  // before either connection stands
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
       PathText(PathBeside("t.dat")) + ": ファイルへのアクセスが拒否されました"},
      {"cut short",
       [&] { WriteBeside("t.dat", saved.substr(0, TScheduleEntry::kSize + 100)); },
       [&] { WriteBeside("t.dat", saved); },
       PathText(PathBeside("t.dat")) + ": ファイルの末尾以降を読み込みました"},
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
    EXPECT_EQ(errorOf([&] { LoadScheduleFile(c.path, entries); }), PathText(c.path) + ": " + c.error);
    EXPECT_EQ(errorOf([&] { SaveScheduleFile(c.path, one); }), PathText(c.path) + ": " + c.error);
  }
  // Held by another program without sharing: refused, and left as it was.
  const std::filesystem::path path = PathBeside("t.dat");
  SaveScheduleFile(path, one);
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(errorOf([&] { LoadScheduleFile(path, entries); }), PathText(path) + ": ファイルへのアクセスが拒否されました");
  EXPECT_EQ(errorOf([&] { SaveScheduleFile(path, {}); }), PathText(path) + ": ファイルへのアクセスが拒否されました");
  CloseHandle(lock);
  EXPECT_EQ(ReadBeside("t.dat").size(), 344u);
}

}  // namespace
}  // namespace vello::testing
