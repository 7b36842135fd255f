// Error boxes: the user's own failures are always shown, also while a box
// for what arrived from the network is open; a settings dialog whose pages
// cannot be filled does not open.
#include "app_fixture.h"
#include "app/main_form.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/win_text.h"
#include "settings/general_page1.h"

namespace vello::testing {
namespace {

class ErrorDisplayTest : public AppFixture {
 protected:
  void Command(UINT id) { SendMessageW(app_->main.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
  bool DialogVisible() { return IsWindowVisible(app_->setup.hwnd()) != FALSE; }
};

TEST_F(ErrorDisplayTest, AFailingOkIsShownWhileANetworkErrorBoxIsOpen) {
  StartApp();
  Command(mainids::SettingsItem);
  ASSERT_TRUE(DialogVisible());
  TGeneralPage1& g = app_->setup.content<TGeneralPage1>(SetupPage::General1);
  Click(g.soundOnArrivalBox);
  SetControlText(g.soundFileBox, DirText() + "\\no-such-sound.wav");
  bool pressedOk = false;
  onBox_ = [&](const ShownBox&) {
    // While the box about a malformed line is open, the user presses OK and
    // the sound file cannot be opened.
    if (pressedOk) return;
    pressedOk = true;
    Click(app_->setup.okButton);
  };
  SendRaw("garbage");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() >= 2; }, 3000)) << boxes_.size();
  EXPECT_EQ(boxes_[0].text, "127.0.0.1 から届いたメッセージを表示できません\r\n'garbage' は整数ではありません.");
  EXPECT_EQ(boxes_[1].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(DialogVisible());  // OK stopped at its error
  // Network errors keep their bound: one box at a time.
  std::size_t dropped = DroppedErrorCount();
  onBox_ = [&](const ShownBox&) {
    SendRaw("more garbage");
    Pump(200);
  };
  SendRaw("garbage again");
  ASSERT_TRUE(PumpUntil([&] { return boxes_.size() == 3; }, 3000));
  Pump(200);
  EXPECT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(DroppedErrorCount(), dropped + 1);
}

TEST_F(ErrorDisplayTest, TheSettingsDialogDoesNotOpenWhenAFileCannotBeRead) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");
  StartApp();
  HANDLE lock = CreateFileW(PathBeside(".dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  Command(mainids::SettingsItem);
  CloseHandle(lock);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " は開けません"));
  EXPECT_FALSE(DialogVisible());
  // Readable again: it opens.
  Command(mainids::SettingsItem);
  EXPECT_TRUE(DialogVisible());
  EXPECT_EQ(boxes_.size(), 1u);
}

}  // namespace
}  // namespace vello::testing
