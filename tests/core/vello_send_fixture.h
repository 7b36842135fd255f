// What the tests of vello-send share: a run with its output caught, a
// loopback listener that keeps what it reads, and a folder of its own.
#pragma once
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


namespace vello::testing {

using namespace vello::send;
namespace fs = std::filesystem;

// Narrow literals in this file are code page 932; terminal text is UTF-8.
inline std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct RunResult {
  int status = -1;
  std::string out, err;
  bool inputRead = false;
};

inline RunResult RunWith(const std::vector<std::string>& args, const std::string& input = "",
                         const std::string& commandLineLoss = "") {
  RunResult r;
  std::ostringstream out, err;
  r.status = RunVelloSend(
      args,
      [&] {
        r.inputRead = true;
        return input;
      },
      out, err, commandLineLoss);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// One line on standard error, as every failure reports itself.
inline ::testing::AssertionResult IsOneLineMessage(const std::string& err) {
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

}  // namespace vello::testing
