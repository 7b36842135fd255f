#pragma once
// TClickLabel: a text label that acts as a hyperlink. While the mouse is
// over it the text takes EnterColor and the pointer EnterCursor; a click
// raises the label's own click event and then hands Hikisu to the shell
// ("OPEN"), which opens it with its associated program. A Hikisu that is a
// bare file name opens the file of that name beside the executable.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/window.h"

namespace vello {

// Colours are colour values (common/color_value.h).
inline constexpr int32_t kColorWindowText = static_cast<int32_t>(0x80000008);
inline constexpr int32_t kColorBlack = 0x000000;
inline constexpr int32_t kColorYellow = 0x00FFFF;

// Cursor identifiers: 0 is the default cursor, negative values name the
// system's cursors.
inline constexpr int16_t kCursorDefault = 0;
inline constexpr int16_t kCursorArrow = -2;
inline constexpr int16_t kCursorIBeam = -4;
inline constexpr int16_t kCursorHourGlass = -11;
inline constexpr int16_t kCursorNo = -18;
inline constexpr int16_t kCursorHelp = -20;
inline constexpr int16_t kCursorHandPoint = -21;
// The system cursor shown for an identifier (the arrow for the default one
// and for identifiers it does not know).
HCURSOR CursorHandle(int16_t cursor);

struct ClickLabelArgs {
  HWND parent = nullptr;
  int x = 0, y = 0, width = 0, height = 0;  // a width of 0 fits the caption
  std::string caption;                      // CP932
  HFONT font = nullptr;
};

class TClickLabel : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TClickLabel";

  // The font's colour at this moment (the window-text colour) is the one
  // the label returns to whenever the mouse leaves it.
  TClickLabel();
  ~TClickLabel() override;
  void CreateLabel(const ClickLabelArgs& args);

  const std::string& Hikisu() const { return FHikisu; }
  void SetHikisu(const std::string& target);
  int32_t EnterColor() const { return FEnterColor; }
  void SetEnterColor(int32_t color) { FEnterColor = color; }
  int16_t EnterCursor() const { return FEnterCursor; }
  void SetEnterCursor(int16_t cursor) { FEnterCursor = cursor; }

  // The label's font colour and cursor as they stand.
  int32_t FontColor() const { return fontColor_; }
  void SetFontColor(int32_t color);
  int16_t Cursor() const { return cursor_; }

  // The label's own click event, raised before the shell is called.
  std::function<void()> OnClick;

  // The notifications, as the window's mouse messages raise them.
  void MouseEnter();
  void MouseLeave();
  void Click();
  // What a click hands to the shell: Hikisu, or the full path of the file
  // it names beside the executable.
  std::wstring ShellTarget() const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Paint(HDC dc);

  // The label's own font colour and cursor come first: FNormalColor is
  // taken from the font's colour as constructed.
  int32_t fontColor_ = kColorWindowText;
  int16_t cursor_ = kCursorDefault;

  int32_t FNormalColor;
  int32_t FEnterColor = kColorBlack;
  int16_t FEnterCursor = kCursorDefault;
  std::string FHikisu;

  HFONT font_ = nullptr;
  bool mouseInside_ = false;
  bool pressed_ = false;
};

}  // namespace vello
