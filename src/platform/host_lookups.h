#pragma once
// Host-name look-ups, many at a time, run off the user-interface thread and
// answered on it: the same look-up a send does, so what it finds is what a
// send to that name would reach.
#include <winsock2.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/background_work.h"

namespace vello {

class HostLookups {
 public:
  // The addresses found (none when the name is unknown).
  using Handler = std::function<void(const std::string& name, const std::vector<in_addr>& addresses)>;

  explicit HostLookups(int maxAtOnce = 8) : work_(maxAtOnce) {}

  // `name` is model text (code page 932), as a destination is. Always
  // starts (the result says when nothing was found).
  bool Start(const std::string& name, Handler done);
  // Answers still to come are dropped.
  void CancelAll();
  int pending() const { return work_.pending(); }

 private:
  BackgroundWork work_;
  unsigned generation_ = 0;
};

}  // namespace vello
