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
// instances at a time).
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
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
  std::vector<std::uint32_t> addresses;  // every address of the host
  // The address to use: the one the host's own records came from when it
  // is among them (the host is reachable there), else the newest.
  std::uint32_t address = 0;
  std::vector<std::string> txt;
  bool operator==(const FoundInstance&) const = default;
};

class MdnsBrowser {
 public:
  static constexpr std::size_t kCacheCapacity = 1024;
  explicit MdnsBrowser(RandomRange random, std::size_t cacheCapacity = kCacheCapacity);

  void Start(Millis now);
  void Stop();
  // The network changed (an interface came or went): ask again soon, with
  // the pauses growing from 1 s anew; what is known stays known.
  void RestartQueries(Millis now);
  // Our own instance: its records come back to us and are kept (they are
  // known answers to our own queries), but never asked for or listed.
  void SetOwnInstance(const std::string& label) { own_ = label; }

  void OnResponse(const dns::Message& m, const Endpoint& from, Millis now);
  void OnQuery(const dns::Message& m, Millis now);
  void Poll(Millis now, std::vector<Datagram>& out);
  std::optional<Millis> NextWake() const;

  // Other instances with a live SRV and at least one address, by name.
  std::vector<FoundInstance> Found(Millis now) const;
  const RecordCache& cache() const { return cache_; }

 private:
  struct Resolve {
    dns::Name instance;
    bool forAddress = false;  // the SRV is there, its host's address is not
    int attempts = 0;
    Millis next = 0;
  };
  // The live records by what they name, built once per step so that no
  // step walks the cache once per record.
  struct Index {
    std::set<std::string> instances;                            // live PTR targets
    std::map<std::string, const CachedRecord*> srv;             // the newest SRV of an instance
    std::map<std::string, const CachedRecord*> txt;             // the newest TXT of an instance
    std::map<std::string, std::vector<const CachedRecord*>> a;  // the addresses of a host
    std::set<std::string> targets;                              // hosts named by an instance's SRV
  };
  Index BuildIndex(Millis now) const;
  bool WantsRefresh(const CachedRecord& c, const Index& index) const;
  bool IsOwn(const dns::Name& instance) const;
  std::vector<const CachedRecord*> KnownAnswers(const dns::Question& q, Millis now) const;
  void UpdateResolves(Millis now);
  void Send(const std::vector<dns::Question>& questions, Millis now, std::vector<Datagram>& out) const;
  void AdvanceQuery(Millis now);

  RandomRange random_;
  RecordCache cache_;
  bool running_ = false;
  Millis nextQuery_ = 0;
  Millis lastQuery_ = 0;
  Millis interval_ = 0;
  std::map<std::string, Resolve> resolves_;  // by NameKey of the instance
  std::string own_;
};

}  // namespace vello::mdns
