// The program's end (File > Close, the tray's Exit): everything the user
// keeps is written on the way out, though the windows themselves, balloons
// included, are left to the end of the process.
#include <optional>

#include "app/main_form.h"
#include "app_fixture.h"
#include "messaging/message_line.h"
#include "platform/name_lookup.h"
#include "platform/win_text.h"
#include "schedule/schedule_entry.h"
#include "schedule/scheduler.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/timer_page.h"

namespace vello::testing {
namespace {

std::string Record(const std::string& dateTime, const std::string& text) {
  TScheduleEntry e;
  e.SetDateTime(dateTime);
  e.SetDestination("PC01");
  e.SetText(text);
  return std::string(reinterpret_cast<const char*>(e.bytes().data()), TScheduleEntry::kSize);
}

class ExitTest : public AppFixture {
 protected:
  // The command as a menu sends it, then what the program entry does once
  // the message loop has ended.
  void Exit(UINT command = mainids::CloseItem) {
    SendMessageW(app_->main.hwnd(), WM_COMMAND, command, 0);
    MSG quit;
    ended_ = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    app_->Finish();
  }
  bool ended_ = false;
};

TEST_F(ExitTest, GeometryAndImportanceAreWrittenAndAScheduleNeverReadStaysAsItWas) {
  std::string schedule = Record("2026/12/24 9:00", "イブ\r\n") + Record("2026/12/31 23:59", "大晦日\r\n");
  struct Case {
    const char* menu;
    UINT command;
    RECT bounds;
    bool important;
  } cases[] = {
      {"File > 閉じる(&X)", mainids::CloseItem, {400, 300, 760, 580}, true},
      {"the tray's 終了(&X)", mainids::TrayExitItem, {420, 330, 780, 630}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.menu);
    WriteBeside("t.dat", schedule);
    StartApp();
    SetWindowPos(app_->main.hwnd(), nullptr, c.bounds.left, c.bounds.top, c.bounds.right - c.bounds.left,
                 c.bounds.bottom - c.bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    app_->main.SetImportance(c.important);
    trayCalls_.clear();
    Exit(c.command);
    EXPECT_TRUE(ended_) << "the message loop goes on";
    IniFile ini = SettingsFile();
    EXPECT_EQ(ReadSetting(ini, setting::WindowLeft), c.bounds.left);
    EXPECT_EQ(ReadSetting(ini, setting::WindowTop), c.bounds.top);
    EXPECT_EQ(ReadSetting(ini, setting::WindowWidth), c.bounds.right - c.bounds.left);
    EXPECT_EQ(ReadSetting(ini, setting::WindowHeight), c.bounds.bottom - c.bounds.top);
    EXPECT_EQ(ReadSetting(ini, setting::Pri), c.important);
    // The settings dialog was never opened, so the schedule was never read:
    // saving the empty list would have lost both entries.
    EXPECT_EQ(ReadBeside("t.dat"), schedule);
    ASSERT_FALSE(trayCalls_.empty());
    EXPECT_EQ(trayCalls_.back().action, static_cast<DWORD>(NIM_DELETE));
    StopApp();
  }
}

TEST_F(ExitTest, AfterAStartThatStoppedEarlyTheSavedPlaceAndTickStayUnlessTheUserChangedThem) {
  // The port is held by another program: start-up stops after its error,
  // before the window's place and the importance tick are read.
  const std::string saved =
      "[setup]\r\nport=" + std::to_string(port_) + "\r\nPri=1\r\n[window]\r\nTop=100\r\nLeft=110\r\nHeight=300\r\nWidth=400\r\n";
  struct Case {
    const char* what;
    bool userMoves, userTicks;
  } cases[] = {{"the user changed nothing", false, false}, {"the user moved the window and unticked the box", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port_));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    listen(holder, 1);
    WriteBeside(".ini", saved);
    StartApp();
    closesocket(holder);
    ASSERT_EQ(app_->main.FormCreateStepsDone(), 1);
    if (c.userMoves) {
      // As a drag ends: the system moves the window, then says the move ended.
      SetWindowPos(app_->main.hwnd(), nullptr, 250, 260, 500, 350, SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageW(app_->main.hwnd(), WM_EXITSIZEMOVE, 0, 0);
    }
    if (c.userTicks) {
      SendMessageW(app_->main.importantBox, BM_CLICK, 0, 0);  // ticked, as the failed start left it unticked
      SendMessageW(app_->main.importantBox, BM_CLICK, 0, 0);  // and unticked again
    }
    Exit();
    IniFile ini = SettingsFile();
    EXPECT_EQ(ReadSetting(ini, setting::WindowTop), c.userMoves ? 260 : 100);
    EXPECT_EQ(ReadSetting(ini, setting::WindowLeft), c.userMoves ? 250 : 110);
    EXPECT_EQ(ReadSetting(ini, setting::WindowHeight), c.userMoves ? 350 : 300);
    EXPECT_EQ(ReadSetting(ini, setting::WindowWidth), c.userMoves ? 500 : 400);
    EXPECT_EQ(ReadSetting(ini, setting::Pri), !c.userTicks);
    StopApp();
  }
}

TEST_F(ExitTest, AScheduleThatCouldNotBeSavedEarlierIsSavedAtTheEnd) {
  WriteBeside("t.dat", Record("2026/12/24 9:00", "イブ\r\n"));
  StartApp();
  app_->main.OnTimerChosen();
  TTimerPage& page = app_->setup.content<TTimerPage>(SetupPage::Timer);
  ASSERT_EQ(page.RowCount(), 1);
  // Held open by another program while an entry is added: the list keeps
  // the entry, the file does not.
  HANDLE held = CreateFileW(PathBeside("t.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TTimerPage::SetControlText(page.destinationBox, "PC02");
  app_->main.SetComposerText("追加分");
  SendMessageW(page.addButton, BM_CLICK, 0, 0);
  CloseHandle(held);
  ASSERT_FALSE(boxes_.empty()) << "the refused save was not reported";
  ASSERT_EQ(app_->main.scheduler().entries().size(), 2u);
  ASSERT_EQ(ReadBeside("t.dat").size(), TScheduleEntry::kSize);
  Exit();
  std::string saved = ReadBeside("t.dat");
  ASSERT_EQ(saved.size(), 2 * TScheduleEntry::kSize);
  TScheduleEntry added = TScheduleEntry::FromBytes(std::string_view(saved).substr(TScheduleEntry::kSize));
  EXPECT_EQ(added.Destination(), "PC02");
}

TEST_F(ExitTest, AReceivedMessageWaitingForItsSendersNameIsLoggedByAddress) {
  // A resolver that has not answered by the time the user exits.
  HANDLE answer = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetNameLookupForTests([answer](const in_addr&) -> std::optional<std::string> {
    WaitForSingleObject(answer, 10000);
    return "pc-slow";
  });
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  StartApp();
  SendRaw(MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "名前はまだ\r\n", "N"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  Pump(100);
  EXPECT_EQ(app_->main.inbox().log().waiting(), 1u);
  EXPECT_EQ(ReadBeside(".log"), "");
  Exit();
  std::string log = ReadBeside(".log");
  EXPECT_NE(log.find("127.0.0.1"), std::string::npos) << log;
  EXPECT_NE(log.find("名前はまだ"), std::string::npos) << log;
  EXPECT_EQ(log.find("pc-slow"), std::string::npos) << log;
  SetEvent(answer);
  Pump(200);
  SetNameLookupForTests({});
  StopApp();
  CloseHandle(answer);
}

}  // namespace
}  // namespace vello::testing
