#pragma once
// The machine's IPv4 addresses on interfaces that are up and can
// multicast: not loopback, not marked "no multicast".
#include <winsock2.h>

#include <vector>

#include <optional>

namespace vello {
std::vector<in_addr> MulticastIpv4Interfaces();
// Tests keep the program's multicast on the interfaces they name (the
// loopback); nullopt restores the machine's own.
void SetMulticastInterfacesForTests(std::optional<std::vector<in_addr>> interfaces);
}
