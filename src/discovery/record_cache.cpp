#include "discovery/record_cache.h"

#include <algorithm>

namespace vello::mdns {

namespace {
constexpr Millis kGoodbyeGrace = 1000;
constexpr int kRefreshes = 4;
}  // namespace

Millis CachedRecord::RefreshDue() const {
  if (refreshesSent >= kRefreshes || ending) return expires;
  const Millis ppm = 800000 + 50000 * refreshesSent + jitterPpm;
  return received + static_cast<Millis>(record.ttl) * ppm / 1000;  // ttl s * ppm / 1000 = ms
}

void RecordCache::Insert(const dns::Record& incoming, std::uint32_t source, Millis now, int jitterPpm) {
  dns::Record r = incoming;
  r.ttl = std::min(r.ttl, kMaxTtl);
  auto same = std::find_if(entries_.begin(), entries_.end(),
                           [&](const CachedRecord& c) { return dns::SameRecord(c.record, r); });
  if (r.ttl == 0) {
    if (same != entries_.end() && !same->ending) {
      same->ending = true;
      same->expires = std::min(same->expires, now + kGoodbyeGrace);
    }
    return;
  }
  if (r.cacheFlush) {
    for (CachedRecord& c : entries_)
      if (c.record.type == r.type && c.record.rrclass == r.rrclass && c.received < now - kGoodbyeGrace &&
          dns::SameName(c.record.name, r.name) && !dns::SameRdata(c.record, r)) {
        c.expires = std::min(c.expires, now + kGoodbyeGrace);
        c.ending = true;
      }
  }
  if (same == entries_.end()) {
    if (entries_.size() >= capacity_) return;
    entries_.emplace_back();
    same = entries_.end() - 1;
  }
  same->record = std::move(r);
  same->received = now;
  same->expires = now + static_cast<Millis>(same->record.ttl) * 1000;
  same->source = source;
  same->ending = false;
  same->refreshesSent = 0;
  same->jitterPpm = jitterPpm;
}

void RecordCache::Expire(Millis now) {
  std::erase_if(entries_, [&](const CachedRecord& c) { return !c.Live(now); });
}

std::optional<Millis> RecordCache::NextExpiry() const {
  std::optional<Millis> next;
  for (const CachedRecord& c : entries_) next = next ? std::min(*next, c.expires) : c.expires;
  return next;
}

}  // namespace vello::mdns
