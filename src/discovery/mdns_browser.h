#pragma once
// The browser for "_vello._tcp.local", as a state machine with time passed
// in. It asks for the service's instances with growing pauses (the first
// query 20-120 ms after the start, then 1 s, doubling up to an hour), lists
// the instances it knows as known answers so that their responders stay
// quiet, and treats its own query as sent when another host has just asked
// the same with known answers it also knows. Records it relies on (the
// instance pointers, their SRV and the hosts' addresses) are asked for again
// at 80-95 % of their lifetime and forgotten at its end; an instance lacking
// its SRV or address is asked for at once, then after 1, 2 and 4 s (16 such
// instances at a time, 2 of them from any one sender). A record that
// another sender than its own says goodbye to, or flushes, is asked for
// again after one and two seconds, and dropped only when nobody answers.
//
// An instance is listed once its pointer, its SRV and an address record
// of the SRV's host are live, and only where the SRV came from an address
// on the link that is also among the host's addresses: that address is
// where the copy is, as its own packets show.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"
#include "discovery/record_cache.h"

namespace vello::mdns {

struct FoundInstance {
  std::string name;  // the instance label, UTF-8
  std::string host;  // the SRV target, as text
  std::uint16_t port = 0;
  std::vector<std::uint32_t> addresses;  // every address of the host, newest first
  // The address to use: the one the instance's SRV came from, which is
  // always among `addresses`.
  std::uint32_t address = 0;
  std::vector<std::string> txt;
  bool operator==(const FoundInstance&) const = default;
};

class MdnsBrowser {
 public:
  explicit MdnsBrowser(RandomRange random, RecordCache::Bounds bounds = {});

  void Start(Millis now);
  void Stop();
  // The network changed (an interface came or went): ask again soon, with
  // the pauses growing from 1 s anew; what is known stays known.
  void RestartQueries(Millis now);
  // Our own instance: its records come back to us and are kept (they are
  // known answers to our own queries), but never asked for or listed.
  void SetOwnInstance(const std::string& label);
  // This host's addresses and subnets: only copies whose packets come from
  // within them are listed.
  void SetLink(std::vector<LinkAddress> link);

  void OnResponse(const dns::Message& m, const Endpoint& from, Millis now);
  void OnQuery(const dns::Message& m, Millis now);
  void Poll(Millis now, std::vector<Datagram>& out);
  std::optional<Millis> NextWake() const;

  // Other instances that are whole and on the link, by name.
  std::vector<FoundInstance> Found(Millis now) const;
  // Changes whenever Found may have changed, apart from the passing of time
  // (which Poll turns into changes at the moments it matters).
  std::uint64_t version() const { return version_; }
  const RecordCache& cache() const { return cache_; }

 private:
  struct Resolve {
    dns::Name instance;
    std::uint32_t source = 0;  // where its pointer came from
    bool forAddress = false;   // the SRV is there, its host's address is not
    int attempts = 0;
    Millis next = 0;
  };
  bool IsOwn(const dns::Name& instance) const;
  bool HasPointerTo(const dns::Name& instance) const;
  const CachedRecord* NewestLive(const dns::Name& name, std::uint16_t type, Millis now) const;
  bool WantsRefresh(const CachedRecord& c) const;
  std::vector<const CachedRecord*> KnownAnswers(const dns::Question& q, Millis now) const;
  void Keep(const dns::Record& r, std::uint32_t source, Millis now, int jitter);
  void UpdateResolves(Millis now);
  void Walk(Millis now, const std::function<void(const dns::Name&, std::uint16_t)>& ask);
  void Send(const std::vector<dns::Question>& questions, Millis now, std::vector<Datagram>& out) const;
  void AdvanceQuery(Millis now);

  RandomRange random_;
  RecordCache cache_;
  bool running_ = false;
  Millis nextQuery_ = 0;
  Millis lastQuery_ = 0;
  Millis interval_ = 0;
  std::map<std::string, Resolve> resolves_;  // by NameKey of the instance
  bool resolvesDirty_ = false;
  std::optional<Millis> lastResolveWalk_, lastWalk_;
  std::string own_;
  std::vector<LinkAddress> link_;
  std::uint64_t version_ = 0;
};

}  // namespace vello::mdns
