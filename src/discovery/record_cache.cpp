#include "discovery/record_cache.h"

#include <algorithm>

namespace vello::mdns {

namespace {

constexpr Millis kGoodbyeGrace = 1000;
constexpr Millis kConfirmInterval = 1000;
constexpr int kRefreshes = 4;

void Put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

std::uint32_t CappedTtl(const dns::Record& r) {
  const bool hostRecord = r.srv() || r.txt() || r.a();
  return std::min(r.ttl, hostRecord ? RecordCache::kMaxHostTtl : RecordCache::kMaxTtl);
}

void Lower(std::optional<Millis>& slot, Millis t) { slot = slot ? std::min(*slot, t) : t; }

}  // namespace

std::string NameTypeKey(const dns::Name& name, std::uint16_t type) {
  // The root's zero byte ends the name: no label is empty, so the key of a
  // name is never a prefix of a longer name's.
  std::string key = dns::NameKey(name);
  key += '\0';
  Put16(key, type);
  return key;
}

std::string RecordKey(const dns::Record& r) {
  std::string key = NameTypeKey(r.name, r.type);
  if (const dns::PtrData* p = r.ptr()) {
    key += dns::NameKey(p->target);
  } else if (const dns::SrvData* s = r.srv()) {
    Put16(key, s->priority);
    Put16(key, s->weight);
    Put16(key, s->port);
    key += dns::NameKey(s->target);
  } else {
    key += dns::RdataBytes(r);
  }
  return key;
}

Millis CachedRecord::RefreshDue() const {
  if (refreshesSent >= kRefreshes || ending) return expires;
  const Millis ppm = 800000 + 50000 * refreshesSent + jitterPpm;
  return received + static_cast<Millis>(record.ttl) * ppm / 1000;  // ttl s * ppm / 1000 = ms
}

std::optional<Millis> CachedRecord::ConfirmDue() const {
  if (!Doubted() || ending || confirmsSent >= RecordCache::kConfirmQuestions) return std::nullopt;
  // The first question a second after the doubt: the owner's answer then
  // also flushes what the doubter sent, which the second-long grace of a
  // flush would spare if it came at once.
  return doubtedUntil - RecordCache::kConfirmWait + kConfirmInterval * (confirmsSent + 1);
}

std::size_t RecordCache::Budget() const {
  return std::min(bounds_.max, std::max(bounds_.base, bounds_.perSource * bySource_.size()));
}

std::size_t RecordCache::CountFrom(std::uint32_t source) const {
  auto it = bySource_.find(source);
  return it == bySource_.end() ? 0 : it->second.size();
}

void RecordCache::Account(const std::string* key, const CachedRecord& c, bool add) {
  auto& mine = bySource_[c.source];
  const std::size_t before = mine.size();
  if (add) mine.emplace(c.received, key);
  else mine.erase({c.received, key});
  const std::size_t after = mine.size();
  if (before != after) {
    if (before) heaviest_.erase({before, c.source});
    if (after) heaviest_.emplace(after, c.source);
  }
  if (!after) bySource_.erase(c.source);
  if (const dns::SrvData* s = c.record.srv()) {
    const std::string target = dns::NameKey(s->target);
    if (add) {
      ++srvTargets_[target];
    } else if (auto t = srvTargets_.find(target); t != srvTargets_.end() && --t->second <= 0) {
      srvTargets_.erase(t);
    }
  }
}

RecordCache::Records::iterator RecordCache::Erase(Records::iterator it) {
  Account(&it->first, it->second, false);
  return records_.erase(it);
}

void RecordCache::MakeRoom(std::uint32_t incoming) {
  // The budget as it will be with the newcomer's sender counted.
  const std::size_t senders = bySource_.size() + (bySource_.count(incoming) ? 0 : 1);
  const std::size_t budget = std::min(bounds_.max, std::max(bounds_.base, bounds_.perSource * senders));
  while (!records_.empty() && records_.size() >= budget) {
    auto [most, victim] = *heaviest_.rbegin();
    // A sender that would become the heaviest makes room from its own.
    const std::size_t own = CountFrom(incoming);
    if (own > 0 && own + 1 > most) victim = incoming;
    const std::string* oldest = bySource_.at(victim).begin()->second;
    Erase(records_.find(*oldest));
  }
}

void RecordCache::Due(const CachedRecord& c) {
  Lower(nextDue_, c.expires);
  if (!c.ending && c.refreshesSent < kRefreshes) Lower(nextDue_, c.RefreshDue());
  if (auto confirm = c.ConfirmDue()) Lower(nextDue_, *confirm);
}

const CachedRecord* RecordCache::Insert(const dns::Record& incoming, std::uint32_t source, Millis now,
                                        int jitterPpm) {
  dns::Record r = incoming;
  r.ttl = CappedTtl(r);
  const std::string key = RecordKey(r);
  auto same = records_.find(key);
  auto doubt = [&](CachedRecord& c) {
    if (c.ending || c.Doubted()) return;
    c.doubtedUntil = now + kConfirmWait;
    c.confirmsSent = 0;
    c.expires = std::min(c.expires, c.doubtedUntil);
  };
  auto end = [&](CachedRecord& c) {
    c.ending = true;
    c.expires = std::min(c.expires, now + kGoodbyeGrace);
  };
  if (r.ttl == 0) {
    if (same != records_.end() && !same->second.ending) {
      if (same->second.source == source) end(same->second);
      else doubt(same->second);
      Due(same->second);
    }
    return nullptr;
  }
  if (r.cacheFlush) {
    const std::string prefix = NameTypeKey(r.name, r.type);
    for (auto it = records_.lower_bound(prefix); it != records_.end() && it->first.starts_with(prefix); ++it) {
      CachedRecord& c = it->second;
      if (it->first == key || c.ending || c.received >= now - kGoodbyeGrace) continue;
      if (c.source == source) end(c);
      else doubt(c);
      Due(c);
    }
  }
  if (same == records_.end()) {
    MakeRoom(source);
    same = records_.emplace(key, CachedRecord{}).first;
  } else {
    Account(&same->first, same->second, false);
  }
  CachedRecord& c = same->second;
  c.record = std::move(r);
  c.received = now;
  c.expires = now + static_cast<Millis>(c.record.ttl) * 1000;
  c.source = source;
  c.ending = false;
  c.doubtedUntil = 0;
  c.confirmsSent = 0;
  c.refreshesSent = 0;
  c.jitterPpm = jitterPpm;
  Account(&same->first, c, true);
  Due(c);
  return &c;
}

void RecordCache::Remove(const dns::Record& r) {
  auto it = records_.find(RecordKey(r));
  if (it != records_.end()) Erase(it);
}

std::size_t RecordCache::Expire(Millis now) {
  std::size_t gone = 0;
  nextDue_.reset();
  for (auto it = records_.begin(); it != records_.end();) {
    if (!it->second.Live(now)) {
      it = Erase(it);
      ++gone;
    } else {
      Due(it->second);
      ++it;
    }
  }
  return gone;
}

void RecordCache::Recompute() {
  nextDue_.reset();
  for (const auto& [key, c] : records_) Due(c);
}

void RecordCache::Clear() {
  records_.clear();
  bySource_.clear();
  heaviest_.clear();
  srvTargets_.clear();
  nextDue_.reset();
}

const CachedRecord* RecordCache::Find(const dns::Record& r) const {
  auto it = records_.find(RecordKey(r));
  return it == records_.end() ? nullptr : &it->second;
}

std::vector<const CachedRecord*> RecordCache::Named(const dns::Name& name, std::uint16_t type) const {
  std::vector<const CachedRecord*> found;
  const std::string prefix = NameTypeKey(name, type);
  for (auto it = records_.lower_bound(prefix); it != records_.end() && it->first.starts_with(prefix); ++it)
    found.push_back(&it->second);
  return found;
}

bool RecordCache::IsSrvTarget(const dns::Name& host) const { return srvTargets_.count(dns::NameKey(host)) > 0; }

}  // namespace vello::mdns
