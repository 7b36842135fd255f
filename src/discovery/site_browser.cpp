#include "discovery/site_browser.h"

#include <algorithm>
#include <limits>
#include <set>

#include "discovery/record_cache.h"

namespace vello::site {

namespace {

using dns::Name;

constexpr Millis kNoDataLifetime = 60'000;  // an empty answer without an SOA to say how long
constexpr std::size_t kMaxVersionBytes = 32;

const Name& ServiceLabels() {
  static const Name n = Name::FromDotted("_vello._tcp");
  return n;
}

Name Under(const Name& prefix, const Name& domain) {
  Name n = prefix;
  n.labels.insert(n.labels.end(), domain.labels.begin(), domain.labels.end());
  return n;
}

Name ServiceIn(const Name& domain) { return Under(ServiceLabels(), domain); }

// Room under the domain for a whole instance name: a label of 63 bytes and
// the service's two labels.
bool CanHoldInstances(const Name& domain) {
  return domain.IsValid() && !domain.labels.empty() &&
         ServiceIn(domain).WireLength() + 1 + dns::kMaxLabelBytes <= dns::kMaxNameWireBytes;
}

Millis Clamp(Millis lifetime) {
  return std::clamp(lifetime, SiteBrowser::kMinLifetime, SiteBrowser::kMaxLifetime);
}

std::string VersionOf(const std::vector<dns::Record>& records) {
  for (const dns::Record& r : records)
    if (const dns::TxtData* t = r.txt())
      for (const std::string& s : t->strings)
        if (s.size() > 4 && dns::SameLabel(s.substr(0, 4), "ver=")) return s.substr(4, kMaxVersionBytes);
  return {};
}

}  // namespace

SiteBrowser::SiteBrowser(mdns::RandomRange random, Bounds bounds) : random_(std::move(random)), bounds_(bounds) {}

void SiteBrowser::SetDomains(const std::vector<Name>& searchDomains, const std::optional<Name>& primary,
                             const std::optional<Name>& handSet) {
  askDomains_.clear();
  std::set<std::string> seen;
  auto add = [&](const Name& d) {
    if (askDomains_.size() < bounds_.askDomains && CanHoldInstances(d) && seen.insert(dns::NameKey(d)).second)
      askDomains_.push_back(d);
  };
  if (handSet) add(*handSet);
  if (primary) add(*primary);
  for (const Name& d : searchDomains) add(d);
  handSet_.reset();
  if (handSet && CanHoldInstances(*handSet)) handSet_ = *handSet;
  reconcileNeeded_ = true;
}

std::vector<Name> SiteBrowser::BrowseDomains(const std::map<std::string, Lookup>& lookups, Millis now) const {
  std::vector<Name> out;
  std::set<std::string> seen;
  auto add = [&](const Name& d) {
    if (out.size() < bounds_.browseDomains && CanHoldInstances(d) && seen.insert(dns::NameKey(d)).second)
      out.push_back(d);
  };
  if (handSet_) add(*handSet_);
  for (const Name& d : askDomains_)
    for (const char* prefix : {"b._dns-sd._udp", "lb._dns-sd._udp"}) {
      auto it = lookups.find(mdns::NameTypeKey(Under(Name::FromDotted(prefix), d), dns::kTypePtr));
      if (it == lookups.end() || it->second.expires <= now) continue;
      for (const dns::Record& r : it->second.records) add(r.ptr()->target);
    }
  return out;
}

// The instances a domain's PTR lookup names: only names of our service in
// that domain (a PTR to anything else would have us ask about names the
// server chose), each once, at most instancesPerDomain.
std::vector<Name> SiteBrowser::InstancesOf(const Lookup& ptrs, const Name& service, Millis now) const {
  std::vector<Name> out;
  if (ptrs.expires <= now) return out;
  std::set<std::string> seen;
  for (const dns::Record& r : ptrs.records) {
    if (out.size() >= bounds_.instancesPerDomain) break;
    const Name& instance = r.ptr()->target;
    if (instance.labels.size() != service.labels.size() + 1 || !dns::SameName(instance.Parent(), service)) continue;
    if (seen.insert(dns::NameKey(instance)).second) out.push_back(instance);
  }
  return out;
}

void SiteBrowser::Want(std::map<std::string, Lookup>& next, Kind kind, const Name& name, std::uint16_t type,
                       const std::string& domainKey, Millis now) {
  std::string key = mdns::NameTypeKey(name, type);
  if (next.count(key)) return;
  auto old = lookups_.find(key);
  if (old != lookups_.end()) {
    next.emplace(key, std::move(old->second));
    lookups_.erase(old);
    return;
  }
  Lookup l;
  l.kind = kind;
  l.question = dns::Question{name, type, dns::kClassIn, false};
  l.domainKey = domainKey;
  l.due = now;
  next.emplace(std::move(key), std::move(l));
}

// Rebuilds the set of lookups from what is known now, top down, so that
// what no live record leads to any longer is forgotten.
void SiteBrowser::Reconcile(Millis now) {
  std::map<std::string, Lookup> next;
  for (const Name& d : askDomains_)
    for (const char* prefix : {"b._dns-sd._udp", "lb._dns-sd._udp"})
      Want(next, Kind::BrowseDomains, Under(Name::FromDotted(prefix), d), dns::kTypePtr, {}, now);
  for (const Name& domain : BrowseDomains(next, now)) {
    const std::string domainKey = dns::NameKey(domain);
    const Name service = ServiceIn(domain);
    Want(next, Kind::Instances, service, dns::kTypePtr, domainKey, now);
    for (const Name& instance : InstancesOf(next[mdns::NameTypeKey(service, dns::kTypePtr)], service, now)) {
      Want(next, Kind::Service, instance, dns::kTypeSrv, domainKey, now);
      Want(next, Kind::Text, instance, dns::kTypeTxt, domainKey, now);
      const Lookup& srv = next[mdns::NameTypeKey(instance, dns::kTypeSrv)];
      if (srv.expires <= now) continue;
      for (const dns::Record& s : srv.records) Want(next, Kind::Address, s.srv()->target, dns::kTypeA, domainKey, now);
    }
  }
  lookups_ = std::move(next);
  reconcileNeeded_ = false;
}

void SiteBrowser::Expire(Millis now) {
  for (auto& [key, l] : lookups_) {
    if (l.pending && now - l.sentAt >= kAnswerWait) Failed(l, now);
    if (!l.records.empty() && l.expires <= now) {
      l.records.clear();
      reconcileNeeded_ = true;
    }
  }
}

void SiteBrowser::Failed(Lookup& l, Millis now) {
  l.pending = false;
  l.overTcp = false;
  l.retryWait = l.retryWait == 0 ? kFirstRetry : std::min(l.retryWait * 2, kMaxLifetime);
  l.due = now + l.retryWait;
}

std::size_t SiteBrowser::InFlight() const {
  std::size_t n = 0;
  for (const auto& [key, l] : lookups_) n += l.pending ? 1 : 0;
  return n;
}

std::vector<SiteQuery> SiteBrowser::Poll(Millis now) {
  Expire(now);
  // Questions already due go out before new ones are looked for: walking
  // every lookup after each answer would cost a hostile server's thousands
  // of instances a walk per answer.
  bool anyDue = false;
  for (const auto& [key, l] : lookups_) anyDue = anyDue || (!l.pending && l.due <= now);
  if (reconcileNeeded_ && !anyDue) Reconcile(now);
  std::size_t inFlight = InFlight();
  std::vector<SiteQuery> out;
  for (auto& [key, l] : lookups_) {
    if (inFlight >= bounds_.queriesInFlight) break;
    if (l.pending || l.due > now) continue;
    l.pending = true;
    l.sentAt = now;
    l.id = static_cast<std::uint16_t>(random_(0, 0xFFFF));
    out.push_back(SiteQuery{l.id, l.question, l.overTcp, dns::BuildQuery(l.id, l.question.name, l.question.type)});
    ++inFlight;
  }
  return out;
}

std::optional<Millis> SiteBrowser::NextDue() const {
  const bool room = InFlight() < bounds_.queriesInFlight;
  if (reconcileNeeded_ && room) return std::numeric_limits<Millis>::min();
  std::optional<Millis> next;
  auto consider = [&](Millis t) {
    if (!next || t < *next) next = t;
  };
  for (const auto& [key, l] : lookups_) {
    if (l.pending) consider(l.sentAt + kAnswerWait);
    else if (room) consider(l.due);
    if (!l.records.empty()) consider(l.expires);
  }
  return next;
}

bool SiteBrowser::Receive(std::string_view bytes, bool overTcp, Millis now) {
  if (bytes.size() < 2) {
    ++ignored_;
    return false;
  }
  const std::uint16_t id = static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                                      static_cast<unsigned char>(bytes[1]));
  for (auto& [key, l] : lookups_) {
    if (!l.pending || l.id != id || l.overTcp != overTcp) continue;
    dns::UnicastAnswer a = dns::ReadAnswer(bytes, id, l.question);
    using Outcome = dns::UnicastAnswer::Outcome;
    // Bytes that do not answer this question are not the server's failure:
    // anyone can send them. The time-out stands.
    if (a.outcome == Outcome::NotOurs || a.outcome == Outcome::Malformed) continue;
    if (a.outcome == Outcome::Oversized || (a.outcome == Outcome::Truncated && overTcp)) {
      Failed(l, now);
    } else if (a.outcome == Outcome::Truncated) {
      l.pending = false;
      l.overTcp = true;
      l.due = now;
    } else if (a.rcode == static_cast<int>(dns::Rcode::NoError) && !a.records.empty()) {
      if (l.kind == Kind::Address && a.records.size() > bounds_.addressesPerHost)
        a.records.resize(bounds_.addressesPerHost);
      if (l.kind == Kind::Text) {
        // Only the version is used; a server's kilobytes of text are not kept.
        const std::string version = VersionOf(a.records);
        dns::Record kept = a.records.front();
        kept.data = dns::TxtData{{version.empty() ? std::string() : "ver=" + version}};
        a.records.assign(1, std::move(kept));
      }
      std::uint32_t ttl = a.records.front().ttl;
      for (const dns::Record& r : a.records) ttl = std::min(ttl, r.ttl);
      const Millis lifetime = Clamp(static_cast<Millis>(ttl) * 1000);
      l.records = std::move(a.records);
      l.expires = now + lifetime;
      // Asked again at 80 % of the lifetime, plus up to 2 % so that many
      // copies do not ask together.
      l.due = now + lifetime * 8 / 10 + random_(0, lifetime / 50);
      l.pending = false;
      l.overTcp = false;
      l.retryWait = 0;
    } else if (a.rcode == static_cast<int>(dns::Rcode::NoError) ||
               a.rcode == static_cast<int>(dns::Rcode::NxDomain)) {
      l.records.clear();
      l.pending = false;
      l.overTcp = false;
      l.retryWait = 0;
      l.due = now + Clamp(a.negativeTtl ? static_cast<Millis>(*a.negativeTtl) * 1000 : kNoDataLifetime);
    } else {
      Failed(l, now);
    }
    reconcileNeeded_ = true;
    return true;
  }
  ++ignored_;
  return false;
}

std::vector<SiteInstance> SiteBrowser::Found(Millis now) const {
  std::vector<SiteInstance> out;
  auto live = [&](Kind kind, const Name& name, std::uint16_t type) -> const std::vector<dns::Record>* {
    auto it = lookups_.find(mdns::NameTypeKey(name, type));
    if (it == lookups_.end() || it->second.kind != kind || it->second.records.empty() || it->second.expires <= now)
      return nullptr;
    return &it->second.records;
  };
  for (const Name& domain : BrowseDomains(lookups_, now)) {
    const Name service = ServiceIn(domain);
    auto ptrs = lookups_.find(mdns::NameTypeKey(service, dns::kTypePtr));
    if (ptrs == lookups_.end()) continue;
    for (const Name& instance : InstancesOf(ptrs->second, service, now)) {
      const auto* srvs = live(Kind::Service, instance, dns::kTypeSrv);
      if (!srvs) continue;
      const dns::Record* best = nullptr;
      for (const dns::Record& s : *srvs)
        if (!best || s.srv()->priority < best->srv()->priority) best = &s;
      const auto* addresses = live(Kind::Address, best->srv()->target, dns::kTypeA);
      if (!addresses) continue;
      std::uint32_t address = addresses->front().a()->address;
      for (const dns::Record& a : *addresses) address = std::min(address, a.a()->address);
      SiteInstance found;
      found.name = instance.labels.front();
      found.domain = domain.ToText();
      found.host = best->srv()->target.ToText();
      found.address = address;
      found.port = best->srv()->port;
      if (const auto* txt = live(Kind::Text, instance, dns::kTypeTxt)) found.version = VersionOf(*txt);
      out.push_back(std::move(found));
    }
  }
  std::sort(out.begin(), out.end(), [](const SiteInstance& a, const SiteInstance& b) {
    return a.name != b.name ? a.name < b.name : a.domain < b.domain;
  });
  return out;
}

}  // namespace vello::site
