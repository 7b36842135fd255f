#include "platform/host_lookups.h"

#include "platform/name_lookup.h"

namespace vello {

bool HostLookups::Start(const std::string& name, Handler done) {
  work_.Run<std::vector<in_addr>>([name] { return LookUpHostAddresses(name); },
                                  [this, name, generation = generation_, done = std::move(done)](
                                      std::vector<in_addr> addresses) {
                                    if (generation != generation_ || !done) return;  // cancelled
                                    done(name, addresses);
                                  });
  return true;
}

void HostLookups::CancelAll() { ++generation_; }

}  // namespace vello
