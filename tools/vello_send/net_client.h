#pragma once
// One message over one TCP connection (IPv4), blocking, with a deadline:
// resolve, connect, write everything, close. POSIX and Winsock versions.
#include <cstdint>
#include <string>
#include <string_view>

namespace vello::send {

enum class SendFailure { kNone, kHostNotFound, kRefused, kUnreachable, kTimeout, kOther };

struct SendResult {
  SendFailure failure = SendFailure::kNone;
  bool connected = false;  // the failure came while writing
  std::string address;     // the IPv4 address tried last, dotted
  std::string detail;      // the system's words for the failure, if any
};

// `host` is a computer name or a dotted IPv4 address, UTF-8. Its IPv4
// addresses are tried in turn until one accepts. `timeout` bounds
// connecting and writing together (the name look-up is the system's).
// Plain milliseconds: <chrono> does not compile with code page 932 literals
// (its micro sign has no place in that code page).
SendResult SendToHost(const std::string& host, uint16_t port, std::string_view bytes,
                       int32_t timeoutMs);

}  // namespace vello::send
