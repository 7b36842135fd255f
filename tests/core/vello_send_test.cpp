// vello-send sending: to a loopback listener, from a settings file, and each
// failure with its own exit status.
#include "vello_send_fixture.h"

namespace vello::testing {
namespace {

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

TEST(VelloSendRun, WhereTheCommandLineLosesTextOnlyStandardInputCarriesIt) {
  // Under Wine in a locale without UTF-8 the command line's text is not what
  // was typed: text and font name given there are refused, nothing is sent.
  const std::string lost = "the locale loses text";
  struct Case {
    std::vector<std::string> extra;  // after -p PORT 127.0.0.1
    int status;
    std::string says;
  } cases[] = {
      {{"plain"}, kExitText, "vello-send: the text cannot be sent: the locale loses text\n"},
      {{"--font", "Arial"}, kExitText, "vello-send: the font name cannot be sent: the locale loses text\n"},
      {{}, kExitSent, ""},  // the text from standard input
  };
  for (const Case& c : cases) {
    // A refusal must come before any connection: that listener never
    // accepts, so a send would end in a time-out instead.
    Listener listener(c.status == kExitSent);
    std::vector<std::string> args = {"-p", std::to_string(listener.port()), "127.0.0.1"};
    if (!c.extra.empty() && c.extra[0] == "--font") args.insert(args.begin(), c.extra.begin(), c.extra.end());
    else args.insert(args.end(), c.extra.begin(), c.extra.end());
    RunResult r = RunWith(args, U8(u8"こんにちは\n"), lost);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err, c.says);
    if (c.status == kExitSent) {
      EXPECT_EQ(listener.Received(), "315,179,16777215,0,10,\"MS ゴシック\",0,N,\"こんにちは\r\n\"");
    }
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
  SendResult outcome = SendToHost("127.0.0.1", listener.port(), std::string(16 << 20, 'a'), 300);
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

}  // namespace
}  // namespace vello::testing
