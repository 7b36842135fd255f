// The composer holds at most kComposerMaxCharacters, whatever puts text in:
// a paste, a typed character, a phrase from the Insert menu, a quote. Wine's
// rich edit lets all of these past its own limit, and its own paste puts the
// clipboard in place of the whole text.
#include <richedit.h>

#include "app_fixture.h"
#include "messaging/message_line.h"
#include "platform/win_text.h"
#include "test_listener.h"

namespace vello::testing {
namespace {

constexpr long kBound = static_cast<long>(kComposerMaxCharacters);
const char kTooLong[] = "メッセージは 65536 文字までです。それより後は入りません";

// Texts as the editor holds them: a paragraph break is one CR. Short
// lines, since a long unbroken paragraph takes Wine's editor minutes to lay out.
std::wstring Lines(const wchar_t* line, long characters) {
  std::wstring text;
  while (static_cast<long>(text.size()) < characters) text += std::wstring(line) + L"\r";
  text.resize(static_cast<std::size_t>(characters));
  return text;
}
std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) out += c == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, c);
  return out;
}

class ComposerTest : public AppFixture {
 protected:
  HWND Editor() { return app_->main.composer().hwnd(); }
  // The composer holds before + selected + after, with `selected` selected.
  void Fill(const std::wstring& before, const std::wstring& selected, const std::wstring& after) {
    SetWindowTextW(Editor(), WithCrLf(before + selected + after).c_str());
    CHARRANGE selection{static_cast<LONG>(before.size()), static_cast<LONG>(before.size() + selected.size())};
    SendMessageW(Editor(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  }
  void Focus() {
    ShowWindow(app_->main.hwnd(), SW_SHOW);
    SetForegroundWindow(app_->main.hwnd());
    SetFocus(Editor());
    Pump(50);
    ASSERT_EQ(GetFocus(), Editor());
  }
  static void PutOnClipboard(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
  }
  static void Keys(std::initializer_list<std::pair<WORD, DWORD>> strokes) {
    std::vector<INPUT> inputs;
    for (auto [key, flags] : strokes) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      if (flags & KEYEVENTF_UNICODE)
        in.ki.wScan = key;
      else
        in.ki.wVk = key;
      in.ki.dwFlags = flags;
      inputs.push_back(in);
    }
    ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
  }
  static void CtrlV() { Keys({{VK_CONTROL, 0}, {'V', 0}, {'V', KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}}); }
  static void ShiftInsert() {
    // Insert is an extended key; without the flag it would be the keypad's 0.
    Keys({{VK_SHIFT, 0},
          {VK_INSERT, KEYEVENTF_EXTENDEDKEY},
          {VK_INSERT, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
          {VK_SHIFT, KEYEVENTF_KEYUP}});
  }
  std::wstring Held() { return Widen(app_->main.composer().PlainText()); }
};

TEST_F(ComposerTest, WhateverPutsTextInTheComposerHoldsNoMoreThanTheBound) {
  WriteBeside("Fixed.dat", "[あいさつ]\r\nおはようございます=\r\n");
  StartApp();
  const std::wstring pasted = Lines(L"abcdefgh", 70200);
  const std::wstring quote = Lines(L">quoted", 70200);
  struct Case {
    const char* what;
    std::wstring before, selected, after;
    std::function<void()> insert;
    std::wstring kept;  // what of the inserted text stays
    bool full;          // the box says the rest did not go in
  } cases[] = {
      {"Ctrl+V of 70,200 characters into an empty composer", L"", L"", L"",
       [&] {
         PutOnClipboard(WithCrLf(pasted));
         CtrlV();
       },
       pasted.substr(0, kBound), true},
      {"Ctrl+V of a line between two lines: both stay", L"前の行\r", L"", L"後の行",
       [&] {
         PutOnClipboard(L"貼った行\r\n");
         CtrlV();
       },
       L"貼った行\r", false},
      {"Ctrl+V of 70,200 characters between two lines", L"前の行\r", L"", L"後の行",
       [&] {
         PutOnClipboard(WithCrLf(pasted));
         CtrlV();
       },
       pasted.substr(0, kBound - 7), true},
      {"Shift+Insert over a selection: its room is given back", L"前の行\r", L"選んだ所", L"後の行",
       [&] {
         PutOnClipboard(WithCrLf(pasted));
         ShiftInsert();
       },
       pasted.substr(0, kBound - 7), true},
      {"WM_PASTE with room for seven: a CR LF takes one", Lines(L"room", kBound - 7), L"", L"",
       [&] {
         PutOnClipboard(L"12345\r\n6789");
         SendMessageW(Editor(), WM_PASTE, 0, 0);
       },
       L"12345\r6", true},
      {"a phrase from the Insert menu with room for four of its characters", Lines(L"room", kBound - 4), L"", L"",
       [&] {
         HMENU phrases = GetSubMenu(app_->main.insertMenu, 0);
         SendMessageW(app_->main.hwnd(), WM_COMMAND, GetMenuItemID(phrases, 0), 0);
       },
       L"おはよう", true},
      {"a quote of a long message set whole: its end goes", L"", L"", L"",
       [&] { app_->main.SetComposerText(Narrow(WithCrLf(quote))); }, quote.substr(0, kBound), true},
      {"a character typed into a full composer", Lines(L"full", kBound - 3), L"", L"end",
       [&] { Keys({{L'z', KEYEVENTF_UNICODE}, {L'z', KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}}); }, L"", true},
      {"Enter typed into a full composer", Lines(L"full", kBound - 3), L"", L"end",
       [&] { Keys({{VK_RETURN, 0}, {VK_RETURN, KEYEVENTF_KEYUP}}); }, L"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fill(c.before, c.selected, c.after);
    Focus();
    boxes_.clear();
    c.insert();
    if (c.full) {
      ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 5000)) << app_->main.composer().Length();
    }
    Pump(200);
    const std::wstring expected = c.before + c.kept + c.after;
    EXPECT_EQ(app_->main.composer().Length(), static_cast<long>(expected.size()));
    EXPECT_TRUE(Held() == WithCrLf(expected)) << "held " << Held().size() << " characters";
    ASSERT_EQ(boxes_.size(), c.full ? 1u : 0u);
    if (c.full) {
      EXPECT_EQ(boxes_[0].text, kTooLong);
    }
    // The caret stays where the kept text ends.
    CHARRANGE caret{};
    SendMessageW(Editor(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    EXPECT_EQ(caret.cpMax, static_cast<LONG>(c.before.size() + c.kept.size()));
  }
}

// The paste goes in as far as it fits, in one step: undo takes it back
// whole instead of bringing back what was cut, to be cut again.
TEST_F(ComposerTest, UndoTakesBackAPasteThatDidNotFit) {
  StartApp();
  Fill(L"前の行\r", L"", L"後の行");
  Focus();
  PutOnClipboard(WithCrLf(Lines(L"abcdefgh", 70200)));
  CtrlV();
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 5000));
  ASSERT_EQ(app_->main.composer().Length(), kBound);
  Focus();
  Keys({{VK_CONTROL, 0}, {'Z', 0}, {'Z', KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}});
  Pump(300);
  EXPECT_TRUE(Held() == L"前の行\r\n後の行") << "held " << Held().size() << " characters";
  EXPECT_EQ(boxes_.size(), 1u);
}

// What reaches the receiver is what the composer kept, not what was pasted.
TEST_F(ComposerTest, ALongPasteSendsOnlyWhatTheComposerKept) {
  StartApp();
  TestListener peer;
  app_->main.outbox().SetPort(peer.port());
  const std::wstring pasted = Lines(L"abcdefgh", 70200);
  Focus();
  PutOnClipboard(WithCrLf(pasted));
  SendMessageW(Editor(), WM_PASTE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 5000));
  app_->main.SetDestinationText("127.0.0.1");
  app_->main.OnSendClicked();
  ASSERT_TRUE(PumpUntil([&] { return peer.received().size() == 1; }, 10000));
  ReceivedMessage arrived = ReadMessageLine(peer.received()[0]);
  // Every line of the kept text, each with its CR LF.
  EXPECT_TRUE(Widen(arrived.text) == WithCrLf(pasted.substr(0, kBound)) + L"\r\n")
      << "arrived " << arrived.text.size() << " bytes";
}

}  // namespace
}  // namespace vello::testing
