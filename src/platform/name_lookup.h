#pragma once
// Blocking look-ups in the system's resolver, for IPv4. Run them off the
// user-interface thread (platform/background_work.h): a resolver that does
// not answer holds the caller for its whole time-out.
#include <winsock2.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vello {

struct HostAddress {
  int error = 0;      // a Winsock error number; 0: found
  in_addr address{};
};

// A computer name or a dotted IPv4 address (CP932) to an IPv4 address.
HostAddress LookUpHost(const std::string& host);
// All its IPv4 addresses (none when the name is unknown).
std::vector<in_addr> LookUpHostAddresses(const std::string& host);

// The host name of an IPv4 address (CP932), or nothing.
std::optional<std::string> LookUpName(const in_addr& address);

// Tests put a resolver of their own behind the look-ups (called on the
// look-up's own thread); an empty function restores the system's.
void SetNameLookupForTests(std::function<std::optional<std::string>(const in_addr&)> fn);
void SetHostLookupForTests(std::function<std::vector<in_addr>(const std::string&)> fn);

}  // namespace vello
