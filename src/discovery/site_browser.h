#pragma once
// Finding copies beyond the link through the site's DNS server: a state
// machine with time passed in and no sockets. It asks where to browse
// (b._dns-sd._udp and lb._dns-sd._udp PTR under the host's search domains
// and primary domain, and a domain set by hand), then _vello._tcp PTR under
// each browse domain, each instance's SRV and TXT, and the A records of the
// SRV's target. The owner sends what Poll returns (over UDP, or TCP when
// the query says so) and hands back what arrives.
//
// Every question is one lookup, wanted only while what led to it is live:
// an instance whose PTR went drops its SRV and TXT lookups, a host no live
// SRV names drops its A lookup. Answers refresh by their lifetime, kept
// between kMinLifetime and kMaxLifetime; a lookup that fails (a time-out,
// SERVFAIL, REFUSED) keeps what it had until that runs out and asks again,
// waiting longer each time. NXDOMAIN or an empty answer empties it at once.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"
#include "discovery/unicast_query.h"

namespace vello::site {

using mdns::Millis;

struct SiteQuery {
  std::uint16_t id = 0;
  dns::Question question;
  bool overTcp = false;
  std::string bytes;  // the message, without the TCP length prefix
};

struct SiteInstance {
  std::string name;    // the instance label, UTF-8
  std::string domain;  // the browse domain it was found in, as text
  std::string host;    // the SRV target, as text
  std::uint32_t address = 0;  // the lowest of the host's addresses, host order
  std::uint16_t port = 0;
  std::string version;  // TXT "ver=", or empty
  bool operator==(const SiteInstance&) const = default;
};

class SiteBrowser {
 public:
  static constexpr Millis kMinLifetime = 10'000;
  static constexpr Millis kMaxLifetime = 15 * 60'000;
  static constexpr Millis kAnswerWait = 3'000;   // a query unanswered this long has failed
  static constexpr Millis kFirstRetry = 10'000;  // then doubling up to kMaxLifetime
  struct Bounds {
    std::size_t queriesInFlight = 16;
    std::size_t askDomains = 8;       // search, primary and hand-set domains asked
    std::size_t browseDomains = 16;   // domains browsed, from every b/lb answer together
    std::size_t instancesPerDomain = 256;
    std::size_t addressesPerHost = 8;
  };

  explicit SiteBrowser(mdns::RandomRange random) : SiteBrowser(std::move(random), Bounds{}) {}
  SiteBrowser(mdns::RandomRange random, Bounds bounds);

  // The host's search domains and primary domain, and one set by hand
  // (browsed as it is, besides asking it for browse domains). Names that
  // cannot hold an instance name under them are left out.
  void SetDomains(const std::vector<dns::Name>& searchDomains, const std::optional<dns::Name>& primary,
                  const std::optional<dns::Name>& handSet);

  // The queries due now (at most Bounds::queriesInFlight outstanding).
  std::vector<SiteQuery> Poll(Millis now);
  // When Poll next has something to do; earlier than any time after an
  // answer arrived (Poll then follows what it named at once).
  std::optional<Millis> NextDue() const;
  // Bytes that arrived from the server, over UDP or over TCP (one whole
  // message, the prefix taken off). Returns whether they answered a query
  // that was waiting.
  bool Receive(std::string_view bytes, bool overTcp, Millis now);

  // The copies found: a PTR, an SRV and an address all live.
  std::vector<SiteInstance> Found(Millis now) const;

  std::size_t lookups() const { return lookups_.size(); }
  std::size_t ignoredAnswers() const { return ignored_; }

 private:
  enum class Kind { BrowseDomains, Instances, Service, Text, Address };
  struct Lookup {
    Kind kind = Kind::Address;
    dns::Question question;
    std::string domainKey;  // the browse domain it serves (NameKey), for quotas
    std::vector<dns::Record> records;
    Millis expires = 0;   // the records' end
    Millis due = 0;       // the next question
    Millis retryWait = 0; // after a failure
    bool pending = false;
    bool overTcp = false;
    std::uint16_t id = 0;
    Millis sentAt = 0;
  };

  void Expire(Millis now);
  void Reconcile(Millis now);
  void Want(std::map<std::string, Lookup>& next, Kind kind, const dns::Name& name, std::uint16_t type,
            const std::string& domainKey, Millis now);
  void Failed(Lookup& l, Millis now);
  std::size_t InFlight() const;
  std::vector<dns::Name> BrowseDomains(const std::map<std::string, Lookup>& lookups, Millis now) const;
  std::vector<dns::Name> InstancesOf(const Lookup& ptrs, const dns::Name& service, Millis now) const;

  mdns::RandomRange random_;
  Bounds bounds_;
  std::vector<dns::Name> askDomains_;
  std::optional<dns::Name> handSet_;
  std::map<std::string, Lookup> lookups_;  // by NameTypeKey of the question
  std::size_t ignored_ = 0;
  bool reconcileNeeded_ = false;
};

}  // namespace vello::site
