#pragma once
// What the multicast DNS parts share: time in milliseconds passed in by the
// caller (no clock here), endpoints, datagrams to send, a random source that
// tests can fix, and the names of our service.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dns_name.h"

namespace vello::mdns {

// A monotonic time in milliseconds; only differences matter.
using Millis = std::int64_t;

inline constexpr std::uint16_t kPort = 5353;
inline constexpr std::uint32_t kGroup = 0xE00000FB;  // 224.0.0.251
// A packet fits an Ethernet frame with room for tunnels (the standard allows
// more, but a fragmented datagram is lost more easily).
inline constexpr std::size_t kMaxPacketBytes = 1232;
// Record lifetimes we give: records that name a host (SRV, A) and the others.
inline constexpr std::uint32_t kHostTtl = 120;
inline constexpr std::uint32_t kOtherTtl = 4500;

// One of this host's IPv4 addresses with its subnet: hosts within the
// subnet are on the link, where multicast DNS speaks; others are not.
struct LinkAddress {
  std::uint32_t address = 0;  // host order
  int prefixLength = 32;
  bool Contains(std::uint32_t other) const;
  bool operator==(const LinkAddress&) const = default;
};
bool OnLink(const std::vector<LinkAddress>& link, std::uint32_t address);

// IPv4 address and port, both in host order.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  bool operator==(const Endpoint&) const = default;
};

struct Datagram {
  std::string bytes;
  bool multicast = true;  // to the group on every interface; otherwise to `to`
  Endpoint to;
};

// A uniform random value in [lo, hi].
using RandomRange = std::function<Millis(Millis lo, Millis hi)>;
RandomRange SeededRandom(std::uint64_t seed);
// Seeded from the system's random source, mixed with `extraSeed` (copies
// started together must not draw the same delays).
RandomRange DefaultRandom(std::uint64_t extraSeed = 0);

// "_vello._tcp.local" and "_services._dns-sd._udp.local".
const dns::Name& ServiceType();
const dns::Name& ServiceEnumeration();
dns::Name InstanceName(const std::string& label);  // label._vello._tcp.local
dns::Name HostName(const std::string& label);      // label.local

// The instance label of a name under our service type, or nothing.
bool InstanceLabelOf(const dns::Name& name, std::string& label);

std::string AddressText(std::uint32_t address);  // "192.0.2.1"

}  // namespace vello::mdns
