#pragma once
// The system's asynchronous host-name look-ups, many at a time, answered on
// the user-interface thread: the same look-up a send does, so what it finds
// is what a send to that name would reach.
#include <winsock2.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/window.h"

namespace vello {

class HostLookups : public Window {
 public:
  // The addresses found (none when the name is unknown).
  using Handler = std::function<void(const std::string& name, const std::vector<in_addr>& addresses)>;

  HostLookups();
  ~HostLookups() override;

  // `name` is model text (code page 932), as a destination is. False when
  // the look-up could not even start; `done` is then never called.
  bool Start(const std::string& name, Handler done);
  void CancelAll();
  std::size_t pending() const { return pending_.size(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Pending {
    std::string name;
    std::vector<char> hostent;
    Handler done;
  };
  std::map<HANDLE, Pending> pending_;
};

}  // namespace vello
