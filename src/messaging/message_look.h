#pragma once
// The look of a message: the size of the sender's editing area (the body of
// the receiver's balloon), the background colour and the font. The
// composer has one, a message line carries one, a scheduled entry stores
// one and a balloon shows one.
#include <cstdint>
#include <string>

#include "common/font_style.h"

namespace vello {

struct MessageLook {
  int32_t width = 0, height = 0;  // pixels
  int32_t color = 0xFFFFFF;       // background colour value (see common/color_value.h)
  int32_t fontColor = 0;
  int32_t fontSize = 10;          // points
  std::string fontName;           // CP932
  uint8_t fontStyle = 0;          // see common/font_style.h

  FontStyle style() const { return FontStyle::FromBits(fontStyle); }
  friend bool operator==(const MessageLook&, const MessageLook&) = default;
};

// A stranger's look made safe to show on a screen of the given size. Every
// value a composer can produce is kept exactly; only what would crash,
// freeze or strand a window is clamped: the body between 40 pixels (smaller
// cannot be right-clicked) and the screen (minus the 60-pixel tail below
// it), the font between 1 and 500 points (larger makes a label a frozen
// screenful).
MessageLook ClampedToScreen(const MessageLook& look, int screenWidth, int screenHeight);

}  // namespace vello
