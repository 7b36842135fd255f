// vello-send's Windows halves: the system's code page 932 tables and Winsock.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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

RunResult RunWith(const std::vector<std::string>& args, const std::string& input = "") {
  RunResult r;
  std::ostringstream out, err;
  r.status = RunVelloSend(args, [&] { return input; }, out, err);
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

TEST(VelloSendWin, TheSettingsFileMayLieInAFolderOutsideCodePage932) {
  // The command line arrives in UTF-16 and reaches the file call as the
  // system's own path, "ü" and Hangul included.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder = std::filesystem::path(temp) / L"vello_send_M\u00FCller_\uD55C\uAE00";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / L"vello.ini", std::ios::binary) << "[setup]\r\nport=6001\r\n";
  const std::string path = U8((folder / L"vello.ini").u8string().c_str());
  EXPECT_EQ(PortFromSettings(path), 6001);
  std::filesystem::remove_all(folder);
}

TEST(VelloSendWin, RefusedAndHostNotFound) {
  // Bound but never listening: connections to it are refused.
  sockaddr_in a;
  SOCKET holder = vello::testing::BoundLoopbackSocket(a);
  ASSERT_NE(holder, INVALID_SOCKET);
  const std::string port = std::to_string(ntohs(a.sin_port));
  RunResult refused = RunWith({"-p", port, "-t", "5", "127.0.0.1", "x"});
  closesocket(holder);
  EXPECT_EQ(refused.status, kExitRefused) << refused.err;
  EXPECT_EQ(refused.err, "vello-send: connection refused by 127.0.0.1 port " + port + ": is Vello running there?\n");

  RunResult unknown = RunWith({"no-such-host.invalid", "x"});
  EXPECT_EQ(unknown.status, kExitHostNotFound);
  EXPECT_EQ(unknown.err.rfind("vello-send: host not found: no-such-host.invalid", 0), 0u) << unknown.err;
}

// Each failure keeps its own exit status over Winsock too.
TEST(VelloSendWin, UnreachableAndBrokenOffSendsKeepTheirStatuses) {
  EnsureWinsock();
  // TCP cannot go to a multicast address: "network unreachable" at once.
  RunResult unreachable = RunWith({"-p", "5963", "-t", "5", "224.0.0.1", "x"});
  EXPECT_EQ(unreachable.status, kExitUnreachable) << unreachable.err;
  EXPECT_EQ(unreachable.err.rfind("vello-send: 224.0.0.1 port 5963 cannot be reached", 0), 0u) << unreachable.err;

  // A receiver that takes the whole line but never closes its end: the line
  // is not known to have arrived, so the send times out. (A receiver that
  // resets the connection after the line is in the system's hands is told
  // apart by the Linux client's test: Wine reports such a reset to a waiting
  // Winsock program as an orderly close, sometimes, so it cannot be a check
  // here.)
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int length = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string port = std::to_string(ntohs(a.sin_port));
  std::atomic<size_t> taken{0};
  std::atomic<bool> done{false};
  std::thread silent([&] {
    SOCKET c = accept(listener, nullptr, nullptr);
    if (c == INVALID_SOCKET) return;
    char buffer[4096];
    for (int n; (n = recv(c, buffer, sizeof buffer, 0)) > 0;) taken += n;
    while (!done) Sleep(10);
    closesocket(c);
  });
  const std::string text(1000, 'a');
  RunResult unanswered = RunWith({"-p", port, "-t", "2", "127.0.0.1"}, text);
  done = true;
  silent.join();
  closesocket(listener);
  EXPECT_GT(taken.load(), text.size());  // the whole line went out
  EXPECT_EQ(unanswered.status, kExitTimeout) << unanswered.err;
  EXPECT_EQ(unanswered.err.rfind("vello-send: timed out after 2 s sending to 127.0.0.1 port " + port, 0), 0u)
      << unanswered.err;
}

TEST(VelloSendWin, StandardInputThatCannotBeReadExitsWithStatus1) {
  // vello-send.exe itself, its standard input a handle opened for writing
  // only: every read fails, which must not pass for an empty message.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.resize(folder.find_last_of(L'\\') + 1);
  const std::wstring exe = folder + L"vello-send.exe";
  const std::wstring scratch = folder + L"vello-send-input.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileW(scratch.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  HANDLE errRead, errWrite;
  ASSERT_TRUE(CreatePipe(&errRead, &errWrite, &inherit, 0));
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = input;
  si.hStdOutput = errWrite;
  si.hStdError = errWrite;
  // Port 1: were anything sent, the connection would be refused (status 5).
  std::wstring command = L"\"" + exe + L"\" -p 1 127.0.0.1";
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &si, &pi));
  CloseHandle(errWrite);
  CloseHandle(input);
  std::string said;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(errRead, buffer, sizeof buffer, &got, nullptr) && got > 0) said.append(buffer, got);
  CloseHandle(errRead);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  EXPECT_EQ(code, static_cast<DWORD>(kExitFailure)) << said;
  EXPECT_EQ(said.rfind("vello-send: cannot read standard input: ", 0), 0u) << said;
}

