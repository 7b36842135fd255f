#include "raw_connection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/socket_error.h"

namespace vello::testing {

namespace {
// "0100007F:1F8B" as the system's table spells 127.0.0.1:8075.
std::string TableAddress(const sockaddr_in& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lX:%04X", static_cast<unsigned long>(a.sin_addr.s_addr), ntohs(a.sin_port));
  return text;
}
}  // namespace

RawConnection::RawConnection(const char* source, int port) {
  EnsureWinsock();
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  local_.sin_family = AF_INET;
  local_.sin_addr.s_addr = inet_addr(source);
  EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&local_), sizeof local_), 0) << WSAGetLastError();
  remote_.sin_family = AF_INET;
  remote_.sin_port = htons(static_cast<u_short>(port));
  remote_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(socket_, reinterpret_cast<sockaddr*>(&remote_), sizeof remote_), 0) << WSAGetLastError();
  int len = sizeof local_;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&local_), &len);
  u_long nonBlocking = 1;
  ioctlsocket(socket_, FIONBIO, &nonBlocking);
}

RawConnection::~RawConnection() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void RawConnection::Write(std::string_view bytes) {
  std::size_t done = 0;
  for (int tries = 0; done < bytes.size() && tries < 1000; ++tries) {
    int n = send(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (WSAGetLastError() == WSAEWOULDBLOCK)
      Sleep(1);
    else
      break;
  }
}

void RawConnection::FinishWriting() { shutdown(socket_, SD_SEND); }

void RawConnection::Abort() {
  linger now{1, 0};
  setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

RawConnection::Ending RawConnection::EndingSeen() {
  if (ending_ != Ending::Open || socket_ == INVALID_SOCKET) return ending_;
  char discard[4096];
  int n = recv(socket_, discard, sizeof discard, 0);
  if (n > 0) return Ending::Open;
  if (n < 0) {
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return Ending::Open;
    ending_ = error == WSAECONNRESET || error == WSAECONNABORTED ? Ending::Reset : Ending::InOrder;
    return ending_;
  }
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
  ending_ = Ending::InOrder;
  std::ifstream table("Z:\\proc\\net\\tcp");
  if (!table) return ending_;  // Windows: the read has said it
  const std::string wanted = TableAddress(local_) + " " + TableAddress(remote_) + " 06";
  ending_ = Ending::Reset;
  for (std::string row; std::getline(table, row);)
    if (row.find(wanted) != std::string::npos) ending_ = Ending::InOrder;
  return ending_;
}

bool RawConnection::WasReset() {
  if (socket_ == INVALID_SOCKET) return false;
  if (send(socket_, "", 0, 0) == 0) return false;
  int error = WSAGetLastError();
  return error == WSAECONNRESET || error == WSAECONNABORTED;
}

}  // namespace vello::testing
