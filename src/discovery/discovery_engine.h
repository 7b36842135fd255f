#pragma once
// Announcing our copy and finding the others, without sockets or clocks:
// the owner hands in what arrives on the multicast socket and the time,
// sends what Poll returns, and calls Poll again at NextWake. The responder
// and the browser share the one socket and see every packet that comes
// from the link: a packet from an address outside every subnet of ours is
// dropped unread (multicast DNS speaks only to its own link, and answering
// a query from beyond it would answer whoever forged its source).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/mdns_browser.h"
#include "discovery/mdns_responder.h"
#include "discovery/mdns_types.h"

namespace vello::mdns {

struct ServiceSettings {
  std::string computerNameUtf8;  // the instance name, UTF-8 as DNS carries it
  std::uint16_t port = 0;    // the message port
  std::vector<LinkAddress> link;  // our addresses, with their subnets
  std::string version;       // the TXT record's "ver="
};

class DiscoveryEngine {
 public:
  struct Counters {
    std::uint64_t sent = 0, received = 0, malformed = 0, ignored = 0, offLink = 0;
  };

  // `port` is the multicast DNS port (5353; another only in tests).
  explicit DiscoveryEngine(RandomRange random = DefaultRandom(), std::uint16_t port = kPort,
                           RecordCache::Bounds bounds = {});

  void Start(const ServiceSettings& settings, Millis now);
  void SetPort(std::uint16_t port, Millis now);
  // Our addresses changed (an interface came or went): announced again, and
  // the others asked for again soon.
  void SetLink(std::vector<LinkAddress> link, Millis now);
  // The goodbye to send before the socket closes; then idle.
  std::vector<Datagram> Stop(Millis now);

  void Receive(std::string_view bytes, const Endpoint& from, Millis now);
  std::vector<Datagram> Poll(Millis now);
  std::optional<Millis> NextWake() const;

  // The other copies found, by name; never ourselves.
  std::vector<FoundInstance> Found(Millis now) const;
  // Changes whenever Found may have changed (see MdnsBrowser::version).
  std::uint64_t version() const { return browser_.version() + restarts_; }

  bool running() const { return running_; }
  // Our instance label as it stands after any renaming.
  const std::string& instanceName() const { return responder_.service().instance; }
  const std::string& hostName() const { return responder_.service().host; }
  const Counters& counters() const { return counters_; }
  const MdnsBrowser& browser() const { return browser_; }

 private:
  MdnsResponder responder_;
  MdnsBrowser browser_;
  std::uint16_t port_;
  std::vector<LinkAddress> link_;
  bool running_ = false;
  std::uint64_t restarts_ = 0;
  Counters counters_;
};

}  // namespace vello::mdns
