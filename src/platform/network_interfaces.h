#pragma once
// The machine's IPv4 addresses on interfaces that are up and can
// multicast: not loopback, not marked "no multicast".
#include <winsock2.h>

#include <vector>

namespace vello {
std::vector<in_addr> MulticastIpv4Interfaces();
}
