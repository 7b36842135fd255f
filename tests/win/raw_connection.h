#pragma once
// One connection to a receiver, as another copy or a hostile host makes it:
// from a loopback address of its own (127.0.0.2, 127.0.0.3, ...: each is
// another sender to the receiver), raw bytes, and what the sender's own
// system says about how the receiver ended it.
#include <winsock2.h>

#include <string>
#include <string_view>

namespace vello::testing {

class RawConnection {
 public:
  // Connects at once (the system's queue takes it even before the receiver
  // accepts it).
  RawConnection(const char* source, int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  void Write(std::string_view bytes);
  // The sender's close of its side: the receiver sees the end of the line.
  void FinishWriting();
  // A reset instead of a close.
  void Abort();

  enum class Ending { Open, InOrder, Reset };
  // After FinishWriting: how the receiver ended the connection, as far as it
  // has. A receiver that closes in order leaves this side in TIME_WAIT; one
  // that resets does not. Windows tells the reset at the read, but Wine
  // reads it as an orderly close, so there the system's table of
  // connections (/proc/net/tcp, through Wine's drive Z:) tells.
  Ending EndingSeen();
  // Before FinishWriting: whether the receiver has reset the connection
  // (a send of no bytes fails on a reset connection, also under Wine).
  bool WasReset();

 private:
  SOCKET socket_ = INVALID_SOCKET;
  sockaddr_in local_{}, remote_{};
  Ending ending_ = Ending::Open;
};

}  // namespace vello::testing
