#pragma once
// Records learnt from other responders, each with the time it arrived, its
// lifetime and the address it came from.
//
// A goodbye (lifetime 0) from the address a record came from leaves it one
// more second; a record with the cache-flush bit ends, one second later,
// the records of its name and type with other data that came from the same
// address more than a second before. The same from any other address is
// only a doubt: the record is asked for again (see Doubted) and goes when
// nobody confirms it within kConfirmWait, so that one forged packet cannot
// hide a copy that is still there.
//
// Shares: the cache holds at most Budget() records, which grows with the
// number of addresses heard from (kPerSource each, at least kBase, at most
// kMax). When a new record finds it full, the address holding the most
// records gives up its oldest: a flood from a few addresses only replaces
// its own records, and every quieter sender keeps its place.
//
// Lifetimes are capped: records that name a host and its data (SRV, TXT,
// A) at kMaxHostTtl, the others at kMaxTtl.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"

namespace vello::mdns {

struct CachedRecord {
  dns::Record record;  // ttl as given (capped)
  Millis received = 0;
  Millis expires = 0;
  std::uint32_t source = 0;  // the sender's address
  bool ending = false;       // a goodbye or a flush from its own sender: gone within a second
  // A goodbye or a flush from another sender: gone at this time unless the
  // record is heard again meanwhile (0: not in doubt).
  Millis doubtedUntil = 0;
  int confirmsSent = 0;  // questions sent for it since the doubt
  // Refresh queries go at 80, 85, 90 and 95 % of the lifetime, each plus a
  // random 0-2 % drawn when the record arrived (in millionths of the
  // lifetime: coarser steps would let many browsers ask at the same moment).
  int refreshesSent = 0;
  int jitterPpm = 0;

  bool Live(Millis now) const { return expires > now; }
  bool Doubted() const { return doubtedUntil != 0; }
  Millis RefreshDue() const;  // the next refresh, or the expiry when all are sent
  // When the next question confirming a doubted record is due (or never).
  std::optional<Millis> ConfirmDue() const;
  // At least half the lifetime left, and not in doubt: worth listing as a
  // known answer.
  bool Fresh(Millis now) const {
    return !ending && !Doubted() && (expires - now) * 2 > static_cast<Millis>(record.ttl) * 1000;
  }
};

class RecordCache {
 public:
  static constexpr std::uint32_t kMaxTtl = 4500;
  static constexpr std::uint32_t kMaxHostTtl = 120;
  static constexpr Millis kConfirmWait = 3000;
  static constexpr int kConfirmQuestions = 2;  // 1 and 2 s after the doubt
  struct Bounds {
    std::size_t base = 1024;
    std::size_t perSource = 16;
    std::size_t max = 16384;
  };
  using Records = std::map<std::string, CachedRecord>;

  RecordCache() : RecordCache(Bounds{}) {}
  explicit RecordCache(Bounds bounds) : bounds_(bounds) {}

  // `jitterPpm` (0-20000) spreads the refresh queries of many browsers.
  // Returns the record as cached, or null when it was a goodbye.
  const CachedRecord* Insert(const dns::Record& r, std::uint32_t source, Millis now, int jitterPpm);
  // Removes what is no longer live; returns how many went.
  std::size_t Expire(Millis now);
  void Remove(const dns::Record& r);
  void Clear();

  const Records& records() const { return records_; }
  std::size_t size() const { return records_.size(); }
  std::size_t Budget() const;
  std::size_t sources() const { return bySource_.size(); }
  std::size_t CountFrom(std::uint32_t source) const;

  const CachedRecord* Find(const dns::Record& r) const;
  // Every cached record of this name and type (live or not).
  std::vector<const CachedRecord*> Named(const dns::Name& name, std::uint16_t type) const;
  // Whether a live SRV names this host as its target.
  bool IsSrvTarget(const dns::Name& host) const;

  // Lets the owner update the refresh and confirmation counts.
  CachedRecord* Mutable(const CachedRecord* c) { return const_cast<CachedRecord*>(c); }

  // The earliest moment at which something may be due (an expiry, a
  // refresh or a confirmation); never later than the truth, sometimes
  // earlier. Recompute() makes it exact again.
  std::optional<Millis> NextDue() const { return nextDue_; }
  void Recompute();

 private:
  Records::iterator Erase(Records::iterator it);
  void Account(const std::string* key, const CachedRecord& c, bool add);
  void MakeRoom(std::uint32_t incoming);
  void Due(const CachedRecord& c);

  Bounds bounds_;
  Records records_;
  // Per sender: its records by arrival, oldest first; and the senders by
  // how many records each holds.
  std::unordered_map<std::uint32_t, std::set<std::pair<Millis, const std::string*>>> bySource_;
  std::set<std::pair<std::size_t, std::uint32_t>> heaviest_;
  std::map<std::string, int> srvTargets_;  // NameKey of an SRV's target -> how many
  std::optional<Millis> nextDue_;
};

// The cache's key of a record: its name, type and data, names folded to
// lower case, so that records of one name and type sort together.
std::string RecordKey(const dns::Record& r);
std::string NameTypeKey(const dns::Name& name, std::uint16_t type);

}  // namespace vello::mdns
