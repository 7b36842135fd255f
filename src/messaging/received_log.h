#pragma once
// Received messages on their way into the log. An entry names its sender,
// whose name may still be being looked up: it waits until the name is known
// or until kNameWaitMs have passed (then the address stands for it), and
// entries go into the log in the order their messages arrived.
#include <winsock2.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "platform/timing_points.h"
#include "platform/window.h"

namespace vello {

class TReceivedLog : public MessageOnlyWindow {
 public:
  static constexpr unsigned kNameWaitMs = 10000;

  TReceivedLog();
  ~TReceivedLog() override;

  // A message from `sender` arrived at `dateTimeText`.
  void Add(const in_addr& sender, std::string dateTimeText, std::string text);
  // The sender's name (or its address, when it has none) is known.
  void NameFound(const in_addr& sender, const std::string& name);
  // Writes every waiting entry now, with the names known so far (the
  // program ends).
  void Flush();
  std::size_t waiting() const { return pending_.size(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Pending {
    uint32_t sender = 0;
    std::string address;
    std::optional<std::string> name;
    std::string dateTimeText, text;
    ULONGLONG deadline = 0;
    VELLO_TIMING_ONLY(double arrived = 0;)
  };
  // Writes entries from the oldest on while they are ready.
  void WriteReady(bool all);

  std::deque<Pending> pending_;
  // The wait timer runs while entries are added and stops at a tick that
  // finds none waiting: setting and killing it for every message would cost
  // two calls to the system per message.
  bool waitTimer_ = false;
};

}  // namespace vello
