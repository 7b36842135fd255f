// vello-send's Windows halves: the system's code page 932 tables and Winsock.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <sstream>

#include "messaging/message_line.h"
#include "platform/socket_error.h"
#include "test_listener.h"
#include "vello_send/text_convert.h"
#include "vello_send/vello_send.h"

using namespace vello;
using namespace vello::send;

namespace {

std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct RunResult {
  int status = -1;
  std::string out, err;
};

RunResult RunWith(const std::vector<std::string>& args) {
  RunResult r;
  std::ostringstream out, err;
  r.status = RunVelloSend(args, [] { return std::string(); }, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

std::string FirstReceived(vello::testing::TestListener& listener) {
  for (ULONGLONG end = GetTickCount64() + 5000; GetTickCount64() < end; Sleep(20)) {
    std::vector<std::string> got = listener.received();
    if (!got.empty()) return got.front();
  }
  return "(nothing received)";
}

}  // namespace

TEST(VelloSendWin, Utf8BecomesCodePage932) {
  struct Case {
    std::string utf8, cp932;
  } cases[] = {
      {"", ""},
      {"ASCII \"q\", ok\r\n", "ASCII \"q\", ok\r\n"},
      {U8(u8"こんにちは"), "こんにちは"},
      {U8(u8"ソ表"), "\x83\x5C\x95\x5C"},
      {U8(u8"①髙"), "\x87\x40\xFB\xFC"},
      {U8(u8"～"), "\x81\x60"},
      {U8(u8"ｱ"), "\xB1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
}

TEST(VelloSendWin, NoBestFitLookAlikes) {
  // The system would turn "é" into "e" and "😀" into "?" if asked to fit.
  struct Case {
    std::string utf8, says;
  } cases[] = {
      {U8(u8"café"), "(U+00E9, line 1, column 4) is not in code page 932"},
      {U8(u8"ok 😀"), "(U+1F600, line 1, column 4)"},
      {U8(u8"안"), "(U+C548, line 1, column 1)"},
      {"a\xFF", "byte 0xFF (line 1, column 2) is not UTF-8"},
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

TEST(VelloSendWin, SendsTheComposersLineOverWinsock) {
  vello::testing::TestListener listener;
  RunResult r = RunWith({"-p", std::to_string(listener.port()), "-i", "localhost", U8(u8"会議は"), U8(u8"15時から")});
  EXPECT_EQ(r.status, kExitSent) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(FirstReceived(listener),
            MakeMessageLine({315, 179, 16777215, 0, 10, "MS ゴシック", 0}, "会議は 15時から\r\n", "P"));
}

TEST(VelloSendWin, RefusedAndHostNotFound) {
  EnsureWinsock();
  // Bound but never listening: connections to it are refused.
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  int length = sizeof a;
  getsockname(holder, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string port = std::to_string(ntohs(a.sin_port));
  RunResult refused = RunWith({"-p", port, "-t", "5", "127.0.0.1", "x"});
  closesocket(holder);
  EXPECT_EQ(refused.status, kExitRefused) << refused.err;
  EXPECT_EQ(refused.err, "vello-send: connection refused by 127.0.0.1 port " + port + ": is Vello running there?\n");

  RunResult unknown = RunWith({"no-such-host.invalid", "x"});
  EXPECT_EQ(unknown.status, kExitHostNotFound);
  EXPECT_EQ(unknown.err.rfind("vello-send: host not found: no-such-host.invalid", 0), 0u) << unknown.err;
}
