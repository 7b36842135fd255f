#pragma once
// Records learnt from other responders, each with the time it arrived and
// its lifetime. A goodbye (lifetime 0) leaves a record one more second; a
// record with the cache-flush bit ends, one second later, the records of
// its name and type with other data that arrived more than a second before.
// Lifetimes are capped and the cache holds a bounded number of records, so a
// flood of strange records cannot grow it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"

namespace vello::mdns {

struct CachedRecord {
  dns::Record record;  // ttl as given (capped)
  Millis received = 0;
  Millis expires = 0;
  std::uint32_t source = 0;  // the sender's address
  bool ending = false;  // a goodbye or a flush: gone within a second
  // Refresh queries go at 80, 85, 90 and 95 % of the lifetime, each plus a
  // random 0-2 % drawn when the record arrived (in millionths of the
  // lifetime: coarser steps would let many browsers ask at the same moment).
  int refreshesSent = 0;
  int jitterPpm = 0;

  bool Live(Millis now) const { return expires > now; }
  Millis RefreshDue() const;  // the next refresh, or the expiry when all are sent
  // At least half the lifetime left: worth listing as a known answer.
  bool Fresh(Millis now) const { return !ending && (expires - now) * 2 > static_cast<Millis>(record.ttl) * 1000; }
};

class RecordCache {
 public:
  static constexpr std::uint32_t kMaxTtl = 4500;
  explicit RecordCache(std::size_t capacity) : capacity_(capacity) {}

  // `jitterPpm` (0-20000) spreads the refresh queries of many browsers.
  void Insert(const dns::Record& r, std::uint32_t source, Millis now, int jitterPpm);
  void Expire(Millis now);
  void Clear() { entries_.clear(); }

  std::vector<CachedRecord>& entries() { return entries_; }
  const std::vector<CachedRecord>& entries() const { return entries_; }
  std::optional<Millis> NextExpiry() const;
  std::size_t capacity() const { return capacity_; }

 private:
  std::size_t capacity_;
  std::vector<CachedRecord> entries_;
};

}  // namespace vello::mdns
