// vello-send's text: UTF-8 to code page 932, what it cannot hold, line ends.
#include "vello_send_fixture.h"

namespace vello::testing {
namespace {

TEST(VelloSendText, Utf8BecomesCodePage932) {
  struct Case {
    std::string utf8, cp932;
  } cases[] = {
      {"", ""},
      {"plain ASCII, \"quoted\"", "plain ASCII, \"quoted\""},
      {U8(u8"こんにちは"), "こんにちは"},
      {U8(u8"ＭＳ Ｐゴシック"), "ＭＳ Ｐゴシック"},
      // Trail byte 0x5C.
      {U8(u8"ソ表"), "\x83\x5C\x95\x5C"},
      // NEC and IBM extensions of code page 932.
      {U8(u8"①髙"), "\x87\x40\xFB\xFC"},
      // The wave dash as Linux input methods type it is the code page's 81 60.
      {U8(u8"〜"), "\x81\x60"},
      {U8(u8"～"), "\x81\x60"},
      {U8(u8"ｱｲｳ"), "\xB1\xB2\xB3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
}

TEST(VelloSendText, CharactersTheCodePageLacksAreNamedNotReplaced) {
  struct Case {
    std::string utf8, says;
  } cases[] = {
      {U8(u8"ok 😀"), U8(u8"\"😀\" (U+1F600, line 1, column 4) is not in code page 932")},
      {U8(u8"a\nb\r\ncafé"), U8(u8"\"é\" (U+00E9, line 3, column 4)")},
      {U8(u8"안녕"), "(U+C548, line 1, column 1)"},
      // A control character is named by its code only.
      {U8(u8"x\u0085"), "(U+0085, line 1, column 2) is not in code page 932"},
      {"a\xFF", "byte 0xFF (line 1, column 2) is not UTF-8"},
      {"\xC0\xAF", "byte 0xC0 (line 1, column 1) is not UTF-8"},      // overlong "/"
      {"\xED\xA0\x80", "byte 0xED (line 1, column 1) is not UTF-8"},  // a surrogate
      {"ab\xE3\x81", "byte 0xE3 (line 1, column 3) is not UTF-8"},    // cut short
  };
  for (const auto& c : cases) {
    try {
      std::string converted = Utf8ToCp932(c.utf8);
      ADD_FAILURE() << c.utf8 << " became " << converted;
    } catch (const TextError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

TEST(VelloSendText, UnsendableTextExitsWithStatus3BeforeConnecting) {
  struct Case {
    std::vector<std::string> args;
    std::string input, says;
  } cases[] = {
      // Port 1 on the loopback: a connection attempt would report refusal.
      {{"-p1", "127.0.0.1", U8(u8"done 🎉")}, "", "the text cannot be sent: \"" + U8(u8"🎉") + "\" (U+1F389"},
      {{"-p1", "127.0.0.1"}, U8(u8"line\n😀\n"), "(U+1F600, line 2, column 1)"},
      {{"-p1", "--font", U8(u8"Noto 😀"), "127.0.0.1", "x"}, "", "the font name cannot be sent: \""},
      {{"-p1", "127.0.0.1"}, std::string("a\0b", 3), "the text cannot be sent: it holds a NUL character (line 1, column 2)"},
      {{"-p1", "127.0.0.1"}, "\xFE", "the text cannot be sent: byte 0xFE"},
      // Longer than any receiver takes: 170,000 full-width characters on one line.
      {{"-p1", "127.0.0.1"}, [] {
         std::string t;
         for (int i = 0; i < 170000; ++i) t += U8(u8"あ");
         return t;
       }(),
       "the message is too long to be sent: 340044 bytes, at most 327680"},
  };
  for (const auto& c : cases) {
    RunResult r = RunWith(c.args, c.input);
    EXPECT_EQ(r.status, kExitText) << c.says;
    EXPECT_TRUE(IsOneLineMessage(r.err));
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST(VelloSendText, EveryLineEndsWithCrLfAndAnEmptyLastLineIsNoLine) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"a", "a\r\n"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\rb", "a\r\nb\r\n"},
      {"a\n\n", "a\r\n\r\n"},
      {"\n", "\r\n"},
      {"\n\nx", "\r\n\r\nx\r\n"},
      {"ソ\nソ", "ソ\r\nソ\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ComposerLines(c.in), c.out) << c.in;
  // The text field of the line: an empty text is an empty field, not a missing one.
  SendOptions o = ParseSendArguments({"h"});
  EXPECT_EQ(BuildLineFor(o, ""), "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"\"");
  EXPECT_EQ(ReadMessageLine(BuildLineFor(o, "")).text, "");
  EXPECT_EQ(ReadMessageLine(BuildLineFor(o, "x\"y,z\n")).text, "x\"y,z\r\n");
}

}  // namespace
}  // namespace vello::testing
