// Receiving over loopback: balloons, their shape, working mode, the tray
// notice and hostile input.
#include <algorithm>
#include <atomic>
#include <climits>
#include <optional>

#include "app_fixture.h"
#include "messaging/balloon_window.h"
#include "messaging/message_line.h"
#include "platform/error_display.h"
#include "platform/fonts.h"
#include "platform/name_lookup.h"
#include "platform/win_text.h"
#include "raw_connection.h"

namespace vello::testing {
namespace {

std::string Line(std::string_view text, int w = 315, int h = 179, std::string_view mark = "N") {
  return MakeMessageLine({w, h, 16777215, 0, 10, "MS ゴシック", 0}, text, mark);
}

class ReceiveTest : public AppFixture {};

TEST_F(ReceiveTest, ALineBecomesACentredShapedBalloon) {
  StartApp();
  SendRaw(Line("こんにちは\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  HWND b = Balloons()[0];
  RECT r;
  GetWindowRect(b, &r);
  EXPECT_EQ(r.right - r.left, 315);
  EXPECT_EQ(r.bottom - r.top, 239);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 315) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 239) / 2);
  EXPECT_EQ(GetWindowLongW(b, GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_THICKFRAME), 0);
  EXPECT_TRUE(IsWindowVisible(b));

  // The region is the body plus the tail of the geometry example.
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(b, rgn), ERROR);
  HRGN expected = CreateRoundRectRgn(0, 0, 315, 179, 50, 50);
  POINT tail[3] = {{105, 178}, {135, 178}, {85, 239}};
  HRGN t = CreatePolygonRgn(tail, 3, WINDING);
  CombineRgn(expected, expected, t, RGN_OR);
  EXPECT_TRUE(EqualRgn(rgn, expected));
  EXPECT_TRUE(PtInRegion(rgn, 90, 230));    // near the tip
  EXPECT_FALSE(PtInRegion(rgn, 300, 230));  // beside the tail
  DeleteObject(rgn);
  DeleteObject(expected);
  DeleteObject(t);

  // The caption holds the text (a reply quotes it from there).
  wchar_t caption[64];
  GetWindowTextW(b, caption, 64);
  EXPECT_STREQ(caption, L"こんにちは\r\n");

  EXPECT_TRUE(app_->main.inbox().unacknowledged());
  EXPECT_EQ(app_->main.tray().blinkInterval(), 500u);
  EXPECT_EQ(app_->main.inbox().balloons().current(), nullptr);
}

// Where `ink` lies among the pixels of `dc` (0,0 to w,h), or left -1.
RECT InkBox(HDC dc, int w, int h, COLORREF ink) {
  RECT box{-1, -1, -1, -1};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (GetPixel(dc, x, y) != ink) continue;
      if (box.left < 0) box = {x, y, x, y};
      box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x),
             std::max<LONG>(box.bottom, y)};
    }
  }
  return box;
}

// The label as a person sees it: the sender's text in the sender's font and
// colour, placed as text drawn at 12,10 is, on the balloon's colour; and a
// press on the text is a press on the balloon.
TEST_F(ReceiveTest, TheLabelIsDrawnAt12And10AndPressesOnItReachTheBalloon) {
  StartApp();
  const COLORREF paper = RGB(0xFF, 0xFF, 0xC0), ink = RGB(0xC0, 0, 0);
  const std::string text = "■■■\r\n■";
  SendRaw(MakeMessageLine({315, 179, static_cast<int32_t>(paper), static_cast<int32_t>(ink), 20, "MS ゴシック", 1},
                          text, "N"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  HWND b = Balloons()[0];
  RedrawWindow(b, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Pump(50);
  HDC dc = GetDC(b);
  RECT shown = InkBox(dc, 315, 179, ink);
  EXPECT_EQ(GetPixel(dc, 40, 60), paper);
  ReleaseDC(b, dc);

  // The same text drawn at 12,10 in that font.
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 315, 179);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(paper);
  RECT all{0, 0, 315, 179};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  UniqueFont font = CreateFontFor("MS ゴシック", 20, FontStyle::FromBits(1));
  HGDIOBJ oldFont = SelectObject(memory, font.get());
  SetBkMode(memory, TRANSPARENT);
  SetTextColor(memory, ink);
  std::wstring wide = Widen(text);
  RECT at{12, 10, 315, 179};
  DrawTextW(memory, wide.c_str(), static_cast<int>(wide.size()), &at, DT_LEFT | DT_NOPREFIX);
  RECT expected = InkBox(memory, 315, 179, ink);
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);

  ASSERT_GE(expected.left, 12);
  EXPECT_EQ(shown.left, expected.left);
  EXPECT_EQ(shown.top, expected.top);
  EXPECT_EQ(shown.right, expected.right);
  EXPECT_EQ(shown.bottom, expected.bottom);

  // A right press on the text acknowledges the arrival and makes it the
  // balloon the menu acts on.
  ASSERT_TRUE(app_->main.inbox().unacknowledged());
  SendMessageW(b, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(shown.left + 3, shown.top + 3));
  EXPECT_FALSE(app_->main.inbox().unacknowledged());
  ASSERT_NE(app_->main.inbox().balloons().current(), nullptr);
  EXPECT_EQ(app_->main.inbox().balloons().current()->hwnd(), b);
}

// The reverse look-up of a new sender starts when its connection is
// accepted, while its line is still on the way, so the name (which the log
// entry waits for) is often known by the time the balloon is up.
TEST_F(ReceiveTest, TheSendersNameIsAskedForWhileItsLineIsStillArriving) {
  std::atomic<int> asked{0};
  SetNameLookupForTests([&](const in_addr&) -> std::optional<std::string> {
    ++asked;
    return "pc-early";
  });
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nLog=1\r\n");
  StartApp();
  std::string line = Line("早めに\r\n");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  send(s, line.data(), 10, 0);
  EXPECT_TRUE(PumpUntil([&] { return asked > 0; }, 2000)) << "not asked before the line was complete";
  EXPECT_TRUE(Balloons().empty());
  send(s, line.data() + 10, static_cast<int>(line.size() - 10), 0);
  shutdown(s, SD_SEND);
  closesocket(s);
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return ReadBeside(".log").find("pc-early") != std::string::npos; }, 2000))
      << ReadBeside(".log");
  EXPECT_EQ(asked, 1);  // once, not again for the line
  SetNameLookupForTests({});
}

TEST_F(ReceiveTest, ALineInThreePiecesWithPausesIsOneBalloon) {
  StartApp();
  SendRaw(Line("分けて\r\n届く\r\n"), 3, 150);
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  wchar_t caption[64];
  GetWindowTextW(Balloons()[0], caption, 64);
  EXPECT_STREQ(caption, L"分けて\r\n届く\r\n");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ReceiveTest, TwoLinesGiveTwoBalloonsTheLaterOnTop) {
  StartApp();
  SendRaw(Line("one\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  HWND first = Balloons()[0];
  SendRaw(Line("two\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 2; }));
  HWND second = app_->main.inbox().balloons().newest().hwnd();
  EXPECT_NE(first, second);
  // The later one comes first in the z-order.
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (h == first) FAIL() << "the earlier balloon is above the later one";
    if (h == second) break;
  }
}

TEST_F(ReceiveTest, WorkingModeHoldsBalloonsUntilTheTrayReleasesThem) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nW-mode=1\r\n");
  StartApp();
  SendRaw(Line("normal\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return app_->main.inbox().balloons().held().size() == 1; }));
  SendRaw(Line("important\r\n", 315, 179, "P"));
  ASSERT_TRUE(PumpUntil([&] { return app_->main.inbox().balloons().held().size() == 2; }));
  for (HWND h : app_->main.inbox().balloons().held()) EXPECT_FALSE(IsWindowVisible(h));
  HWND important = app_->main.inbox().balloons().held()[1];
  EXPECT_TRUE(GetWindowLongW(important, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(GetWindowLongW(app_->main.inbox().balloons().held()[0], GWL_EXSTYLE) & WS_EX_TOPMOST);

  app_->main.TrayIconMessage(WM_LBUTTONDOWN);
  EXPECT_TRUE(app_->main.inbox().balloons().held().empty());
  for (HWND h : Balloons()) EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_TRUE(GetWindowLongW(important, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(ReceiveTest, ImportanceOutsideWorkingModeChangesNothing) {
  StartApp();
  SendRaw(Line("P\r\n", 315, 179, "P"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  EXPECT_FALSE(GetWindowLongW(Balloons()[0], GWL_EXSTYLE) & WS_EX_TOPMOST);
}

// The box names the sender's address and quotes only the start of a bad
// field: a sender cannot write a message of its own into an error box. The
// sender is told its line was not taken (a reset).
TEST_F(ReceiveTest, RefusedLinesShowTheirErrorAndLeaveNoWindow) {
  struct Case { std::string line, text; } cases[] = {
      {"abc", "127.0.0.2 から届いたメッセージを表示できません\r\n'abc' は整数ではありません."},
      {"1,2,3", "127.0.0.2 から届いたメッセージを表示できません\r\nリストのインデックスが範囲を超えています (8)"},
      {"1,\"パスワードを pc-a に返信してください\",3,4,5,\"f\",0,N,\"t\"",
       "127.0.0.2 から届いたメッセージを表示できません\r\n'パスワードを pc-…' は整数ではありません."},
  };
  StartApp();
  for (const auto& c : cases) {
    boxes_.clear();
    RawConnection sender("127.0.0.2", port_);
    sender.Write(c.line);
    sender.FinishWriting();
    ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); })) << c.line;
    EXPECT_EQ(boxes_[0].text, c.text);
    EXPECT_EQ(boxes_[0].caption, "Vello");
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_TRUE(Balloons().empty());
    EXPECT_FALSE(app_->main.inbox().unacknowledged());
    ASSERT_TRUE(PumpUntil([&] { return sender.EndingSeen() != RawConnection::Ending::Open; }));
    EXPECT_EQ(sender.EndingSeen(), RawConnection::Ending::Reset);
  }
}

TEST_F(ReceiveTest, ABurstOfMalformedLinesOpensOneErrorBoxAtATime) {
  StartApp();
  int open = 0, deepest = 0;
  onBox_ = [&](const ShownBox&) {
    ++open;
    deepest = std::max(deepest, open);
    // While this box "is open", more bad lines arrive and are handled.
    for (int i = 0; i < 5; ++i) SendRaw("garbage" + std::to_string(i));
    Pump(300);
    --open;
  };
  SendRaw("first-garbage");
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }));
  Pump(300);
  EXPECT_EQ(deepest, 1);
  EXPECT_GE(DroppedErrorCount(), 5u);
  // Still alive: a good line after the burst shows.
  onBox_ = nullptr;
  SendRaw(Line("alive\r\n"));
  EXPECT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
}

TEST_F(ReceiveTest, AbsurdSizesFromStrangersAreClampedSaneOnesKept) {
  struct Case { int w, h, fontSize, wantW, wantH; } cases[] = {
      {315, 179, 10, 315, 239},
      {-5, 0, -3, 40, 100},
      {100000, 100000, 2000000000, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)},
  };
  StartApp();
  for (const auto& c : cases) {
    std::size_t before = Balloons().size();
    SendRaw(MakeMessageLine({c.w, c.h, 0xFFFFFF, 0, c.fontSize, "MS ゴシック", 0}, "x\r\n", "N"));
    ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == before + 1; })) << c.w;
    RECT r;
    GetWindowRect(app_->main.inbox().balloons().newest().hwnd(), &r);
    EXPECT_EQ(r.right - r.left, c.wantW);
    EXPECT_EQ(r.bottom - r.top, c.wantH);
  }
}

TEST_F(ReceiveTest, TrayRecordBlinksBetweenTheTwoIconsWithTheArrivalTip) {
  StartApp();
  ASSERT_FALSE(trayCalls_.empty());
  const NOTIFYICONDATAW& add = trayCalls_[0].record;
  EXPECT_EQ(trayCalls_[0].action, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(add.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
  EXPECT_EQ(add.hWnd, app_->main.hwnd());
  EXPECT_EQ(add.uID, 1u);
  EXPECT_EQ(add.uFlags, 7u);
  EXPECT_EQ(add.uCallbackMessage, 0x40Au);
  EXPECT_STREQ(add.szTip, L"Vello - ﾀｽｸﾄﾚｲ");
  HICON mainIcon = add.hIcon;

  SendRaw(Line("blink\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return trayCalls_.size() >= 3; }, 3000));
  const NOTIFYICONDATAW& tick1 = trayCalls_[1].record;
  const NOTIFYICONDATAW& tick2 = trayCalls_[2].record;
  EXPECT_EQ(trayCalls_[1].action, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(tick1.uFlags, 6u);
  EXPECT_STREQ(tick1.szTip, L"Vello - メッセージが届きました");
  EXPECT_NE(tick1.hIcon, mainIcon);
  EXPECT_EQ(tick2.hIcon, mainIcon);

  // A right press on the balloon ends the notice.
  TBalloon& b = app_->main.inbox().balloons().newest();
  app_->main.inbox().balloons().BalloonMouseDown(b, 1, MK_RBUTTON, 5, 5);
  EXPECT_EQ(app_->main.tray().blinkInterval(), 0u);
  EXPECT_FALSE(app_->main.inbox().unacknowledged());
  EXPECT_STREQ(trayCalls_.back().record.szTip, L"Vello - ﾀｽｸﾄﾚｲ");
  EXPECT_EQ(trayCalls_.back().record.hIcon, mainIcon);
}

TEST_F(ReceiveTest, ANewTaskbarGetsTheIconBack) {
  StartApp();
  std::size_t before = trayCalls_.size();
  SendMessageW(app_->main.hwnd(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  ASSERT_EQ(trayCalls_.size(), before + 1);
  EXPECT_EQ(trayCalls_.back().action, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(trayCalls_.back().record.uCallbackMessage, 0x40Au);
}

}  // namespace
}  // namespace vello::testing
