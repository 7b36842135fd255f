#include "discovery/mdns_responder.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace vello::mdns {

namespace {

constexpr int kProbes = 3;
constexpr Millis kProbeInterval = 250;
constexpr int kAnnouncements = 2;
constexpr Millis kAnnouncementInterval = 1000;
constexpr Millis kRateLimit = 1000;
constexpr Millis kProbeDefenceRateLimit = 250;
constexpr Millis kCrossedWindow = 250;
constexpr Millis kTiebreakLossWait = 1000;
constexpr std::uint32_t kLegacyTtl = 10;  // answers to one-shot queriers
constexpr std::size_t kConflictBurst = 15;
constexpr Millis kConflictWindow = 10000;
constexpr Millis kConflictPause = 5000;

using Key = std::tuple<std::uint16_t, std::uint16_t, std::string>;

Key SortKey(const dns::Record& r) { return {r.rrclass, r.type, dns::RdataBytes(r)}; }

}  // namespace

MdnsResponder::MdnsResponder(RandomRange random) : random_(std::move(random)) {}

void MdnsResponder::Start(OwnService service, Millis now) {
  wanted_ = service;
  service_ = std::move(service);
  instanceTries_ = hostTries_ = 1;
  conflictCount_ = 0;
  recentConflicts_.clear();
  queued_.clear();
  Rebuild();
  StartProbing(now + random_(0, kProbeInterval));
}

void MdnsResponder::Rebuild() {
  records_ = OwnRecords(service_);
  lastMulticast_.assign(records_.size(), std::nullopt);
  pending_.assign(records_.size(), std::nullopt);
}

void MdnsResponder::StartProbing(Millis at) {
  state_ = State::Probing;
  probesSent_ = 0;
  nextProbe_ = at;
  announcementsLeft_ = 0;
  std::fill(pending_.begin(), pending_.end(), std::nullopt);
}

void MdnsResponder::SetPort(std::uint16_t port, Millis now) {
  if (port == service_.port) return;
  wanted_.port = service_.port = port;
  if (state_ == State::Idle) return;
  Rebuild();
  if (state_ == State::Owned) {
    announcementsLeft_ = kAnnouncements;
    nextAnnouncement_ = now;
  }
}

void MdnsResponder::SetAddresses(std::vector<std::uint32_t> addresses, Millis now) {
  if (addresses == service_.addresses) return;
  if (state_ == State::Owned) {
    dns::MessageWriter goodbye(0, dns::kFlagResponse | dns::kFlagAuthoritative);
    for (std::uint32_t old : service_.addresses)
      if (std::find(addresses.begin(), addresses.end(), old) == addresses.end())
        goodbye.AddAnswer(dns::MakeA(HostName(service_.host), old, 0, true), kMaxPacketBytes);
    if (goodbye.recordCount() > 0) queued_.push_back({goodbye.bytes(), true, {}});
  }
  wanted_.addresses = service_.addresses = std::move(addresses);
  if (state_ == State::Idle) return;
  Rebuild();
  if (state_ == State::Owned) {
    announcementsLeft_ = kAnnouncements;
    nextAnnouncement_ = now;
  }
}

std::vector<Datagram> MdnsResponder::Stop(Millis) {
  std::vector<Datagram> out;
  if (state_ == State::Owned) out.push_back({Announcement(0, true), true, {}});
  state_ = State::Idle;
  queued_.clear();
  std::fill(pending_.begin(), pending_.end(), std::nullopt);
  return out;
}

bool MdnsResponder::KnownToQuerier(const dns::Message& m, const dns::Record& r) const {
  for (const dns::Record& k : m.answers)
    if (k.ttl >= r.ttl / 2 && dns::SameRecord(k, r)) return true;
  return false;
}

void MdnsResponder::OnQuery(const dns::Message& m, const Endpoint& from, Millis now) {
  if (state_ == State::Idle || m.Opcode() != 0) return;
  if (state_ == State::Probing) {
    if (!m.authorities.empty() && (LosesTiebreak(m, InstanceName(service_.instance)) ||
                                   LosesTiebreak(m, HostName(service_.host))))
      StartProbing(now + kTiebreakLossWait);
    return;
  }
  const bool legacy = from.port != kPort;
  const bool probe = !m.authorities.empty();
  // Known answers also cancel answers already waiting: a querier whose list
  // did not fit one packet sends the rest in the packets that follow.
  if (!legacy)
    for (std::size_t i = 0; i < records_.size(); ++i)
      if (pending_[i] && KnownToQuerier(m, records_[i].record)) pending_[i].reset();

  std::vector<std::size_t> matched;
  for (const dns::Question& q : m.questions) {
    if (q.qclass != dns::kClassIn && q.qclass != dns::kClassAny) continue;
    for (std::size_t i = 0; i < records_.size(); ++i)
      if (dns::Answers(records_[i].record, q) && !KnownToQuerier(m, records_[i].record) &&
          std::find(matched.begin(), matched.end(), i) == matched.end())
        matched.push_back(i);
  }
  if (matched.empty()) return;
  if (legacy) {
    AnswerLegacy(m, matched, from);
    return;
  }
  const bool shared = std::any_of(matched.begin(), matched.end(), [&](std::size_t i) {
    return !records_[i].record.cacheFlush;
  });
  const Millis delay = m.IsTruncated() ? random_(400, 500) : shared ? random_(20, 120) : 0;
  for (std::size_t i : matched) {
    Millis due = now + delay;
    if (lastMulticast_[i]) {
      // A query that crossed our answer on the wire is served by it.
      if (!probe && now - *lastMulticast_[i] <= kCrossedWindow) continue;
      due = std::max(due, *lastMulticast_[i] + (probe ? kProbeDefenceRateLimit : kRateLimit));
    }
    pending_[i] = pending_[i] ? std::min(*pending_[i], due) : due;
  }
}

void MdnsResponder::AnswerLegacy(const dns::Message& m, const std::vector<std::size_t>& answers,
                                 const Endpoint& from) {
  // A one-shot querier (not on port 5353) gets a plain unicast DNS answer:
  // its id and questions, short lifetimes, no cache-flush bits.
  dns::MessageWriter w(m.id, dns::kFlagResponse | dns::kFlagAuthoritative);
  for (const dns::Question& q : m.questions)
    if (!w.AddQuestion(q, kMaxPacketBytes)) return;
  auto legacyCopy = [](dns::Record r) {
    r.ttl = std::min(r.ttl, kLegacyTtl);
    r.cacheFlush = false;
    return r;
  };
  std::vector<std::size_t> added = answers;
  for (std::size_t i : answers) w.AddAnswer(legacyCopy(records_[i].record), kMaxPacketBytes);
  for (std::size_t i : answers)
    for (std::size_t extra : AdditionalsFor(records_, i))
      if (std::find(added.begin(), added.end(), extra) == added.end()) {
        added.push_back(extra);
        w.AddAdditional(legacyCopy(records_[extra].record), kMaxPacketBytes);
      }
  queued_.push_back({w.bytes(), false, from});
}

void MdnsResponder::OnResponse(const dns::Message& m, Millis now) {
  if (state_ == State::Idle) return;
  const dns::Name instance = InstanceName(service_.instance);
  const dns::Name host = HostName(service_.host);
  for (const auto* section : {&m.answers, &m.authorities, &m.additionals}) {
    for (const dns::Record& r : *section) {
      const bool forInstance = dns::SameName(r.name, instance);
      if (!forInstance && !dns::SameName(r.name, host)) continue;
      // A goodbye claims nothing; an identical record is ours coming back
      // or a copy that does not contradict us.
      if (r.ttl == 0 || r.rrclass != dns::kClassIn) continue;
      if (std::any_of(records_.begin(), records_.end(),
                      [&](const OwnRecord& own) { return dns::SameRecord(own.record, r); }))
        continue;
      if (state_ == State::Probing) {
        Conflict(forInstance, now);
        return;
      }
      const bool contradicts = std::any_of(records_.begin(), records_.end(), [&](const OwnRecord& own) {
        return own.record.cacheFlush && own.record.type == r.type && dns::SameName(own.record.name, r.name);
      });
      if (contradicts) {
        StartProbing(now);  // probing again settles who keeps the name
        return;
      }
    }
  }
}

void MdnsResponder::Conflict(bool instance, Millis now) {
  ++conflictCount_;
  recentConflicts_.push_back(now);
  std::erase_if(recentConflicts_, [&](Millis t) { return now - t > kConflictWindow; });
  if (instance) service_.instance = RenamedInstance(wanted_.instance, ++instanceTries_);
  else service_.host = RenamedHost(wanted_.host, ++hostTries_);
  Rebuild();
  StartProbing(recentConflicts_.size() >= kConflictBurst ? now + kConflictPause
                                                         : now + random_(0, kProbeInterval));
}

bool MdnsResponder::LosesTiebreak(const dns::Message& probe, const dns::Name& name) const {
  std::vector<Key> theirs, ours;
  for (const dns::Record& r : probe.authorities)
    if (dns::SameName(r.name, name)) theirs.push_back(SortKey(r));
  if (theirs.empty()) return false;
  for (const OwnRecord& own : records_)
    if (own.record.cacheFlush && dns::SameName(own.record.name, name)) ours.push_back(SortKey(own.record));
  std::sort(theirs.begin(), theirs.end());
  std::sort(ours.begin(), ours.end());
  // The first difference decides; a set that runs out first loses; equal
  // sets are no conflict at all (our own probe coming back, say).
  return std::lexicographical_compare(ours.begin(), ours.end(), theirs.begin(), theirs.end());
}

std::string MdnsResponder::Probe() const {
  dns::MessageWriter w(0, 0);
  w.AddQuestion({InstanceName(service_.instance), dns::kTypeAny, dns::kClassIn, false});
  w.AddQuestion({HostName(service_.host), dns::kTypeAny, dns::kClassIn, false});
  for (const OwnRecord& own : records_)
    if (own.record.cacheFlush) w.AddAuthority(own.record, kMaxPacketBytes);
  return w.bytes();
}

std::string MdnsResponder::Announcement(std::uint32_t ttl, bool goodbye) const {
  dns::MessageWriter w(0, dns::kFlagResponse | dns::kFlagAuthoritative);
  for (const OwnRecord& own : records_) {
    if (!own.announced) continue;
    dns::Record r = own.record;
    if (goodbye) r.ttl = ttl;
    w.AddAnswer(r, kMaxPacketBytes);
  }
  return w.bytes();
}

void MdnsResponder::Poll(Millis now, std::vector<Datagram>& out) {
  for (Datagram& d : queued_) out.push_back(std::move(d));
  queued_.clear();
  if (state_ == State::Probing && now >= nextProbe_) {
    if (probesSent_ < kProbes) {
      out.push_back({Probe(), true, {}});
      ++probesSent_;
      nextProbe_ = now + kProbeInterval;
    } else {
      state_ = State::Owned;
      announcementsLeft_ = kAnnouncements;
      nextAnnouncement_ = now;
    }
  }
  if (state_ != State::Owned) return;
  if (announcementsLeft_ > 0 && now >= nextAnnouncement_) {
    out.push_back({Announcement(0, false), true, {}});
    for (std::size_t i = 0; i < records_.size(); ++i)
      if (records_[i].announced) {
        lastMulticast_[i] = now;
        pending_[i].reset();
      }
    --announcementsLeft_;
    nextAnnouncement_ = now + kAnnouncementInterval;
  }
  std::vector<std::size_t> due;
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (pending_[i] && *pending_[i] <= now) due.push_back(i);
  while (!due.empty()) {
    dns::MessageWriter w(0, dns::kFlagResponse | dns::kFlagAuthoritative);
    std::vector<std::size_t> sent;
    for (std::size_t i : due) {
      if (!w.AddAnswer(records_[i].record, kMaxPacketBytes)) break;
      sent.push_back(i);
    }
    if (sent.empty()) break;  // cannot happen with our few small records
    std::vector<std::size_t> added = sent;
    for (std::size_t i : sent)
      for (std::size_t extra : AdditionalsFor(records_, i))
        if (std::find(added.begin(), added.end(), extra) == added.end()) {
          added.push_back(extra);
          w.AddAdditional(records_[extra].record, kMaxPacketBytes);
        }
    for (std::size_t i : sent) {
      lastMulticast_[i] = now;
      pending_[i].reset();
    }
    out.push_back({w.bytes(), true, {}});
    due.erase(due.begin(), due.begin() + static_cast<std::ptrdiff_t>(sent.size()));
  }
}

std::optional<Millis> MdnsResponder::NextWake() const {
  if (!queued_.empty()) return std::numeric_limits<Millis>::min();
  std::optional<Millis> wake;
  auto consider = [&](Millis t) { wake = wake ? std::min(*wake, t) : t; };
  if (state_ == State::Probing) consider(nextProbe_);
  if (state_ == State::Owned) {
    if (announcementsLeft_ > 0) consider(nextAnnouncement_);
    for (const auto& p : pending_)
      if (p) consider(*p);
  }
  return wake;
}

}  // namespace vello::mdns
