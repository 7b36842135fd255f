#pragma once
// The machine's IPv4 addresses on interfaces that are up and can
// multicast: not loopback, not marked "no multicast"; each with the length
// of its subnet's prefix, which says which hosts are on its link.
#include <winsock2.h>

#include <optional>
#include <string>
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

// The machine's IPv4 addresses and prefixes on every interface that is up
// (loopback left out), as one text: a change in it is a change of network
// (a cable plugged in, another wireless network, a VPN come up).
std::string NetworkFingerprint();

}  // namespace vello
