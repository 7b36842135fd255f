// vello-send's command line: defaults, options, bad lines, help and version.
#include "vello_send_fixture.h"

namespace vello::testing {
namespace {

TEST(VelloSendOptions, DefaultsAreTheComposersLook) {
  SendOptions o = ParseSendArguments({"pc01"});
  EXPECT_EQ(o.host, "pc01");
  EXPECT_FALSE(o.port.has_value());
  EXPECT_TRUE(o.text.empty());
  // The line for the example message: 315 by 179, white, black 10-point
  // plain "MS ゴシック", not important, one line こんにちは.
  EXPECT_EQ(BuildLineFor(o, U8(u8"こんにちは")), "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"こんにちは\r\n\"");
}

TEST(VelloSendOptions, EachOptionReachesItsField) {
  struct Case {
    std::vector<std::string> args;
    std::string line;  // for the text "x"
  } cases[] = {
      {{"h"}, "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"-i", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",0,P,\"x\r\n\""},
      {{"--important", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",0,P,\"x\r\n\""},
      {{"--font", U8(u8"ＭＳ Ｐゴシック"), "h"}, "315,179,16777215,0,10,\"ＭＳ Ｐゴシック\",0,N,\"x\r\n\""},
      {{"-fArial", "h"}, "315,179,16777215,0,10,\"Arial\",0,N,\"x\r\n\""},
      {{"-s", "12", "h"}, "315,179,16777215,0,12,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--size=1638", "h"}, "315,179,16777215,0,1638,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--style", "7", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",7,N,\"x\r\n\""},
      {{"--style=bold,strikeout", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",9,N,\"x\r\n\""},
      {{"--style", "italic,underline", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",6,N,\"x\r\n\""},
      {{"--style", "plain", "h"}, "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      // #RRGGBB turns into 0x00BBGGRR on the wire.
      {{"--color", "#FF0000", "h"}, "315,179,255,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--color=#0080ff", "h"}, "315,179,16744448,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--font-color", "#0000FF", "h"}, "315,179,16777215,16711680,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      // A system colour goes as it is, even though it starts with "-".
      {{"--color", "-2147483643", "h"}, "315,179,-2147483643,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--font-color", "255", "h"}, "315,179,16777215,255,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      {{"--width", "400", "--height=300", "h"}, "400,300,16777215,0,10,\"MS ゴシック\",0,N,\"x\r\n\""},
      // Options may stand between HOST and the text.
      {{"h", "-i", "--size", "9"}, "315,179,16777215,0,9,\"MS ゴシック\",0,P,\"x\r\n\""},
  };
  for (const auto& c : cases) {
    SendOptions o = ParseSendArguments(c.args);
    EXPECT_EQ(o.host, "h") << c.args[0];
    EXPECT_EQ(BuildLineFor(o, "x"), c.line) << c.args[0];
  }
}

TEST(VelloSendOptions, PortTimeoutAndFlags) {
  EXPECT_EQ(ParseSendArguments({"-p", "6000", "h"}).port, 6000);
  EXPECT_EQ(ParseSendArguments({"--port=1", "h"}).port, 1);
  EXPECT_EQ(ParseSendArguments({"-p65535", "h"}).port, 65535);
  EXPECT_EQ(ParseSendArguments({"h"}).timeoutMs, 10000);
  EXPECT_EQ(ParseSendArguments({"-t", "0.5", "h"}).timeoutMs, 500);
  EXPECT_EQ(ParseSendArguments({"--timeout=2.25", "h"}).timeoutMs, 2250);
  EXPECT_EQ(ParseSendArguments({"--settings", "a.ini", "h"}).settingsPath, "a.ini");
  SendOptions bundled = ParseSendArguments({"-iv", "h"});
  EXPECT_TRUE(bundled.important);
  EXPECT_TRUE(bundled.verbose);
  // -h and --version stop the parse: nothing else is needed.
  EXPECT_TRUE(ParseSendArguments({"-h"}).help);
  EXPECT_TRUE(ParseSendArguments({"--version", "--bogus"}).version);
}

TEST(VelloSendOptions, TextWordsEndOptionParsing) {
  struct Case {
    std::vector<std::string> args;
    std::string host;
    std::vector<std::string> text;
    bool important;
  } cases[] = {
      {{"h", "build", "-i", "done"}, "h", {"build", "-i", "done"}, false},
      {{"h", "-i", "use", "--force"}, "h", {"use", "--force"}, true},
      {{"--", "-odd-host", "-i"}, "-odd-host", {"-i"}, false},
      {{"h", "--", "-i"}, "h", {"-i"}, false},
      {{"h", "-"}, "h", {"-"}, false},
  };
  for (const auto& c : cases) {
    SendOptions o = ParseSendArguments(c.args);
    EXPECT_EQ(o.host, c.host) << c.args[1];
    EXPECT_EQ(o.text, c.text) << c.args[1];
    EXPECT_EQ(o.important, c.important) << c.args[1];
  }
}

TEST(VelloSendOptions, BadCommandLinesExitWithStatus2AndOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{}, "no HOST given"},
      {{"-i"}, "no HOST given"},
      {{""}, "HOST is empty"},
      {{"--bogus", "h"}, "unknown option '--bogus'"},
      {{"-x", "h"}, "unknown option '-x'"},
      {{"-ix", "h"}, "unknown option '-x'"},
      {{"h", "--port"}, "option '--port' needs a value"},
      {{"--verbose=1", "h"}, "option '--verbose' takes no value"},
      {{"-p", "0", "h"}, "'0' is not a port number (1 to 65535)"},
      {{"--port", "65536", "h"}, "'65536' is not a port number"},
      {{"--port", "abc", "h"}, "'abc' is not a port number"},
      {{"--port", "+80", "h"}, "'+80' is not a port number"},
      {{"--port", " 80", "h"}, "is not a port number"},
      {{"--size", "0", "h"}, "is not a font size in points (1 to 1638)"},
      {{"--size", "1639", "h"}, "is not a font size"},
      {{"--size", "99999999999", "h"}, "is not a font size"},
      {{"--style", "16", "h"}, "'16' is not a style"},
      {{"--style", "heavy", "h"}, "'heavy' is not a style"},
      {{"--style", "bold,", "h"}, "is not a style"},
      {{"--style", "", "h"}, "is not a style"},
      {{"--color", "#GG0000", "h"}, "'#GG0000' is not a colour"},
      {{"--color", "#FFF", "h"}, "is not a colour"},
      {{"--color", "16777216", "h"}, "'16777216' is not a colour"},
      {{"--font-color", "red", "h"}, "'red' is not a colour"},
      {{"--width", "0", "h"}, "is not a width in pixels (1 to 32767)"},
      {{"--height", "3e2", "h"}, "is not a height in pixels"},
      {{"--timeout", "0", "h"}, "is not a number of seconds"},
      {{"--timeout", "1.2345", "h"}, "is not a number of seconds"},
      {{"--timeout", "1.", "h"}, "is not a number of seconds"},
      {{"--timeout", "3601", "h"}, "is not a number of seconds"},
      {{"--font", "a\"b", "h"}, "a font name cannot hold a double quote"},
      {{"--font=", "h"}, "the font name is empty"},
      {{"--settings=", "h"}, "the file name is empty"},
  };
  for (const auto& c : cases) {
    RunResult r = RunWith(c.args);
    std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.status, kExitUsage) << shown;
    EXPECT_TRUE(IsOneLineMessage(r.err)) << shown;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << ": " << r.err;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_FALSE(r.inputRead) << shown;
  }
}

TEST(VelloSendOptions, HelpAndVersionGoToStandardOutput) {
  RunResult help = RunWith({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Usage: vello-send [OPTION]... HOST [TEXT]...\n", 0), 0u);
  // The help is UTF-8 for the terminal, not code page 932.
  EXPECT_NE(help.out.find(U8(u8"\"MS ゴシック\"")), std::string::npos);
  RunResult version = RunWith({"-V"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vello-send 1.5\n");
}

}  // namespace
}  // namespace vello::testing
