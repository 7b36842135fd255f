// The message line: building, comma-text splitting and reading received lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/vello_error.h"
#include "messaging/message_line.h"

using namespace vello;
using namespace std::string_literals;

namespace {

std::string ErrorOf(std::string_view line) {
  try {
    ReadMessageLine(line);
  } catch (const VelloError& e) {
    return e.text();
  }
  return "(no error)";
}

}  // namespace

TEST(MakeMessageLine, ExampleLineByteForByte) {
  std::string line = MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "こんにちは\r\n", "N");
  // "MS ゴシック" and "こんにちは" spelled out as CP932 bytes.
  std::string expected =
      "315,179,16777215,0,10,\"MS \x83\x53\x83\x56\x83\x62\x83\x4E\",0,N,"
      "\"\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n\"";
  EXPECT_EQ(line, expected);
}

TEST(MakeMessageLine, FieldsInWireOrderWithQuotesDoubled) {
  struct Case {
    std::string font, text, mark;
    int32_t width, height, size;
    uint8_t style;
    int32_t color, fontColor;
    std::string line;
  } cases[] = {
      {"Arial", "x\"y,z\r\n", "P", 1, 2, 3, 4, 5, 6, "1,2,5,6,3,\"Arial\",4,P,\"x\"\"y,z\r\n\""},
      {"MS ゴシック", "", "N", 315, 179, 10, 0, 16777215, 0, "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"\""},
      {"ＭＳ Ｐゴシック", "\"\"", "N", 0, 0, 9, 15, -2147483643, -2147483640,
       "0,0,-2147483643,-2147483640,9,\"ＭＳ Ｐゴシック\",15,N,\"\"\"\"\"\""},
      {"f", "a\r\nb\r\n", "N", -5, 2147483647, -1, 255, -2147483647 - 1, 0,
       "-5,2147483647,-2147483648,0,-1,\"f\",255,N,\"a\r\nb\r\n\""},
  };
  for (const auto& c : cases) {
    MessageLook look{c.width, c.height, c.color, c.fontColor, c.size, c.font, c.style};
    EXPECT_EQ(MakeMessageLine(look, c.text, c.mark), c.line);
  }
}

TEST(MakeMessageLine, FieldsFromFilesCannotRewriteTheLine) {
  struct Case { std::string name, font, text, mark; } cases[] = {
      // A face name holding a quote, from a settings file or a schedule record.
      {"quote in the name", "a\",0,P,\"FAKE", "本文\r\n", "N"},
      {"name cut inside a character", std::string("ＭＳ Ｐゴシ\x83"), "t\r\n", "N"},
      {"lead byte before a quote", std::string("ab\x81\"c"), "t\r\n", "N"},
      {"lead byte E0 to FC cut off", std::string("f\xE9"), "t\r\n", "N"},
      {"text cut inside a character", "f", std::string("あいう\x82"), "N"},
      {"NUL in the name", std::string("a\0b", 3), "t", "N"},
      // A name from a fixed-size record: cut inside a character, then NUL
      // padding. The lead byte must not take the NUL along as its pair.
      {"NUL-padded name cut inside a character", std::string("ＭＳ Ｐゴシ\x83") + std::string(3, '\0'), "t\r\n", "N"},
      {"a mark that is not P or N", "f", "t", ","},
  };
  for (const auto& c : cases) {
    MessageLook look{315, 179, 16777215, 0, 10, c.font, 0};
    std::string line = MakeMessageLine(look, c.text, c.mark);
    ASSERT_EQ(SplitCommaText(line).size(), 9u) << c.name << ": " << line;
    ReceivedMessage m = ReadMessageLine(line);
    EXPECT_FALSE(m.important) << c.name;
    EXPECT_EQ(m.look.width, 315) << c.name;
    EXPECT_EQ(m.look.fontStyle, 0) << c.name;
    EXPECT_NE(m.text, "FAKE") << c.name;
  }
  // What can be kept is kept: a quote in a name reads back as a quote.
  MessageLook quoted{1, 2, 3, 4, 5, "a\"b", 0};
  EXPECT_EQ(ReadMessageLine(MakeMessageLine(quoted, "t", "N")).look.fontName, "a\"b");
  EXPECT_EQ(ReadMessageLine(MakeMessageLine({1, 2, 3, 4, 5, std::string("ＭＳ\x83"), 0}, "t", "N")).look.fontName, "ＭＳ");
  EXPECT_EQ(ReadMessageLine(MakeMessageLine({1, 2, 3, 4, 5, "f", 0}, std::string("あ\x82"), "N")).text, "あ");
}

TEST(SplitCommaText, Rules) {
  struct Case { std::string in; std::vector<std::string> fields; } cases[] = {
      {"", {}},
      {" \t\r\n", {}},
      {"a,b,c", {"a", "b", "c"}},
      {"a,,c", {"a", "", "c"}},
      {",a", {"", "a"}},
      {"a,b,", {"a", "b"}},           // a comma at the end gives no empty field
      {"a,b, ", {"a", "b"}},
      {"  a ,\r\n b", {"a", "b"}},    // blanks and controls around fields are skipped
      {"a b", {"a", "b"}},            // a blank ends an unquoted field
      {"a\tb", {"a", "b"}},
      {"\x01\x1F" "a", {"a"}},
      {"a\"b,c", {"a\"b", "c"}},      // a quote inside an unquoted field is content
      {"\"\"", {""}},
      {"\"\",\"\"", {"", ""}},
      {"\"x\"\"y,z\r\n\",n", {"x\"y,z\r\n", "n"}},
      {"\" lead, trail \"", {" lead, trail "}},
      {"\"a\"b", {"a", "b"}},         // no comma needed after a quoted field
      {"\"a\" \"b\"", {"a", "b"}},
      {"\"\"\"\"", {"\""}},
      {"a\0b,c"s, {"a"}},             // NUL ends the text
      {"x,\"a\0b\",c"s, {"x", "a"}},  // also inside quotes
      {"\0a"s, {}},
      // A quoted field without its closing quote takes the rest of the data.
      {"1,\"abc", {"1", "abc"}},
      {"1,\"ab\"\"", {"1", "ab\""}},
      {"1,\"", {"1", ""}},
      {"1,\"a,b\r\n", {"1", "a,b\r\n"}},
      // Double-byte characters: trail bytes 0x5C and 0x7C stay inside the field.
      {"ソ,表,ポ", {"ソ", "表", "ポ"}},
      {"\"ソ\",\"表\"\"\",\"ポ,\"", {"ソ", "表\"", "ポ,"}},
      {"ＭＳ Ｐゴシック", {"ＭＳ", "Ｐゴシック"}},
      {"\"ＭＳ Ｐゴシック\"", {"ＭＳ Ｐゴシック"}},
      // Scanning is by characters: a lead byte takes the next byte with it,
      // whatever it is, so it never ends a field.
      {"\x83,x", {"\x83,x"}},
      {"\"\x83\",x\"", {"\x83\",x"}},
      {"a\x83", {"a\x83"}},            // a lead byte cut off at the end
      {"\"a\x83", {"a\x83"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommaText(c.in), c.fields) << "input: " << c.in;
}

TEST(ParseInt32, OptionalMinusThenDigitsWithinRange) {
  struct Case { const char* in; std::optional<int32_t> value; } cases[] = {
      {"0", 0}, {"-0", 0}, {"315", 315}, {"007", 7}, {"-2147483643", -2147483643},
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
      {"+1", std::nullopt}, {" 1", std::nullopt}, {"1 ", std::nullopt}, {"1a", std::nullopt},
      {"0x10", std::nullopt}, {"$10", std::nullopt}, {"--1", std::nullopt}, {"１", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInt32(c.in), c.value) << c.in;
}

TEST(ReadMessageLine, ExampleLine) {
  ReceivedMessage m = ReadMessageLine("315,179,16777215,0,10,\"MS ゴシック\",0,N,\"こんにちは\r\n\"");
  EXPECT_EQ(m.look.width, 315);
  EXPECT_EQ(m.look.height, 179);
  EXPECT_EQ(m.look.color, 16777215);
  EXPECT_EQ(m.look.fontColor, 0);
  EXPECT_EQ(m.look.fontSize, 10);
  EXPECT_EQ(m.look.fontName, "MS ゴシック");
  EXPECT_EQ(m.look.fontStyle, 0);
  EXPECT_FALSE(m.important);
  EXPECT_EQ(m.text, "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n");
}

TEST(ReadMessageLine, FieldValues) {
  struct Case {
    std::string line;
    int32_t color, fontColor;
    uint8_t style;
    bool important;
    std::string font, text;
  } cases[] = {
      {"1,2,-2147483643,-2147483640,9,\"ＭＳ Ｐゴシック\",7,P,\"t\"", -2147483643, -2147483640, 7, true,
       "ＭＳ Ｐゴシック", "t"},
      {"1,2,3,4,9,\"f\",263,N,\"t\"", 3, 4, 7, false, "f", "t"},        // low 8 bits of the style
      {"1,2,3,4,9,\"f\",-1,N,\"t\"", 3, 4, 255, false, "f", "t"},
      {"1,2,3,4,9,\"f\",0,p,\"t\"", 3, 4, 0, false, "f", "t"},          // only "P" is important
      {"1,2,3,4,9,\"f\",0,,\"t\"", 3, 4, 0, false, "f", "t"},
      {"1,2,3,4,9,\"f\",0,PN,\"t\"", 3, 4, 0, false, "f", "t"},
      {"1,2,3,4,9,\"f\",0,\"P\",\"t\"", 3, 4, 0, true, "f", "t"},
      {"1,2,3,4,9,\"f\",0,N,\"t\",tenth,\"eleventh\"", 3, 4, 0, false, "f", "t"},  // extra fields ignored
      {"1,2,3,4,9,\"f\",0,N,\"\"", 3, 4, 0, false, "f", ""},
      {"1,2,3,4,9,\"f\",0,N,\"a\r\nb\r\n\"", 3, 4, 0, false, "f", "a\r\nb\r\n"},
      {"1,2,3,4,9,\"f\",0,N,\"x\"\"y,z\r\n\"", 3, 4, 0, false, "f", "x\"y,z\r\n"},
      {"1,2,3,4,9,\"f\",0,N,\"ソ表\\\"", 3, 4, 0, false, "f", "ソ表\\"},
      {"1,2,3,4,9,f,0,N,\"cut short", 3, 4, 0, false, "f", "cut short"},
  };
  for (const auto& c : cases) {
    ReceivedMessage m = ReadMessageLine(c.line);
    EXPECT_EQ(m.look.width, 1) << c.line;
    EXPECT_EQ(m.look.height, 2) << c.line;
    EXPECT_EQ(m.look.color, c.color) << c.line;
    EXPECT_EQ(m.look.fontColor, c.fontColor) << c.line;
    EXPECT_EQ(m.look.fontSize, 9) << c.line;
    EXPECT_EQ(m.look.fontStyle, c.style) << c.line;
    EXPECT_EQ(m.important, c.important) << c.line;
    EXPECT_EQ(m.look.fontName, c.font) << c.line;
    EXPECT_EQ(m.text, c.text) << c.line;
  }
}

TEST(ReadMessageLine, RefusedLinesReportTheFirstFieldReadThatFails) {
  struct Case { std::string line, error; } cases[] = {
      {"abc", "'abc' は整数ではありません"},
      {"", "リストのインデックスが範囲を超えています (0)"},
      {"1,2", "リストのインデックスが範囲を超えています (2)"},
      {"1,2,x", "'x' は整数ではありません"},
      // The text (8) is read before fields 3 to 7.
      {"1,2,3", "リストのインデックスが範囲を超えています (8)"},
      {"1,2,3,x,y,\"f\",z,N", "リストのインデックスが範囲を超えています (8)"},
      {"1,2,3,x,y,\"f\",z,N,\"t\"", "'x' は整数ではありません"},
      {"1,2,3,4,y,\"f\",z,N,\"t\"", "'y' は整数ではありません"},
      {"1,2,3,4,5,\"f\",z,N,\"t\"", "'z' は整数ではありません"},
      {"1,,3,4,5,\"f\",0,N,\"t\"", "'' は整数ではありません"},
      {"2147483648,2,3,4,5,\"f\",0,N,\"t\"", "'2147483648' は整数ではありません"},
      {"1,-2147483649,3,4,5,\"f\",0,N,\"t\"", "'-2147483649' は整数ではありません"},
      {"1,2,3,4,5,\"f\",+1,N,\"t\"", "'+1' は整数ではありません"},
      {"1,2,3,4,5,\"f\",\"ソ\",N,\"t\"", "'ソ' は整数ではありません"},
      // Nine fields cut at a NUL byte are fewer than nine.
      {"1,2,3,4,5,\"f\",0,N\0,\"t\""s, "リストのインデックスが範囲を超えています (8)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.line), c.error) << c.line;
}

// The sender writes the field an error quotes: the error shows only its
// start, so that no sender can put a message of its own in the box.
TEST(ReadMessageLine, AnErrorQuotesOnlyTheStartOfTheField) {
  struct Case { std::string field, quoted; } cases[] = {
      {"1234567890123456", "1234567890123456"},            // 16 bytes: whole
      {"12345678901234567", "1234567890123456…"},
      {"\"パスワードを pc-a に返信してください\"", "パスワードを pc-…"},
      {"\"あいうえおかき1くけ\"", "あいうえおかき1…"},  // never half a character
      {"\"a\r\nb\x1B[2Jc\x07\"", "a??b?[2Jc?"},         // line breaks and escapes made visible
  };
  for (const auto& c : cases) {
    std::string error = ErrorOf("1," + c.field + ",3,4,5,\"f\",0,N,\"t\"");
    EXPECT_EQ(error, "'" + c.quoted + "' は整数ではありません") << c.field;
  }
}

TEST(IsWholeMessageLine, NineFieldsAndTheTextsClosingQuote) {
  const std::string whole = MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "a,\"b\"\r\n", "N");
  struct Case { std::string bytes; bool whole; } cases[] = {
      {whole, true},
      {whole + ",tenth", true},
      {"1,2,3,4,5,\"f\",0,N,\"\"", true},
      {"1,2,3,4,5,\"f\",0,N,\"ソ\"", true},           // trail byte 0x5C before the quote
      {"", false},
      {"1,2,3,4,5,\"f\",0,N", false},                   // eight fields
      {"1,2,3,4,5,\"f\",0,N,", false},
      {"1,2,3,4,5,\"f\",0,N,\"", false},
      {"1,2,3,4,5,\"f\",0,N,\"cut", false},
      {"1,2,3,4,5,\"f\",0,N,\"a\"\"", false},          // a doubled quote is not the closing one
      {"1,2,3,4,5,\"f\",0,N,text", false},              // the text is always quoted
      {"1,2,3,4,5,\"f\",0,N,\"a\x83\"", false},          // the quote is the lead byte's pair
      {"1,2,3,4,5,\"f\",0,N\0,\"t\""s, false},            // a NUL ends the line
  };
  for (const auto& c : cases) EXPECT_EQ(IsWholeMessageLine(c.bytes), c.whole) << c.bytes;
  // Cut anywhere, a line is not whole. (A text holding a double quote is
  // the exception: cut between the two quotes that stand for it, it looks
  // whole and shorter, as it would to any reader.)
  const std::string plain = MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "こんにちは\r\n", "N");
  for (std::size_t cut = 0; cut < plain.size(); ++cut)
    EXPECT_FALSE(IsWholeMessageLine(plain.substr(0, cut))) << "cut at " << cut;
}

TEST(MessageLine, RoundTripKeepsEveryLook) {
  struct Look {
    std::string font, text, mark;
    int32_t width, height, size;
    uint8_t style;
    int32_t color, fontColor;
  } looks[] = {
      {"MS ゴシック", "こんにちは\r\n", "N", 315, 179, 10, 0, 16777215, 0},
      {"ＭＳ Ｐゴシック", "", "P", 1, 1, 72, 15, -2147483643, -2147483640},
      {"Arial", "x\"y,z\r\n", "N", 640, 480, 12, 7, 255, 65280},
      {"Courier New", "a\r\nb\r\n", "P", 0, 0, 0, 1, 0, 16777215},
      {"f", "\"\"\r\n,,,\r\n", "N", -1, -2147483647 - 1, -8, 255, 2147483647, -1},
      {"ソ表", "  leading blanks, ソ表ポ\\\r\n\r\n\ttab\r\n", "N", 100, 50, 9, 2, 123456, 654321},
      {"f", "lone\rCR and lone\nLF", "P", 2, 3, 4, 8, 5, 6},
  };
  for (const auto& l : looks) {
    MessageLook look{l.width, l.height, l.color, l.fontColor, l.size, l.font, l.style};
    std::string line = MakeMessageLine(look, l.text, l.mark);
    ASSERT_EQ(SplitCommaText(line).size(), 9u) << line;
    ReceivedMessage m = ReadMessageLine(line);
    EXPECT_EQ(m.look, look) << line;
    EXPECT_EQ(m.text, l.text) << line;
    EXPECT_EQ(m.important, l.mark == "P") << line;
  }
}
