#include "discovery/mdns_types.h"

#include <memory>
#include <random>

namespace vello::mdns {

bool LinkAddress::Contains(std::uint32_t other) const {
  if (prefixLength <= 0) return true;
  const std::uint32_t mask = prefixLength >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
  return (address & mask) == (other & mask);
}

bool OnLink(const std::vector<LinkAddress>& link, std::uint32_t address) {
  for (const LinkAddress& l : link)
    if (l.Contains(address)) return true;
  return false;
}

RandomRange SeededRandom(std::uint64_t seed) {
  auto engine = std::make_shared<std::mt19937_64>(seed);
  return [engine](Millis lo, Millis hi) { return std::uniform_int_distribution<Millis>(lo, hi)(*engine); };
}

RandomRange DefaultRandom(std::uint64_t extraSeed) {
  std::random_device device;
  return SeededRandom(((static_cast<std::uint64_t>(device()) << 32) ^ device()) ^ extraSeed);
}

const dns::Name& ServiceType() {
  static const dns::Name name = dns::Name::FromDotted("_vello._tcp.local");
  return name;
}

const dns::Name& ServiceEnumeration() {
  static const dns::Name name = dns::Name::FromDotted("_services._dns-sd._udp.local");
  return name;
}

dns::Name InstanceName(const std::string& label) { return ServiceType().WithFirstLabel(label); }

dns::Name HostName(const std::string& label) { return dns::Name::FromDotted("local").WithFirstLabel(label); }

bool InstanceLabelOf(const dns::Name& name, std::string& label) {
  if (name.labels.size() != ServiceType().labels.size() + 1 || !dns::SameName(name.Parent(), ServiceType()))
    return false;
  label = name.labels.front();
  return true;
}

std::string AddressText(std::uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." + std::to_string((a >> 8) & 0xFF) +
         "." + std::to_string(a & 0xFF);
}

}  // namespace vello::mdns
