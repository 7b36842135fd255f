#include "discovery/discovery_engine.h"

#include <algorithm>

namespace vello::mdns {

namespace {
std::vector<std::uint32_t> AddressesOf(const std::vector<LinkAddress>& link) {
  std::vector<std::uint32_t> addresses;
  for (const LinkAddress& l : link) addresses.push_back(l.address);
  return addresses;
}
}  // namespace

DiscoveryEngine::DiscoveryEngine(RandomRange random, std::uint16_t port, RecordCache::Bounds bounds)
    : responder_(random, port), browser_(random, bounds), port_(port) {}

void DiscoveryEngine::Start(const ServiceSettings& s, Millis now) {
  OwnService own;
  own.instance = InstanceLabelFor(s.computerNameUtf8);
  own.host = HostLabelFor(s.computerNameUtf8);
  own.port = s.port;
  own.addresses = AddressesOf(s.link);
  own.version = s.version;
  link_ = s.link;
  responder_.Start(std::move(own), now);
  browser_.Start(now);
  browser_.SetOwnInstance(instanceName());
  browser_.SetLink(link_);
  running_ = true;
  ++restarts_;
}

void DiscoveryEngine::SetPort(std::uint16_t port, Millis now) { responder_.SetPort(port, now); }

void DiscoveryEngine::SetLink(std::vector<LinkAddress> link, Millis now) {
  if (!running_ || link == link_) return;
  link_ = std::move(link);
  browser_.SetLink(link_);
  std::vector<std::uint32_t> addresses = AddressesOf(link_);
  if (addresses == responder_.service().addresses) return;
  responder_.SetAddresses(std::move(addresses), now);
  // A new network may hold copies that announced before we joined it.
  browser_.RestartQueries(now);
}

std::vector<Datagram> DiscoveryEngine::Stop(Millis now) {
  std::vector<Datagram> goodbye = responder_.Stop(now);
  browser_.Stop();
  running_ = false;
  ++restarts_;
  counters_.sent += goodbye.size();
  return goodbye;
}

void DiscoveryEngine::Receive(std::string_view bytes, const Endpoint& from, Millis now) {
  if (!running_) return;
  ++counters_.received;
  if (!OnLink(link_, from.address)) {
    ++counters_.offLink;
    return;
  }
  dns::Message m;
  try {
    m = dns::ReadMessage(bytes);
  } catch (const dns::MalformedMessage&) {
    ++counters_.malformed;
    return;
  }
  if (m.Opcode() != 0) {
    ++counters_.ignored;
    return;
  }
  if (m.IsResponse()) {
    // Responses come from port 5353 with no error, or not at all.
    if (from.port != port_ || m.Rcode() != 0) {
      ++counters_.ignored;
      return;
    }
    responder_.OnResponse(m, now);
    browser_.SetOwnInstance(instanceName());  // it may have changed on a conflict
    browser_.OnResponse(m, from, now);
  } else {
    responder_.OnQuery(m, from, now);
    browser_.OnQuery(m, now);
  }
}

std::vector<Datagram> DiscoveryEngine::Poll(Millis now) {
  std::vector<Datagram> out;
  if (!running_) return out;
  responder_.Poll(now, out);
  browser_.Poll(now, out);
  counters_.sent += out.size();
  return out;
}

std::optional<Millis> DiscoveryEngine::NextWake() const {
  if (!running_) return std::nullopt;
  std::optional<Millis> a = responder_.NextWake(), b = browser_.NextWake();
  if (a && b) return std::min(*a, *b);
  return a ? a : b;
}

std::vector<FoundInstance> DiscoveryEngine::Found(Millis now) const {
  if (!running_) return {};
  return browser_.Found(now);
}

}  // namespace vello::mdns
