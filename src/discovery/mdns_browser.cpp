#include "discovery/mdns_browser.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace vello::mdns {

namespace {

constexpr Millis kFirstInterval = 1000;
constexpr Millis kMaxInterval = 3600 * 1000;
constexpr int kResolveAttempts = 4;  // at once, then after 1, 2 and 4 s
constexpr int kRefreshes = 4;
constexpr std::size_t kMaxChases = 16;

bool IsServicePtr(const dns::Record& r) { return r.ptr() && dns::SameName(r.name, ServiceType()); }

}  // namespace

MdnsBrowser::MdnsBrowser(RandomRange random, std::size_t cacheCapacity)
    : random_(std::move(random)), cache_(cacheCapacity) {}

void MdnsBrowser::Start(Millis now) {
  running_ = true;
  cache_.Clear();
  resolves_.clear();
  interval_ = kFirstInterval;
  lastQuery_ = now;
  nextQuery_ = now + random_(20, 120);
}

void MdnsBrowser::RestartQueries(Millis now) {
  if (!running_) return;
  interval_ = kFirstInterval;
  lastQuery_ = now;
  nextQuery_ = now + random_(20, 120);
}

void MdnsBrowser::Stop() {
  running_ = false;
  cache_.Clear();
  resolves_.clear();
}

bool MdnsBrowser::IsOwn(const dns::Name& instance) const {
  std::string label;
  return InstanceLabelOf(instance, label) && dns::SameLabel(label, own_);
}

MdnsBrowser::Index MdnsBrowser::BuildIndex(Millis now) const {
  Index index;
  auto newer = [](const CachedRecord*& slot, const CachedRecord& c) {
    if (!slot || c.received > slot->received) slot = &c;
  };
  for (const CachedRecord& c : cache_.entries()) {
    if (!c.Live(now)) continue;
    if (IsServicePtr(c.record)) index.instances.insert(dns::NameKey(c.record.ptr()->target));
    else if (c.record.srv()) newer(index.srv[dns::NameKey(c.record.name)], c);
    else if (c.record.txt()) newer(index.txt[dns::NameKey(c.record.name)], c);
    else if (c.record.a()) index.a[dns::NameKey(c.record.name)].push_back(&c);
  }
  for (const auto& [instance, srv] : index.srv)
    if (index.instances.count(instance)) index.targets.insert(dns::NameKey(srv->record.srv()->target));
  return index;
}

void MdnsBrowser::OnResponse(const dns::Message& m, const Endpoint& from, Millis now) {
  if (!running_) return;
  const int jitter = static_cast<int>(random_(0, 20000));
  std::vector<const dns::Record*> records;
  for (const dns::Record& r : m.answers) records.push_back(&r);
  for (const dns::Record& r : m.additionals) records.push_back(&r);
  // Only what leads to an instance of our service is kept: its pointers,
  // then the SRV and TXT of instances so named, then the addresses of the
  // hosts those SRV name. Records of the same packet may come in any order.
  std::string label;
  bool named = false, addressed = false;
  for (const dns::Record* r : records) {
    if (IsServicePtr(*r) && InstanceLabelOf(r->ptr()->target, label)) cache_.Insert(*r, from.address, now, jitter);
    named |= r->srv() || r->txt();
    addressed |= r->a() != nullptr;
  }
  if (named) {
    const std::set<std::string> instances = BuildIndex(now).instances;
    for (const dns::Record* r : records)
      if ((r->srv() || r->txt()) && instances.count(dns::NameKey(r->name)))
        cache_.Insert(*r, from.address, now, jitter);
  }
  if (addressed) {
    const std::set<std::string> targets = BuildIndex(now).targets;
    for (const dns::Record* r : records)
      if (r->a() && targets.count(dns::NameKey(r->name))) cache_.Insert(*r, from.address, now, jitter);
  }
  UpdateResolves(now);
}

void MdnsBrowser::UpdateResolves(Millis now) {
  const Index index = BuildIndex(now);
  std::map<std::string, Resolve> still;
  std::size_t chasing = 0;
  for (const CachedRecord& c : cache_.entries()) {
    if (!c.Live(now) || c.ending || !IsServicePtr(c.record)) continue;
    const dns::Name& instance = c.record.ptr()->target;
    if (IsOwn(instance)) continue;
    std::string key = dns::NameKey(instance);
    auto srv = index.srv.find(key);
    const bool hasSrv = srv != index.srv.end();
    if (hasSrv && index.a.count(dns::NameKey(srv->second->record.srv()->target))) continue;
    // A new step (the SRV came, the address did not) starts its own tries.
    auto known = resolves_.find(key);
    Resolve r = known != resolves_.end() && known->second.forAddress == hasSrv
                    ? known->second
                    : Resolve{instance, hasSrv, 0, now};
    // A bounded number at a time: a flood of bare pointers must not turn
    // into a flood of our questions.
    if (r.attempts < kResolveAttempts && ++chasing > kMaxChases) continue;
    still[key] = std::move(r);
  }
  resolves_.swap(still);
}

bool MdnsBrowser::WantsRefresh(const CachedRecord& c, const Index& index) const {
  const dns::Record& r = c.record;
  if (IsServicePtr(r)) return !IsOwn(r.ptr()->target);
  if (r.srv()) return !IsOwn(r.name) && index.instances.count(dns::NameKey(r.name));
  if (r.a()) return index.targets.count(dns::NameKey(r.name)) > 0;
  return false;
}

void MdnsBrowser::AdvanceQuery(Millis now) {
  lastQuery_ = now;
  nextQuery_ = now + interval_ + random_(0, 100);
  interval_ = std::min(interval_ * 2, kMaxInterval);
}

void MdnsBrowser::Poll(Millis now, std::vector<Datagram>& out) {
  if (!running_) return;
  cache_.Expire(now);
  UpdateResolves(now);
  std::vector<dns::Question> questions;
  auto ask = [&](const dns::Name& name, std::uint16_t type) {
    for (const dns::Question& q : questions)
      if (q.type == type && dns::SameName(q.name, name)) return;
    questions.push_back({name, type, dns::kClassIn, false});
  };
  if (now >= nextQuery_) {
    ask(ServiceType(), dns::kTypePtr);
    AdvanceQuery(now);
  }
  const Index index = BuildIndex(now);
  for (CachedRecord& c : cache_.entries()) {
    if (c.ending || c.refreshesSent >= kRefreshes || now < c.RefreshDue()) continue;
    if (!WantsRefresh(c, index)) {
      c.refreshesSent = kRefreshes;
      continue;
    }
    ask(c.record.name, c.record.type);
    ++c.refreshesSent;
  }
  for (auto& [key, resolve] : resolves_) {
    if (resolve.attempts >= kResolveAttempts || now < resolve.next) continue;
    if (auto srv = index.srv.find(key); srv != index.srv.end()) {
      ask(srv->second->record.srv()->target, dns::kTypeA);
    } else {
      ask(resolve.instance, dns::kTypeSrv);
      ask(resolve.instance, dns::kTypeTxt);
    }
    resolve.next = now + (kFirstInterval << resolve.attempts);
    ++resolve.attempts;
  }
  if (!questions.empty()) Send(questions, now, out);
}

std::vector<const CachedRecord*> MdnsBrowser::KnownAnswers(const dns::Question& q, Millis now) const {
  std::vector<const CachedRecord*> known;
  for (const CachedRecord& c : cache_.entries())
    if (c.Live(now) && c.Fresh(now) && dns::Answers(c.record, q)) known.push_back(&c);
  return known;
}

void MdnsBrowser::Send(const std::vector<dns::Question>& questions, Millis now, std::vector<Datagram>& out) const {
  // Questions first; known answers fill the packet and, when they do not
  // fit, go on in further packets, every packet but the last marked
  // truncated so that responders wait for the rest.
  dns::MessageWriter w(0, 0);
  auto flush = [&](bool more) {
    if (more) w.SetFlags(dns::kFlagTruncated);
    out.push_back({w.bytes(), true, {}});
    w = dns::MessageWriter(0, 0);
  };
  for (const dns::Question& q : questions)
    if (!w.AddQuestion(q, kMaxPacketBytes)) {
      flush(false);
      w.AddQuestion(q, kMaxPacketBytes);
    }
  for (const dns::Question& q : questions)
    for (const CachedRecord* known : KnownAnswers(q, now)) {
      dns::Record k = known->record;
      k.ttl = static_cast<std::uint32_t>((known->expires - now) / 1000);  // what is left of it
      k.cacheFlush = false;
      if (!w.AddAnswer(k, kMaxPacketBytes)) {
        flush(true);
        w.AddAnswer(k, kMaxPacketBytes);
      }
    }
  flush(false);
}

void MdnsBrowser::OnQuery(const dns::Message& m, Millis now) {
  if (!running_ || m.IsResponse() || m.IsTruncated() || !m.authorities.empty()) return;
  const dns::Question ours{ServiceType(), dns::kTypePtr, dns::kClassIn, false};
  const bool same = std::any_of(m.questions.begin(), m.questions.end(), [&](const dns::Question& q) {
    return !q.unicastResponse && q.type == dns::kTypePtr && q.qclass == dns::kClassIn &&
           dns::SameName(q.name, ServiceType());
  });
  if (!same) return;
  // Their known answers must all be ours too, or responders would keep
  // quiet about something we have not heard of.
  const std::vector<const CachedRecord*> known = KnownAnswers(ours, now);
  for (const dns::Record& k : m.answers) {
    if (!IsServicePtr(k)) continue;
    if (std::none_of(known.begin(), known.end(),
                     [&](const CachedRecord* c) { return dns::SameRecord(c->record, k); }))
      return;
  }
  const Millis gap = nextQuery_ - lastQuery_;
  if (nextQuery_ - now <= std::max<Millis>(kFirstInterval, gap / 2)) AdvanceQuery(now);
}

std::optional<Millis> MdnsBrowser::NextWake() const {
  if (!running_) return std::nullopt;
  Millis wake = nextQuery_;
  for (const CachedRecord& c : cache_.entries()) {
    wake = std::min(wake, c.expires);
    if (!c.ending && c.refreshesSent < kRefreshes) wake = std::min(wake, c.RefreshDue());
  }
  for (const auto& [key, resolve] : resolves_)
    if (resolve.attempts < kResolveAttempts) wake = std::min(wake, resolve.next);
  return wake;
}

std::vector<FoundInstance> MdnsBrowser::Found(Millis now) const {
  const Index index = BuildIndex(now);
  std::vector<FoundInstance> found;
  std::set<std::string> seen;
  for (const CachedRecord& p : cache_.entries()) {
    std::string label;
    if (!p.Live(now) || !IsServicePtr(p.record) || !InstanceLabelOf(p.record.ptr()->target, label)) continue;
    const dns::Name& instance = p.record.ptr()->target;
    const std::string key = dns::NameKey(instance);
    if (IsOwn(instance) || seen.count(key)) continue;
    auto srv = index.srv.find(key);
    if (srv == index.srv.end()) continue;
    const dns::SrvData& data = *srv->second->record.srv();
    auto hosts = index.a.find(dns::NameKey(data.target));
    if (hosts == index.a.end()) continue;
    seen.insert(key);
    std::vector<const CachedRecord*> as = hosts->second;
    std::stable_sort(as.begin(), as.end(),
                     [](const CachedRecord* a, const CachedRecord* b) { return a->received > b->received; });
    FoundInstance f;
    f.name = label;
    f.host = data.target.ToText();
    f.port = data.port;
    for (const CachedRecord* a : as) f.addresses.push_back(a->record.a()->address);
    f.address = f.addresses.front();
    for (std::uint32_t a : f.addresses)
      if (a == srv->second->source) f.address = a;
    if (auto txt = index.txt.find(key); txt != index.txt.end()) f.txt = txt->second->record.txt()->strings;
    found.push_back(std::move(f));
  }
  std::sort(found.begin(), found.end(), [](const FoundInstance& a, const FoundInstance& b) {
    return std::tuple(dns::NameKey(dns::Name{{a.name}}), a.name) < std::tuple(dns::NameKey(dns::Name{{b.name}}), b.name);
  });
  return found;
}

}  // namespace vello::mdns
