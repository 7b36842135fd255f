// Start-up, the settings it applies, the caption buttons, the tray menu
// and working mode, the Insert menu and the composer's tools.
#include <richedit.h>

#include "app_fixture.h"
#include "common/native_path.h"
#include "messaging/message_line.h"
#include "platform/win_text.h"

namespace vello::testing {
namespace {

class ShellTest : public AppFixture {
 protected:
  std::wstring MenuText(HMENU menu, int pos) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(pos), text, 256, MF_BYPOSITION);
    return text;
  }
  bool Checked(HMENU menu, UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED; }
  bool CloseInSystemMenu() {
    return GetMenuState(GetSystemMenu(app_->main.hwnd(), FALSE), SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1);
  }
};

TEST_F(ShellTest, AFirstStartUsesEveryDefault) {
  WriteBeside(".ini", "");
  StartApp();
  RECT r;
  GetWindowRect(app_->main.hwnd(), &r);
  EXPECT_EQ(r.left, 360);
  EXPECT_EQ(r.top, 244);
  EXPECT_EQ(r.right - r.left, 323);
  EXPECT_EQ(r.bottom - r.top, 258);
  MessageLook look = app_->main.composer().Look();
  EXPECT_EQ(look.color, 0xFFFFFF);
  EXPECT_EQ(look.fontColor, 0);
  EXPECT_EQ(look.fontSize, 10);
  EXPECT_EQ(look.fontName, "MS ゴシック");
  EXPECT_EQ(look.fontStyle, 0);
  EXPECT_FALSE(app_->main.ImportanceTicked());
  EXPECT_FALSE(app_->main.WorkMode());
  EXPECT_EQ(app_->main.FormCreateStepsDone(), 14);
  EXPECT_FALSE(CloseInSystemMenu());
  EXPECT_TRUE(app_->main.inbox().server().listening());
  // The destination list: no address book, so the separator, then the network.
  EXPECT_EQ(app_->main.DestinationText(), "");
}

TEST_F(ShellTest, SettingsFromTheFileAreApplied) {
  WriteBeside(".ini", "[SETUP]\r\nPORT=" + std::to_string(port_) +
                          "\r\nPri=1\r\nClear=1\r\nWSound=1\r\nW-mode=1\r\n[window]\r\nTop=100\r\nLeft=110\r\n"
                          "Height=300\r\nWidth=400\r\n[Edit]\r\nColor=255\r\nFont-Color=65280\r\nFont-Size=0x10\r\n"
                          "Font-Name=ＭＳ Ｐゴシック\r\nFont-Style=3\r\n");
  WriteBeside(".dat", "abc : 192.168.0.9\r\n");
  network_ = {"PC01", "pc02"};
  StartApp();
  EXPECT_EQ(app_->main.inbox().server().port(), port_);
  RECT r;
  GetWindowRect(app_->main.hwnd(), &r);
  EXPECT_EQ(r.left, 110);
  EXPECT_EQ(r.top, 100);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);
  MessageLook look = app_->main.composer().Look();
  EXPECT_EQ(look.color, 255);
  EXPECT_EQ(look.fontColor, 65280);
  EXPECT_EQ(look.fontSize, 16);
  EXPECT_EQ(look.fontName, "ＭＳ Ｐゴシック");
  EXPECT_EQ(look.fontStyle, 3);
  EXPECT_TRUE(app_->main.ImportanceTicked());
  EXPECT_TRUE(app_->main.ClearAfterSend());
  EXPECT_FALSE(app_->main.inbox().soundPermitted());
  EXPECT_TRUE(app_->main.WorkMode());
  EXPECT_TRUE(Checked(app_->main.trayMenu.get(), mainids::TrayWorkingModeItem));
  EXPECT_TRUE(Checked(app_->main.fileMenu, mainids::WorkingModeItem));
  EXPECT_EQ(app_->main.DestinationItems(), (std::vector<std::string>{"*abc", "------", "PC01", "pc02"}));
  EXPECT_EQ(app_->main.DestinationText(), "*abc");
}

TEST_F(ShellTest, APortHeldByAnotherProgramStopsStartUpAfterItsError) {
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port_));
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  listen(holder, 1);
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nPri=1\r\n");
  StartApp();
  closesocket(holder);
  ASSERT_FALSE(boxes_.empty());
  EXPECT_EQ(boxes_[0].text.rfind("'bind' API でWindows ソケットエラー: ", 0), 0u) << boxes_[0].text;
  EXPECT_NE(boxes_[0].text.find("(10048)"), std::string::npos);
  EXPECT_EQ(boxes_[0].caption, "Vello");
  // The steps after ApplySettings did not run: no geometry, no tick, no tray
  // icon, and Close stays in the system menu.
  EXPECT_EQ(app_->main.FormCreateStepsDone(), 1);
  EXPECT_FALSE(app_->main.ImportanceTicked());
  EXPECT_TRUE(trayCalls_.empty());
  EXPECT_TRUE(CloseInSystemMenu());
}

// Pure red pixels in the importance box as it paints itself.
int RedPixels(HWND box) {
  RECT r;
  GetClientRect(box, &r);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PrintWindow(box, dc, PW_CLIENTONLY);
  int red = 0;
  for (int y = 0; y < r.bottom; ++y)
    for (int x = 0; x < r.right; ++x) {
      COLORREF c = GetPixel(dc, x, y);
      red += GetRValue(c) > 200 && GetGValue(c) < 80 && GetBValue(c) < 80;
    }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return red;
}

TEST_F(ShellTest, TheImportanceCaptionIsRedWhileTicked) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nPri=1\r\n");
  StartApp();
  HWND box = app_->main.importantBox;
  ASSERT_TRUE(app_->main.ImportanceTicked());
  EXPECT_GT(RedPixels(box), 10);  // right after start-up with Pri set
  SendMessageW(box, BM_CLICK, 0, 0);
  EXPECT_FALSE(app_->main.ImportanceTicked());
  EXPECT_EQ(RedPixels(box), 0);
  SendMessageW(box, BM_CLICK, 0, 0);
  EXPECT_GT(RedPixels(box), 10);
}

TEST_F(ShellTest, AChangedPortTakesEffectAtOnce) {
  StartApp();
  int other = FreePort();
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(other) + "\r\n");
  app_->main.ApplySettings();
  EXPECT_EQ(app_->main.inbox().server().port(), other);
  EXPECT_EQ(app_->main.outbox().port(), other);
  port_ = other;
  SendRaw(MakeMessageLine({315, 179, 0xFFFFFF, 0, 10, "MS ゴシック", 0}, "new port\r\n", "N"));
  EXPECT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
}

TEST_F(ShellTest, TheInsertMenuFollowsThePhraseFile) {
  WriteBeside("Fixed.dat", "[あいさつ]\r\nおはようございます=\r\nA&B=\r\n[連絡]\r\n会議室に来てください=\r\nおはようございます=\r\n[空]\r\n");
  StartApp();
  HMENU insert = app_->main.insertMenu;
  ASSERT_EQ(GetMenuItemCount(insert), 3);
  EXPECT_EQ(MenuText(insert, 0), L"あいさつ");
  EXPECT_EQ(MenuText(insert, 1), L"連絡");
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(insert, 2)), 0);
  HMENU first = GetSubMenu(insert, 0);
  ASSERT_EQ(GetMenuItemCount(first), 2);
  EXPECT_EQ(MenuText(first, 0), L"おはようございます");
  EXPECT_EQ(MenuText(GetSubMenu(insert, 1), 1), L"おはようございます");
  // "&" is shown and inserted as it is; the phrase replaces the selection.
  SetWindowTextW(app_->main.composer().hwnd(), L"xx選択yy");
  SendMessageW(app_->main.composer().hwnd(), EM_SETSEL, 2, 4);
  app_->main.OnPhraseChosen(GetMenuItemID(first, 1));
  wchar_t text[64];
  GetWindowTextW(app_->main.composer().hwnd(), text, 64);
  EXPECT_STREQ(text, L"xxA&Byy");
  // Rebuilt from scratch by the next ApplySettings.
  WriteBeside("Fixed.dat", "[one]\r\nphrase=\r\n");
  app_->main.ApplySettings();
  EXPECT_EQ(GetMenuItemCount(insert), 1);
}

TEST_F(ShellTest, WorkingModeTicksStayInStepAndAreStoredAtOnce) {
  StartApp();
  app_->main.OnWorkingModeToggled();
  EXPECT_TRUE(app_->main.WorkMode());
  EXPECT_TRUE(Checked(app_->main.trayMenu.get(), mainids::TrayWorkingModeItem));
  EXPECT_TRUE(Checked(app_->main.fileMenu, mainids::WorkingModeItem));
  EXPECT_NE(ReadBeside(".ini").find("W-mode=1"), std::string::npos);
  app_->main.OnWorkingModeToggled();
  EXPECT_FALSE(Checked(app_->main.fileMenu, mainids::WorkingModeItem));
  EXPECT_NE(ReadBeside(".ini").find("W-mode=0"), std::string::npos);
}

TEST_F(ShellTest, TheMinimiseBoxHidesOnlyTheMainWindowWhileABalloonIsOpen) {
  StartApp();
  ShowWindow(app_->main.hwnd(), SW_SHOW);
  SendRaw(MakeMessageLine({315, 179, 0xFFFFFF, 0, 10, "MS ゴシック", 0}, "stay\r\n", "N"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  app_->main.CaptionButtonDown(HTMINBUTTON);
  EXPECT_FALSE(IsWindowVisible(app_->main.hwnd()));
  EXPECT_FALSE(IsWindowVisible(app_->application.hwnd()));
  EXPECT_TRUE(IsWindowVisible(Balloons()[0]));
  // With no notice pending, a left press on the tray icon brings it back.
  app_->main.AcknowledgeArrival();
  app_->main.TrayIconMessage(WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(app_->main.hwnd()));
}

TEST_F(ShellTest, TheCloseBoxOnlyExplainsHowToExit) {
  StartApp();
  EXPECT_TRUE(app_->main.CaptionButtonDown(HTCLOSE));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "[メニュー]・[ファイル]・[閉じる]で終了してください");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_TRUE(IsWindow(app_->main.hwnd()));
}

// Alt+F4 as a person presses it, typing in the composer: with the close box
// greyed it gets the close box's answer and the program goes on; after a
// start that stopped early, the system menu still has Close and Alt+F4 ends
// the program as File > Close does.
TEST_F(ShellTest, AltF4AnswersAsTheCloseBoxDoes) {
  struct Case {
    const char* what;
    bool portTaken;
    bool ends;
  } cases[] = {{"a whole start", false, false}, {"a start stopped by a taken port", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes_.clear();
    SOCKET holder = INVALID_SOCKET;
    if (c.portTaken) {
      holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<u_short>(port_));
      ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
      listen(holder, 1);
    }
    StartApp();
    if (holder != INVALID_SOCKET) closesocket(holder);
    ASSERT_EQ(CloseInSystemMenu(), c.portTaken);
    boxes_.clear();  // the taken port's error
    HWND main = app_->main.hwnd();
    ShowWindow(main, SW_SHOW);
    SetForegroundWindow(main);
    SetFocus(app_->main.composer().hwnd());
    Pump(100);
    ASSERT_EQ(GetForegroundWindow(), main);

    INPUT keys[4] = {};
    const WORD strokes[4][2] = {{VK_MENU, 0}, {VK_F4, 0}, {VK_F4, KEYEVENTF_KEYUP}, {VK_MENU, KEYEVENTF_KEYUP}};
    for (int i = 0; i < 4; ++i) {
      keys[i].type = INPUT_KEYBOARD;
      keys[i].ki.wVk = strokes[i][0];
      keys[i].ki.dwFlags = strokes[i][1];
    }
    ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
    bool ended = false;
    const ULONGLONG end = GetTickCount64() + 1000;
    while (GetTickCount64() < end && !ended) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          ended = true;
          break;
        }
        app_->Dispatch(msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    EXPECT_EQ(ended, c.ends);
    if (c.ends) {
      EXPECT_TRUE(boxes_.empty());
    } else {
      ASSERT_EQ(boxes_.size(), 1u);
      EXPECT_EQ(boxes_[0].text, "[メニュー]・[ファイル]・[閉じる]で終了してください");
      EXPECT_TRUE(IsWindowVisible(main));
    }
    StopApp();
  }
}

TEST_F(ShellTest, StartingInTheTrayShowsNoWindow) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nmini=1\r\n");
  StartApp();
  EXPECT_FALSE(IsWindowVisible(app_->main.hwnd()));
  EXPECT_FALSE(IsWindowVisible(app_->application.hwnd()));
  app_->main.TrayIconMessage(WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(app_->main.hwnd()));
}

// The common font and colour dialogs are real; a timer presses their OK
// while they run their modal loops.
void CALLBACK PressOk(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[16];
        GetClassNameW(h, cls, 16);
        if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(h)) {
          *reinterpret_cast<HWND*>(lp) = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  KillTimer(nullptr, id);
  PostMessageW(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

TEST_F(ShellTest, FontAndColourCommandsWriteTheirKeysInOrder) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\n");
  StartApp();
  SetTimer(nullptr, 0, 200, PressOk);
  app_->main.OnFontChosen();
  SetTimer(nullptr, 0, 200, PressOk);
  app_->main.OnBackgroundColourChosen();
  std::string ini = ReadBeside(".ini");
  std::size_t edit = ini.find("[Edit]\r\n");
  ASSERT_NE(edit, std::string::npos) << ini;
  std::size_t pos = edit;
  for (const char* key : {"Font-Color=", "Font-Size=", "Font-Name=", "Font-Style=", "Color="}) {
    std::size_t at = ini.find(std::string("\r\n") + key, pos);
    ASSERT_NE(at, std::string::npos) << key << "\n" << ini;
    pos = at + 1;
  }
  EXPECT_NE(ini.find("Font-Size=10\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Color=16777215\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vello::testing

namespace vello::testing {
namespace {

class SoundTest : public AppFixture {};

TEST_F(SoundTest, ASoundFileThatCannotBeOpenedEndsApplySettingsWithTheMediaError) {
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=1\r\nSound-File=" + DirText() +
                          "\\missing.wav\r\n");
  StartApp();
  ASSERT_FALSE(boxes_.empty());
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_FALSE(boxes_[0].text.empty());
  EXPECT_FALSE(app_->main.inbox().soundOn());
  EXPECT_FALSE(app_->main.inbox().server().listening());  // step 5 never ran
  EXPECT_EQ(app_->main.FormCreateStepsDone(), 1);
}

TEST_F(SoundTest, AWaveFileIsOpenedWhenSoundIsOn) {
  // A tenth of a second of silence, 8 kHz mono 8-bit.
  std::string wav = "RIFF";
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  std::string data(800, '\x80');
  wav += u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(8000) +
         u32(8000) + u16(1) + u16(8) + "data" + u32(static_cast<uint32_t>(data.size())) + data;
  WriteBeside(".wav", wav);
  WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\nSound=1\r\nSound-File=" + PathText(PathBeside(".wav")) +
                          "\r\n");
  StartApp();
  if (!boxes_.empty()) GTEST_SKIP() << "no wave device here: " << boxes_[0].text;
  EXPECT_TRUE(app_->main.inbox().soundOn());
  EXPECT_TRUE(app_->main.inbox().arrivalSound().isOpen());
  // WSound unset: an arrival plays the sound (no error from the player).
  SendRaw(MakeMessageLine({315, 179, 0xFFFFFF, 0, 10, "MS ゴシック", 0}, "ding\r\n", "N"));
  ASSERT_TRUE(PumpUntil([&] { return Balloons().size() == 1; }));
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
}  // namespace vello::testing
