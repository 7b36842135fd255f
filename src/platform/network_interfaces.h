#pragma once
// The machine's IPv4 addresses on interfaces that are up and can
// multicast: not loopback, not marked "no multicast"; each with the length
// of its subnet's prefix, which says which hosts are on its link.
#include <winsock2.h>

#include <optional>
#include <vector>

namespace vello {

struct Ipv4Interface {
  in_addr address{};
  int prefixLength = 32;
};

std::vector<Ipv4Interface> MulticastIpv4Interfaces();
// Tests keep the program's multicast on the interfaces they name (the
// loopback); nullopt restores the machine's own.
void SetMulticastInterfacesForTests(std::optional<std::vector<Ipv4Interface>> interfaces);

}  // namespace vello
