#include "discovery/mdns_browser.h"

#include <algorithm>
#include <limits>
#include <set>
#include <tuple>

namespace vello::mdns {

namespace {

constexpr Millis kFirstInterval = 1000;
constexpr Millis kMaxInterval = 3600 * 1000;
constexpr int kResolveAttempts = 4;  // at once, then after 1, 2 and 4 s
constexpr int kRefreshes = 4;
constexpr std::size_t kMaxChases = 16;
constexpr std::size_t kChasesPerSender = 2;
// The walks over the whole cache (expiry, refreshes, incomplete instances)
// run at most this often, so that a flood that keeps something due at
// every packet costs a walk per pause, not per packet.
constexpr Millis kWalkGap = 50;
constexpr Millis kResolveWalkGap = 200;

bool IsServicePtr(const dns::Record& r) { return r.ptr() && dns::SameName(r.name, ServiceType()); }

Millis After(const std::optional<Millis>& last, Millis gap) {
  return last ? *last + gap : std::numeric_limits<Millis>::min();
}

}  // namespace

MdnsBrowser::MdnsBrowser(RandomRange random, RecordCache::Bounds bounds)
    : random_(std::move(random)), cache_(bounds) {}

void MdnsBrowser::Start(Millis now) {
  running_ = true;
  cache_.Clear();
  resolves_.clear();
  resolvesDirty_ = false;
  lastWalk_.reset();
  lastResolveWalk_.reset();
  interval_ = kFirstInterval;
  lastQuery_ = now;
  nextQuery_ = now + random_(20, 120);
  ++version_;
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
  ++version_;
}

void MdnsBrowser::SetOwnInstance(const std::string& label) {
  if (label == own_) return;
  own_ = label;
  resolvesDirty_ = true;
  ++version_;
}

void MdnsBrowser::SetLink(std::vector<LinkAddress> link) {
  if (link == link_) return;
  link_ = std::move(link);
  ++version_;
}

bool MdnsBrowser::IsOwn(const dns::Name& instance) const {
  std::string label;
  return InstanceLabelOf(instance, label) && dns::SameLabel(label, own_);
}

bool MdnsBrowser::HasPointerTo(const dns::Name& instance) const {
  return cache_.Find(dns::MakePtr(ServiceType(), instance, 0)) != nullptr;
}

const CachedRecord* MdnsBrowser::NewestLive(const dns::Name& name, std::uint16_t type, Millis now) const {
  const CachedRecord* newest = nullptr;
  for (const CachedRecord* c : cache_.Named(name, type))
    if (c->Live(now) && (!newest || c->received > newest->received)) newest = c;
  return newest;
}

void MdnsBrowser::Keep(const dns::Record& r, std::uint32_t source, Millis now, int jitter) {
  const CachedRecord* before = cache_.Find(r);
  const std::uint32_t beforeSource = before ? before->source : 0;
  const std::size_t size = cache_.size();
  const CachedRecord* after = cache_.Insert(r, source, now, jitter);
  // A new record, one that changed its sender, or an eviction to make room
  // may change what is listed; a goodbye or a flush changes it a second
  // later, at the expiry.
  if (!before || cache_.size() != size || (after && after->source != beforeSource)) ++version_;
  if (!before || !after) resolvesDirty_ = true;
}

void MdnsBrowser::OnResponse(const dns::Message& m, const Endpoint& from, Millis now) {
  if (!running_) return;
  const int jitter = static_cast<int>(random_(0, 20000));
  std::vector<const dns::Record*> records;
  for (const dns::Record& r : m.answers)
    if (r.rrclass == dns::kClassIn) records.push_back(&r);
  for (const dns::Record& r : m.additionals)
    if (r.rrclass == dns::kClassIn) records.push_back(&r);
  // Only what leads to an instance of our service is kept: its pointers,
  // then the SRV and TXT of instances so named, then the addresses of the
  // hosts those SRV name. Records of the same packet may come in any order.
  std::string label;
  for (const dns::Record* r : records)
    if (IsServicePtr(*r) && InstanceLabelOf(r->ptr()->target, label)) Keep(*r, from.address, now, jitter);
  for (const dns::Record* r : records)
    if ((r->srv() || r->txt()) && HasPointerTo(r->name)) Keep(*r, from.address, now, jitter);
  for (const dns::Record* r : records)
    if (r->a() && cache_.IsSrvTarget(r->name)) Keep(*r, from.address, now, jitter);
}

void MdnsBrowser::UpdateResolves(Millis now) {
  lastResolveWalk_ = now;
  resolvesDirty_ = false;
  std::map<std::string, Resolve> still;
  std::size_t chasing = 0;
  std::map<std::uint32_t, std::size_t> chasingFrom;
  for (const CachedRecord* c : cache_.Named(ServiceType(), dns::kTypePtr)) {
    if (!c->Live(now) || c->ending) continue;
    const dns::Name& instance = c->record.ptr()->target;
    if (IsOwn(instance)) continue;
    const CachedRecord* srv = NewestLive(instance, dns::kTypeSrv, now);
    const bool hasSrv = srv != nullptr;
    if (hasSrv && NewestLive(srv->record.srv()->target, dns::kTypeA, now)) continue;
    // A new step (the SRV came, the address did not) starts its own tries.
    std::string key = dns::NameKey(instance);
    auto known = resolves_.find(key);
    Resolve r = known != resolves_.end() && known->second.forAddress == hasSrv
                    ? known->second
                    : Resolve{instance, c->source, hasSrv, 0, now};
    // A bounded number at a time, and a share of it for each sender: a
    // flood of bare pointers must not turn into a flood of our questions,
    // nor keep another sender's instances from being asked for.
    if (r.attempts < kResolveAttempts) {
      if (chasing >= kMaxChases || chasingFrom[r.source] >= kChasesPerSender) continue;
      ++chasing;
      ++chasingFrom[r.source];
    }
    still[std::move(key)] = std::move(r);
  }
  resolves_.swap(still);
}

bool MdnsBrowser::WantsRefresh(const CachedRecord& c) const {
  const dns::Record& r = c.record;
  if (IsServicePtr(r)) return !IsOwn(r.ptr()->target);
  if (r.srv()) return !IsOwn(r.name) && HasPointerTo(r.name);
  if (r.a()) return cache_.IsSrvTarget(r.name);
  return false;
}

void MdnsBrowser::AdvanceQuery(Millis now) {
  lastQuery_ = now;
  nextQuery_ = now + interval_ + random_(0, 100);
  interval_ = std::min(interval_ * 2, kMaxInterval);
}

void MdnsBrowser::Walk(Millis now, const std::function<void(const dns::Name&, std::uint16_t)>& ask) {
  lastWalk_ = now;
  if (cache_.Expire(now) > 0) {
    ++version_;
    resolvesDirty_ = true;
  }
  for (const auto& [key, entry] : cache_.records()) {
    CachedRecord& c = *cache_.Mutable(&entry);
    if (auto confirm = c.ConfirmDue(); confirm && *confirm <= now) {
      ask(c.record.name, c.record.type);
      ++c.confirmsSent;
    }
    if (c.ending || c.refreshesSent >= kRefreshes || now < c.RefreshDue()) continue;
    if (!WantsRefresh(c)) {
      c.refreshesSent = kRefreshes;
      continue;
    }
    ask(c.record.name, c.record.type);
    ++c.refreshesSent;
  }
  cache_.Recompute();
}

void MdnsBrowser::Poll(Millis now, std::vector<Datagram>& out) {
  if (!running_) return;
  std::vector<dns::Question> questions;
  auto ask = [&](const dns::Name& name, std::uint16_t type) {
    for (const dns::Question& q : questions)
      if (q.type == type && dns::SameName(q.name, name)) return;
    questions.push_back({name, type, dns::kClassIn, false});
  };
  if (cache_.NextDue() && *cache_.NextDue() <= now && now >= After(lastWalk_, kWalkGap)) Walk(now, ask);
  if (resolvesDirty_ && now >= After(lastResolveWalk_, kResolveWalkGap)) UpdateResolves(now);
  if (now >= nextQuery_) {
    ask(ServiceType(), dns::kTypePtr);
    AdvanceQuery(now);
  }
  for (auto& [key, resolve] : resolves_) {
    if (resolve.attempts >= kResolveAttempts || now < resolve.next) continue;
    if (const CachedRecord* srv = NewestLive(resolve.instance, dns::kTypeSrv, now)) {
      ask(srv->record.srv()->target, dns::kTypeA);
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
  const std::uint16_t type = q.type == dns::kTypeAny ? 0 : q.type;
  for (std::uint16_t t : {dns::kTypePtr, dns::kTypeSrv, dns::kTypeTxt, dns::kTypeA}) {
    if (type && t != type) continue;
    for (const CachedRecord* c : cache_.Named(q.name, t))
      if (c->Live(now) && c->Fresh(now) && dns::Answers(c->record, q)) known.push_back(c);
  }
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
  const bool same = std::any_of(m.questions.begin(), m.questions.end(), [&](const dns::Question& q) {
    return !q.unicastResponse && q.type == dns::kTypePtr && q.qclass == dns::kClassIn &&
           dns::SameName(q.name, ServiceType());
  });
  if (!same) return;
  // Their known answers must all be ours too, or responders would keep
  // quiet about something we have not heard of.
  for (const dns::Record& k : m.answers) {
    if (!IsServicePtr(k)) continue;
    const CachedRecord* c = cache_.Find(k);
    if (!c || !c->Live(now) || !c->Fresh(now)) return;
  }
  const Millis gap = nextQuery_ - lastQuery_;
  if (nextQuery_ - now <= std::max<Millis>(kFirstInterval, gap / 2)) AdvanceQuery(now);
}

std::optional<Millis> MdnsBrowser::NextWake() const {
  if (!running_) return std::nullopt;
  Millis wake = nextQuery_;
  if (auto due = cache_.NextDue()) wake = std::min(wake, std::max(*due, After(lastWalk_, kWalkGap)));
  if (resolvesDirty_) wake = std::min(wake, After(lastResolveWalk_, kResolveWalkGap));
  for (const auto& [key, resolve] : resolves_)
    if (resolve.attempts < kResolveAttempts) wake = std::min(wake, resolve.next);
  return wake;
}

std::vector<FoundInstance> MdnsBrowser::Found(Millis now) const {
  std::vector<FoundInstance> found;
  for (const CachedRecord* p : cache_.Named(ServiceType(), dns::kTypePtr)) {
    std::string label;
    if (!p->Live(now) || !InstanceLabelOf(p->record.ptr()->target, label)) continue;
    const dns::Name& instance = p->record.ptr()->target;
    if (IsOwn(instance)) continue;
    // The newest SRV that is whole: it came from an address on the link,
    // and the host it names has that address among its own. A forged SRV
    // (from anywhere else) cannot hide the copy's own.
    std::vector<const CachedRecord*> srvs;
    for (const CachedRecord* s : cache_.Named(instance, dns::kTypeSrv))
      if (s->Live(now)) srvs.push_back(s);
    std::sort(srvs.begin(), srvs.end(),
              [](const CachedRecord* a, const CachedRecord* b) { return a->received > b->received; });
    const CachedRecord* srv = nullptr;
    std::vector<const CachedRecord*> as;
    for (const CachedRecord* candidate : srvs) {
      if (!OnLink(link_, candidate->source)) continue;
      as.clear();
      for (const CachedRecord* a : cache_.Named(candidate->record.srv()->target, dns::kTypeA))
        if (a->Live(now)) as.push_back(a);
      if (std::any_of(as.begin(), as.end(),
                      [&](const CachedRecord* a) { return a->record.a()->address == candidate->source; })) {
        srv = candidate;
        break;
      }
    }
    if (!srv) continue;
    const dns::SrvData& data = *srv->record.srv();
    std::stable_sort(as.begin(), as.end(),
                     [](const CachedRecord* a, const CachedRecord* b) { return a->received > b->received; });
    FoundInstance f;
    f.name = label;
    f.host = data.target.ToText();
    f.port = data.port;
    for (const CachedRecord* a : as) f.addresses.push_back(a->record.a()->address);
    f.address = srv->source;
    if (const CachedRecord* txt = NewestLive(instance, dns::kTypeTxt, now)) f.txt = txt->record.txt()->strings;
    found.push_back(std::move(f));
  }
  std::sort(found.begin(), found.end(), [](const FoundInstance& a, const FoundInstance& b) {
    return std::tuple(dns::NameKey(dns::Name{{a.name}}), a.name) < std::tuple(dns::NameKey(dns::Name{{b.name}}), b.name);
  });
  return found;
}

}  // namespace vello::mdns
