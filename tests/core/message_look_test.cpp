// The look of a message: strangers' sizes made safe, the colour and style
// values decided once, and the look as the settings file and a schedule
// record hold it.
#include <gtest/gtest.h>

#include "common/color_value.h"
#include "common/font_style.h"
#include "messaging/message_look.h"
#include "schedule/schedule_entry.h"
#include "settings/settings_keys.h"
#include "temp_folder.h"

using namespace vello;

namespace {

MessageLook Look(int32_t w, int32_t h, int32_t size) { return {w, h, 0xFFFFFF, 0, size, "MS ゴシック", 0}; }

}  // namespace

TEST(MessageLook, StrangersSizesAreClampedSaneOnesKept) {
  struct Case { int32_t w, h, size, wantW, wantH, wantSize; } cases[] = {
      {315, 179, 10, 315, 179, 10},                  // a composer's own
      {40, 40, 1, 40, 40, 1},                        // the smallest kept
      {1280, 964, 500, 1280, 964, 500},              // the largest kept on 1280 x 1024
      {39, 0, 0, 40, 40, 1},
      {-5, -2147483647 - 1, -3, 40, 40, 1},
      {1281, 965, 501, 1280, 964, 500},
      {2147483647, 2147483647, 2147483647, 1280, 964, 500},
  };
  for (const auto& c : cases) {
    MessageLook safe = ClampedToScreen(Look(c.w, c.h, c.size), 1280, 1024);
    EXPECT_EQ(safe.width, c.wantW) << c.w;
    EXPECT_EQ(safe.height, c.wantH) << c.h;
    EXPECT_EQ(safe.fontSize, c.wantSize) << c.size;
    EXPECT_EQ(safe.fontName, "MS ゴシック");
  }
  // A screen smaller than the smallest body still gives a reachable balloon.
  MessageLook tiny = ClampedToScreen(Look(500, 500, 10), 20, 30);
  EXPECT_EQ(tiny.width, 40);
  EXPECT_EQ(tiny.height, 40);
}

TEST(MessageLook, ColourValuesAreSystemColoursOnlyWithTheTopBit) {
  struct Case { int32_t value; bool system; int index; uint32_t rgb; } cases[] = {
      {16777215, false, 0xFF, 0xFFFFFF},
      {0, false, 0, 0},
      {255, false, 0xFF, 0x0000FF},
      {0x12FFEEDD, false, 0xDD, 0xFFEEDD},  // a stranger's fourth byte is not passed on
      {-2147483643, true, 5, 0x000005},     // 0x80000005: the window background
      {-2147483640, true, 8, 0x000008},
      {-1, true, 0xFF, 0xFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSystemColor(c.value), c.system) << c.value;
    EXPECT_EQ(SystemColorIndex(c.value), c.index) << c.value;
    EXPECT_EQ(PlainRgb(c.value), c.rgb) << c.value;
  }
}

TEST(MessageLook, FontStyleBits) {
  for (uint32_t bits = 0; bits < 16; ++bits) EXPECT_EQ(FontStyle::FromBits(bits).Bits(), bits);
  FontStyle s = FontStyle::FromBits(263);  // only the four style bits count
  EXPECT_TRUE(s.bold && s.italic && s.underline);
  EXPECT_FALSE(s.strikeOut);
  EXPECT_EQ(s.Bits(), 7);
  EXPECT_EQ((FontStyle{.bold = false, .italic = true, .underline = false, .strikeOut = true}.Bits()), 10);
  EXPECT_EQ(FontStyle::FromBits(9), (FontStyle{.bold = true, .italic = false, .underline = false, .strikeOut = true}));
}

TEST(MessageLook, AScheduleRecordHoldsTheLookInItsFields) {
  MessageLook look{640, 480, -2147483643, 0x0000FF, 14, "ＭＳ Ｐゴシック", 11};
  TScheduleEntry e;
  e.SetLook(look);
  EXPECT_EQ(e.Width(), 640);
  EXPECT_EQ(e.Height(), 480);
  EXPECT_EQ(e.Color(), -2147483643);
  EXPECT_EQ(e.FontColor(), 0x0000FF);
  EXPECT_EQ(e.FontSize(), 14);
  EXPECT_EQ(e.FontName(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(e.FontStyle(), 11);
  EXPECT_EQ(e.Look(), look);
  // The name's field holds 20 bytes.
  look.fontName = "0123456789abcdefghijKLMN";
  e.SetLook(look);
  EXPECT_EQ(e.Look().fontName, "0123456789abcdefghij");
}

class ComposerLookSettings : public vello::testing::TempFolderTest {};

TEST_F(ComposerLookSettings, ReadFromTheEditSectionWithEachDefault) {
  IniFile missing(PathOf("none.ini"));
  MessageLook defaults = ReadComposerLook(missing);
  EXPECT_EQ(defaults, DefaultComposerLook());
  EXPECT_EQ(defaults.color, 16777215);
  EXPECT_EQ(defaults.fontColor, 0);
  EXPECT_EQ(defaults.fontSize, 10);
  EXPECT_EQ(defaults.fontName, "MS ゴシック");
  EXPECT_EQ(defaults.fontStyle, 0);

  Write(PathOf("vello.ini"),
        "[edit]\r\nColor=255\r\nFont-Color=0x10\r\nFont-Size=abc\r\nFont-Name=ＭＳ Ｐゴシック\r\nFont-Style=3\r\n");
  MessageLook look = ReadComposerLook(IniFile(PathOf("vello.ini")));
  EXPECT_EQ(look.color, 255);
  EXPECT_EQ(look.fontColor, 16);
  EXPECT_EQ(look.fontSize, 10);  // no number: the default
  EXPECT_EQ(look.fontName, "ＭＳ Ｐゴシック");
  EXPECT_EQ(look.fontStyle, 3);

  // Sizes other than the default are the file's, as written or by hand.
  for (auto [text, points] : {std::pair{"14", 14}, {"0x10", 16}, {"72", 72}, {"9", 9}}) {
    Write(PathOf("vello.ini"), std::string("[Edit]\r\nFont-Size=") + text + "\r\n");
    EXPECT_EQ(ReadComposerLook(IniFile(PathOf("vello.ini"))).fontSize, points) << text;
  }
}
