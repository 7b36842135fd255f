// vello-send: its command line, the text on its way to code page 932, and
// whole runs against a listener on the loopback interface.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "messaging/message_line.h"
#include "vello_send/send_options.h"
#include "vello_send/text_convert.h"
#include "vello_send/net_client.h"
#include "vello_send/vello_send.h"

using namespace vello;
using namespace vello::send;
namespace fs = std::filesystem;

namespace {

// Narrow literals in this file are code page 932; terminal text is UTF-8.
std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct RunResult {
  int status = -1;
  std::string out, err;
  bool inputRead = false;
};

RunResult RunWith(const std::vector<std::string>& args, const std::string& input = "") {
  RunResult r;
  std::ostringstream out, err;
  r.status = RunVelloSend(
      args,
      [&] {
        r.inputRead = true;
        return input;
      },
      out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// One line on standard error, as every failure reports itself.
::testing::AssertionResult IsOneLineMessage(const std::string& err) {
  if (err.rfind("vello-send: ", 0) != 0) return ::testing::AssertionFailure() << "no prefix: " << err;
  if (err.empty() || err.back() != '\n' || err.find('\n') != err.size() - 1)
    return ::testing::AssertionFailure() << "not one line: " << err;
  return ::testing::AssertionSuccess();
}

// A listener on 127.0.0.1 at an ephemeral port that takes one connection in
// a thread and keeps everything it reads until the sender closes.
class Listener {
 public:
  explicit Listener(bool accept = true, int receiveBuffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd_, 4), 0);
    socklen_t length = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    if (accept) thread_ = std::thread([this] { Serve(); });
  }
  ~Listener() {
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }
  uint16_t port() const { return port_; }
  // Waits for the connection to end; the bytes it carried.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  void Serve() {
    // Bounded waits, so a sender that never comes cannot hang the tests.
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return;
    int c = ::accept(fd_, nullptr, nullptr);
    if (c < 0) return;
    char buffer[4096];
    for (;;) {
      pollfd q{c, POLLIN, 0};
      if (poll(&q, 1, 5000) <= 0) break;
      ssize_t n = read(c, buffer, sizeof buffer);
      if (n <= 0) break;
      received_.append(buffer, static_cast<std::size_t>(n));
    }
    close(c);
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string received_;
};

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("vello_send_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  // The file's path as the command line gives it (UTF-8); `name` may hold
  // folders, made as needed.
  std::string Write(const std::string& name, const std::string& bytes) const {
    fs::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return (path_ / name).string();
  }

 private:
  fs::path path_;
};

}  // namespace

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

TEST(VelloSendRun, SendsTheComposersBytesToALoopbackListener) {
  Listener listener;
  const std::string port = std::to_string(listener.port());
  RunResult r = RunWith({"-p", port, "-i", "--font", U8(u8"ＭＳ Ｐゴシック"), "-s", "14", "--style", "bold,italic",
                   "--color", "-2147483643", "--font-color", "#FF0000", "--width", "400", "--height", "120",
                   "127.0.0.1"},
                  U8(u8"ビルド完了\n\"ok\", 0 errors\n"));
  EXPECT_EQ(r.status, kExitSent) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");  // quiet on success
  EXPECT_TRUE(r.inputRead);
  const std::string received = listener.Received();
  EXPECT_EQ(received, MakeMessageLine({400, 120, -2147483643, 255, 14, "ＭＳ Ｐゴシック", 3},
                                      "ビルド完了\r\n\"ok\", 0 errors\r\n", "P"));
  ReceivedMessage f = ReadMessageLine(received);
  EXPECT_EQ(f.text, "ビルド完了\r\n\"ok\", 0 errors\r\n");
  EXPECT_TRUE(f.important);
}

TEST(VelloSendRun, TextFromArgumentsByNameWithVerboseReport) {
  Listener listener;
  RunResult r = RunWith({"--verbose", "localhost", "--port", std::to_string(listener.port()), U8(u8"会議は"),
                   U8(u8"15時から")});
  EXPECT_EQ(r.status, kExitSent) << r.err;
  EXPECT_FALSE(r.inputRead);
  const std::string expected =
      MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "会議は 15時から\r\n", "N");
  EXPECT_EQ(listener.Received(), expected);
  EXPECT_EQ(r.err, "vello-send: sent " + std::to_string(expected.size()) + " bytes to localhost (127.0.0.1) port " +
                       std::to_string(listener.port()) + "\n");
}

TEST(VelloSendRun, EmptyInputSendsAnEmptyTextAndAByteOrderMarkIsDropped) {
  {
    Listener listener;
    RunResult r = RunWith({"-p", std::to_string(listener.port()), "127.0.0.1"}, "");
    EXPECT_EQ(r.status, kExitSent) << r.err;
    EXPECT_EQ(listener.Received(), "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"\"");
  }
  {
    Listener listener;
    RunResult r = RunWith({"-p", std::to_string(listener.port()), "127.0.0.1"}, "\xEF\xBB\xBFhi\n");
    EXPECT_EQ(r.status, kExitSent) << r.err;
    EXPECT_EQ(listener.Received(), "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"hi\r\n\"");
  }
}

TEST(VelloSendRun, PortFromASettingsFile) {
  TempDir dir;
  Listener listener;
  // Section and key match without regard to case; 0x gives hexadecimal.
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", listener.port());
  const std::string ini = dir.Write("vello.ini", std::string("[SETUP]\r\nPort=") + hex + "\r\n");
  RunResult r = RunWith({"--settings", ini, "127.0.0.1", "x"});
  EXPECT_EQ(r.status, kExitSent) << r.err;
  EXPECT_EQ(listener.Received(), MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "x\r\n", "N"));

  // The program's reading rules: a missing key or a value that is no number gives 5963.
  EXPECT_EQ(PortFromSettings(dir.Write("none.ini", "[setup]\r\nLog=1\r\n")), 5963);
  EXPECT_EQ(PortFromSettings(dir.Write("abc.ini", "[setup]\r\nport=abc\r\n")), 5963);
  EXPECT_EQ(PortFromSettings(dir.Write("31.ini", "[setup]\r\nport=0x1F\r\n")), 31);
  // In a folder whose name code page 932 cannot hold.
  const std::string folder(reinterpret_cast<const char*>(u8"Müller/한글/vello.ini"));
  EXPECT_EQ(PortFromSettings(dir.Write(folder, "[setup]\r\nport=6001\r\n")), 6001);
}

TEST(VelloSendRun, PortOptionWinsOverTheSettingsFile) {
  TempDir dir;
  Listener listener;
  const std::string ini = dir.Write("vello.ini", "[setup]\r\nport=1\r\n");
  RunResult r = RunWith({"--settings", ini, "-p", std::to_string(listener.port()), "127.0.0.1", "x"});
  EXPECT_EQ(r.status, kExitSent) << r.err;
  EXPECT_FALSE(listener.Received().empty());
}

TEST(VelloSendRun, BadSettingsFilesExitWithStatus2) {
  TempDir dir;
  struct Case {
    std::string path, says;
  } cases[] = {
      {dir.Write("x", "") + ".missing", "--settings: no such file: "},
      {dir.Write("big.ini", "[setup]\r\nport=70000\r\n"), "gives port 70000, which is not a port number"},
      {dir.Write("zero.ini", "[setup]\r\nport=0\r\n"), "gives port 0"},
      {dir.Write("neg.ini", "[setup]\r\nport=-5\r\n"), "gives port -5"},
  };
  for (const auto& c : cases) {
    RunResult r = RunWith({"--settings", c.path, "127.0.0.1", "x"});
    EXPECT_EQ(r.status, kExitUsage) << c.path;
    EXPECT_TRUE(IsOneLineMessage(r.err));
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST(VelloSendRun, ConnectionRefusedWhenNobodyListens) {
  // A port held by a socket that never listens: the system refuses at once,
  // and no other program can take the port meanwhile.
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t length = sizeof a;
  getsockname(holder, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string port = std::to_string(ntohs(a.sin_port));

  RunResult r = RunWith({"-p", port, "127.0.0.1", "hello"});
  close(holder);
  EXPECT_EQ(r.status, kExitRefused);
  EXPECT_EQ(r.err, "vello-send: connection refused by 127.0.0.1 port " + port + ": is Vello running there?\n");
  EXPECT_EQ(r.out, "");
}

TEST(VelloSendRun, HostNotFound) {
  RunResult r = RunWith({"no-such-host.invalid", "hello"});
  EXPECT_EQ(r.status, kExitHostNotFound);
  EXPECT_TRUE(IsOneLineMessage(r.err));
  EXPECT_EQ(r.err.rfind("vello-send: host not found: no-such-host.invalid", 0), 0u) << r.err;
}

TEST(VelloSendRun, TimesOutWhenTheReceiverNeverReads) {
  // Accepted by the system but never read: the line goes into the system's
  // buffers, but no receiver closes its end to say it has it, and the
  // deadline ends the wait.
  Listener listener(/*accept=*/false, /*receiveBuffer=*/4096);
  RunResult r = RunWith({"-p", std::to_string(listener.port()), "--timeout", "0.3", "127.0.0.1"}, "x");
  EXPECT_EQ(r.status, kExitTimeout);
  EXPECT_EQ(r.err, "vello-send: timed out after 0.3 s sending to 127.0.0.1 port " + std::to_string(listener.port()) +
                       "\n");
  // The same when the line is more than the buffers hold.
  SendOutcome outcome = SendToHost("127.0.0.1", listener.port(), std::string(16 << 20, 'a'), 300);
  EXPECT_EQ(outcome.failure, SendFailure::kTimeout);
  EXPECT_TRUE(outcome.connected);
}

// Each way a send can fail has its own exit status, so a script can tell
// them apart; "success" for any of them would hide a lost message.
TEST(VelloSendRun, AnUnreachableHostExitsWithStatus6) {
  // TCP cannot go to a multicast address: the system answers "network
  // unreachable" at once, whatever the routes.
  RunResult r = RunWith({"-p", "5963", "224.0.0.1", "hello"});
  EXPECT_EQ(r.status, kExitUnreachable);
  EXPECT_EQ(r.err.rfind("vello-send: 224.0.0.1 port 5963 cannot be reached", 0), 0u) << r.err;
  EXPECT_TRUE(IsOneLineMessage(r.err));
}

TEST(VelloSendRun, AWriteThatBreaksOffExitsWithStatus1) {
  // The receiver takes a little of the line, then resets the connection.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int small = 4096;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string port = std::to_string(ntohs(a.sin_port));
  std::thread resetter([fd] {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return;
    int c = ::accept(fd, nullptr, nullptr);
    char buffer[1024];
    (void)!read(c, buffer, sizeof buffer);
    linger abort{1, 0};
    setsockopt(c, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(c);
  });
  // The largest message there is: the system takes it all at once, and only
  // the receiver's reset tells that it was lost.
  RunResult r = RunWith({"-p", port, "127.0.0.1"}, std::string(kMaxMessageLineBytes - 100, 'a'));
  resetter.join();
  close(fd);
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_EQ(r.err.rfind("vello-send: sending to 127.0.0.1 port " + port + " failed", 0), 0u) << r.err;
  EXPECT_TRUE(IsOneLineMessage(r.err));
}

TEST(VelloSendRun, UnreadableInputExitsWithStatus1AndSendsNothing) {
  // The reader's failure, as RunVelloSend sees it.
  std::ostringstream out, err;
  int status = RunVelloSend({"-p", "1", "127.0.0.1"}, []() -> std::string { throw std::runtime_error("disk gone"); },
                            out, err);
  EXPECT_EQ(status, kExitFailure);
  EXPECT_EQ(err.str(), "vello-send: cannot read standard input: disk gone\n");

  // The program itself, reading a standard input that is a folder: it must
  // not take the failed read for an empty message (nothing listens on port
  // 1, so a send would have been refused with status 5).
  int errPipe[2];
  ASSERT_EQ(pipe(errPipe), 0);
  pid_t child = fork();
  if (child == 0) {
    int folder = open("/", O_RDONLY | O_DIRECTORY);
    dup2(folder, STDIN_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    execl(VELLO_SEND_EXE, VELLO_SEND_EXE, "-p", "1", "127.0.0.1", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(errPipe[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = read(errPipe[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  close(errPipe[0]);
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), kExitFailure) << said;
  EXPECT_EQ(said.rfind("vello-send: cannot read standard input: ", 0), 0u) << said;
}
