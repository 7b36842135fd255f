#include "discovery/mdns_responder.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <tuple>

namespace vello::mdns {

namespace {

constexpr int kProbes = 3;
constexpr Millis kProbeInterval = 250;
constexpr int kAnnouncements = 2;
constexpr Millis kAnnouncementInterval = 1000;
constexpr Millis kRateLimit = 1000;
constexpr Millis kDefenceRateLimit = 250;
constexpr Millis kCrossedWindow = 250;
constexpr Millis kTiebreakLossWait = 1000;
constexpr std::uint32_t kLegacyTtl = 10;  // answers to one-shot queriers
constexpr std::size_t kConflictBurst = 15;
constexpr Millis kConflictWindow = 10000;
constexpr Millis kConflictPause = 5000;
constexpr int kAnsweredProbesToYield = 2;
constexpr Millis kFirstReclaim = 60 * 1000;
constexpr Millis kMaxReclaimPause = 3600 * 1000;
// One-shot queriers: an answer per querier every 250 ms, 20 a second in all.
constexpr Millis kLegacyGap = 250;
constexpr std::size_t kLegacyPerSecond = 20;

using Key = std::tuple<std::uint16_t, std::uint16_t, std::string>;

Key SortKey(const dns::Record& r) { return {r.rrclass, r.type, dns::RdataBytes(r)}; }

bool SameAsAny(const dns::Record& r, const std::vector<OwnRecord>& records) {
  return std::any_of(records.begin(), records.end(),
                     [&](const OwnRecord& own) { return dns::SameRecord(own.record, r); });
}

}  // namespace

MdnsResponder::MdnsResponder(RandomRange random, std::uint16_t port) : random_(std::move(random)), port_(port) {}

void MdnsResponder::Start(OwnService service, Millis now) {
  wanted_ = service;
  service_ = std::move(service);
  instanceTries_ = hostTries_ = 1;
  conflictCount_ = 0;
  recentConflicts_.clear();
  queued_.clear();
  announced_ = false;
  lastDefence_.reset();
  reclaim_.reset();
  reclaimAt_.reset();
  reclaimPause_ = kFirstReclaim;
  legacyAnswers_.clear();
  legacyByQuerier_.clear();
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
  instanceAnswered_ = hostAnswered_ = 0;
  heard_.clear();
  reclaim_.reset();
  std::fill(pending_.begin(), pending_.end(), std::nullopt);
}

void MdnsResponder::SetPort(std::uint16_t port, Millis now) {
  if (port == service_.port) return;
  wanted_.port = service_.port = port;
  if (state_ == State::Idle) return;
  reclaim_.reset();  // its records held the old port: asked again at the next turn
  Rebuild();
  if (state_ == State::Owned) {
    announcementsLeft_ = kAnnouncements;
    nextAnnouncement_ = now;
  }
}

void MdnsResponder::SetAddresses(std::vector<std::uint32_t> addresses, Millis now) {
  if (addresses == service_.addresses) return;
  if (state_ != State::Idle && announced_) {
    std::vector<dns::Record> gone;
    for (std::uint32_t old : service_.addresses)
      if (std::find(addresses.begin(), addresses.end(), old) == addresses.end())
        gone.push_back(dns::MakeA(HostName(service_.host), old, 0, true));
    Goodbye(gone);
  }
  wanted_.addresses = service_.addresses = std::move(addresses);
  if (state_ == State::Idle) return;
  reclaim_.reset();
  Rebuild();
  if (state_ == State::Owned) {
    announcementsLeft_ = kAnnouncements;
    nextAnnouncement_ = now;
  }
}

std::vector<Datagram> MdnsResponder::Stop(Millis) {
  std::vector<Datagram> out;
  if (state_ != State::Idle && announced_) {
    std::vector<dns::Record> all;
    for (const OwnRecord& own : records_)
      if (own.announced) all.push_back(own.record);
    queued_.clear();
    Goodbye(all);
    out = std::move(queued_);
  }
  state_ = State::Idle;
  queued_.clear();
  reclaim_.reset();
  std::fill(pending_.begin(), pending_.end(), std::nullopt);
  return out;
}

void MdnsResponder::Goodbye(const std::vector<dns::Record>& records) {
  dns::MessageWriter w(0, dns::kFlagResponse | dns::kFlagAuthoritative);
  for (dns::Record r : records) {
    r.ttl = 0;
    if (!w.AddAnswer(r, kMaxPacketBytes)) {
      queued_.push_back({w.bytes(), true, {}});
      w = dns::MessageWriter(0, dns::kFlagResponse | dns::kFlagAuthoritative);
      w.AddAnswer(r, kMaxPacketBytes);
    }
  }
  if (w.recordCount() > 0) queued_.push_back({w.bytes(), true, {}});
}

bool MdnsResponder::KnownToQuerier(const dns::Message& m, const dns::Record& r) const {
  for (const dns::Record& k : m.answers)
    if (k.ttl >= r.ttl / 2 && dns::SameRecord(k, r)) return true;
  return false;
}

void MdnsResponder::OnQuery(const dns::Message& m, const Endpoint& from, Millis now) {
  if (state_ == State::Idle || m.Opcode() != 0) return;
  const bool probe = !m.authorities.empty();
  // Another host probing for a name we want back claims it first.
  if (reclaim_ && probe &&
      ((reclaim_->instance && LosesTiebreak(m, InstanceName(reclaim_->candidate.instance), reclaim_->records)) ||
       (reclaim_->host && LosesTiebreak(m, HostName(reclaim_->candidate.host), reclaim_->records)) ||
       std::any_of(m.authorities.begin(), m.authorities.end(), [&](const dns::Record& r) {
         return ((reclaim_->instance && dns::SameName(r.name, InstanceName(reclaim_->candidate.instance))) ||
                 (reclaim_->host && dns::SameName(r.name, HostName(reclaim_->candidate.host)))) &&
                !SameAsAny(r, reclaim_->records);
       })))
    ReclaimFailed(now);
  if (state_ == State::Probing) {
    if (probe && (LosesTiebreak(m, InstanceName(service_.instance), records_) ||
                  LosesTiebreak(m, HostName(service_.host), records_)))
      StartProbing(now + kTiebreakLossWait);
    return;
  }
  const bool legacy = from.port != port_;
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
    AnswerLegacy(m, matched, from, now);
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
      due = std::max(due, *lastMulticast_[i] + (probe ? kDefenceRateLimit : kRateLimit));
    }
    pending_[i] = pending_[i] ? std::min(*pending_[i], due) : due;
  }
}

void MdnsResponder::AnswerLegacy(const dns::Message& m, const std::vector<std::size_t>& answers,
                                 const Endpoint& from, Millis now) {
  // A share for each querier and a bound for all: a flood of one-shot
  // queries must not become a flood of our answers.
  std::erase_if(legacyAnswers_, [&](Millis t) { return now - t >= 1000; });
  if (legacyByQuerier_.size() > 256)
    std::erase_if(legacyByQuerier_, [&](const auto& entry) { return now - entry.second >= kLegacyGap; });
  auto last = legacyByQuerier_.find(from.address);
  if (legacyAnswers_.size() >= kLegacyPerSecond || (last != legacyByQuerier_.end() && now - last->second < kLegacyGap))
    return;
  legacyAnswers_.push_back(now);
  legacyByQuerier_[from.address] = now;
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
      if (r.rrclass != dns::kClassIn) continue;
      // Someone answering for a name we want back holds it still.
      if (reclaim_ && r.ttl > 0 &&
          ((reclaim_->instance && dns::SameName(r.name, InstanceName(reclaim_->candidate.instance))) ||
           (reclaim_->host && dns::SameName(r.name, HostName(reclaim_->candidate.host)))) &&
          !SameAsAny(r, reclaim_->records))
        ReclaimFailed(now);
      if (r.ttl == 0) {
        // A goodbye for one of our live records (the pointer to our
        // instance too), and not from us: it stays ours, and the others
        // hear so again.
        if (state_ != State::Owned) continue;
        for (std::size_t i = 0; i < records_.size(); ++i)
          if (records_[i].announced && dns::SameRecord(records_[i].record, r)) {
            Millis due = now;
            if (lastMulticast_[i]) due = std::max(due, *lastMulticast_[i] + kDefenceRateLimit);
            pending_[i] = pending_[i] ? std::min(*pending_[i], due) : due;
          }
        continue;
      }
      const bool forInstance = dns::SameName(r.name, instance);
      if (!forInstance && !dns::SameName(r.name, host)) continue;
      // An identical record is ours coming back or a copy that does not
      // contradict us.
      if (SameAsAny(r, records_)) continue;
      if (state_ == State::Probing) {
        // Before our first probe nobody can have answered it.
        if (probesSent_ == 0) continue;
        const unsigned bit = 1u << (probesSent_ - 1);
        (forInstance ? instanceAnswered_ : hostAnswered_) |= bit;
        heard_.push_back(r);
        continue;
      }
      const bool contradicts = std::any_of(records_.begin(), records_.end(), [&](const OwnRecord& own) {
        return own.record.cacheFlush && own.record.type == r.type && dns::SameName(own.record.name, r.name);
      });
      if (contradicts) {
        Defend(now);
        return;
      }
    }
  }
  if (state_ == State::Probing) {
    const bool instanceTaken = std::popcount(instanceAnswered_) >= kAnsweredProbesToYield;
    const bool hostTaken = std::popcount(hostAnswered_) >= kAnsweredProbesToYield;
    if (instanceTaken || hostTaken) Conflict(instanceTaken, hostTaken, now);
  }
}

void MdnsResponder::Defend(Millis now) {
  // Our records go out again at once, so that caches flush the other's,
  // and probing settles whether another host really holds the name.
  if (!lastDefence_ || now - *lastDefence_ >= kDefenceRateLimit) {
    queued_.push_back({Announcement(), true, {}});
    lastDefence_ = now;
  }
  StartProbing(now + random_(0, kProbeInterval));
}

void MdnsResponder::Conflict(bool instance, bool host, Millis now) {
  ++conflictCount_;
  recentConflicts_.push_back(now);
  std::erase_if(recentConflicts_, [&](Millis t) { return now - t > kConflictWindow; });
  if (announced_) {
    // The others may hold what we announced under the name we leave: our
    // records that differ from the other owner's go with a goodbye. Records
    // it holds too (the pointer to the instance, an equal TXT) stay, as
    // they are its.
    std::vector<dns::Record> leaving;
    for (const OwnRecord& own : records_) {
      const dns::Record& r = own.record;
      const bool lost = (instance && dns::SameName(r.name, InstanceName(service_.instance))) ||
                        (host && dns::SameName(r.name, HostName(service_.host)));
      if (!own.announced || !r.cacheFlush || !lost) continue;
      if (std::any_of(heard_.begin(), heard_.end(), [&](const dns::Record& theirs) {
            return theirs.type == r.type && dns::SameName(theirs.name, r.name);
          }))
        leaving.push_back(r);
    }
    Goodbye(leaving);
  }
  if (instance) {
    service_.instance = RenamedInstance(wanted_.instance, ++instanceTries_);
    announced_ = false;
  }
  if (host) service_.host = RenamedHost(wanted_.host, ++hostTries_);
  Rebuild();
  StartProbing(recentConflicts_.size() >= kConflictBurst ? now + kConflictPause
                                                         : now + random_(0, kProbeInterval));
}

void MdnsResponder::StartReclaim(Millis now) {
  reclaimAt_.reset();
  Reclaim r;
  r.candidate = service_;
  r.instance = service_.instance != wanted_.instance;
  r.host = service_.host != wanted_.host;
  if (!r.instance && !r.host) return;
  if (r.instance) r.candidate.instance = wanted_.instance;
  if (r.host) r.candidate.host = wanted_.host;
  r.records = OwnRecords(r.candidate);
  r.next = now;
  reclaim_ = std::move(r);
}

void MdnsResponder::ReclaimFailed(Millis now) {
  if (!reclaim_) return;
  reclaim_.reset();
  reclaimPause_ = std::min(reclaimPause_ * 2, kMaxReclaimPause);
  reclaimAt_ = now + reclaimPause_;
}

void MdnsResponder::FinishReclaim(Millis now) {
  Reclaim r = std::move(*reclaim_);
  reclaim_.reset();
  // Goodbye to every record of the names we leave; the wanted names'
  // records replace them.
  std::vector<dns::Record> leaving;
  for (const OwnRecord& own : records_)
    if (own.announced && !SameAsAny(own.record, r.records)) leaving.push_back(own.record);
  Goodbye(leaving);
  service_ = std::move(r.candidate);
  if (r.instance) {
    instanceTries_ = 1;
    announced_ = false;
  }
  if (r.host) hostTries_ = 1;
  reclaimPause_ = kFirstReclaim;
  Rebuild();
  announcementsLeft_ = kAnnouncements;
  nextAnnouncement_ = now;
}

bool MdnsResponder::LosesTiebreak(const dns::Message& probe, const dns::Name& name,
                                  const std::vector<OwnRecord>& records) const {
  std::vector<Key> theirs, ours;
  for (const dns::Record& r : probe.authorities)
    if (dns::SameName(r.name, name)) theirs.push_back(SortKey(r));
  if (theirs.empty()) return false;
  for (const OwnRecord& own : records)
    if (own.record.cacheFlush && dns::SameName(own.record.name, name)) ours.push_back(SortKey(own.record));
  std::sort(theirs.begin(), theirs.end());
  std::sort(ours.begin(), ours.end());
  // The first difference decides; a set that runs out first loses; equal
  // sets are no conflict at all (our own probe coming back, say).
  return std::lexicographical_compare(ours.begin(), ours.end(), theirs.begin(), theirs.end());
}

std::string MdnsResponder::Probe(const OwnService& names, const std::vector<OwnRecord>& records, bool instance,
                                 bool host) {
  dns::MessageWriter w(0, 0);
  if (instance) w.AddQuestion({InstanceName(names.instance), dns::kTypeAny, dns::kClassIn, false});
  if (host) w.AddQuestion({HostName(names.host), dns::kTypeAny, dns::kClassIn, false});
  for (const OwnRecord& own : records) {
    if (!own.record.cacheFlush) continue;
    const bool probed = (instance && dns::SameName(own.record.name, InstanceName(names.instance))) ||
                        (host && dns::SameName(own.record.name, HostName(names.host)));
    if (probed) w.AddAuthority(own.record, kMaxPacketBytes);
  }
  return w.bytes();
}

std::string MdnsResponder::Announcement() const {
  dns::MessageWriter w(0, dns::kFlagResponse | dns::kFlagAuthoritative);
  for (const OwnRecord& own : records_)
    if (own.announced) w.AddAnswer(own.record, kMaxPacketBytes);
  return w.bytes();
}

void MdnsResponder::Poll(Millis now, std::vector<Datagram>& out) {
  for (Datagram& d : queued_) out.push_back(std::move(d));
  queued_.clear();
  if (state_ == State::Probing && now >= nextProbe_) {
    if (probesSent_ < kProbes) {
      out.push_back({Probe(service_, records_, true, true), true, {}});
      ++probesSent_;
      nextProbe_ = now + kProbeInterval;
    } else {
      state_ = State::Owned;
      announcementsLeft_ = kAnnouncements;
      nextAnnouncement_ = now;
      if ((service_.instance != wanted_.instance || service_.host != wanted_.host) && !reclaimAt_)
        reclaimAt_ = now + reclaimPause_;
    }
  }
  if (state_ != State::Owned) return;
  if (reclaimAt_ && now >= *reclaimAt_ && !reclaim_) StartReclaim(now);
  if (reclaim_ && now >= reclaim_->next) {
    if (reclaim_->probesSent < kProbes) {
      out.push_back({Probe(reclaim_->candidate, reclaim_->records, reclaim_->instance, reclaim_->host), true, {}});
      ++reclaim_->probesSent;
      reclaim_->next = now + kProbeInterval;
    } else {
      FinishReclaim(now);  // the goodbye for the names left goes first
      for (Datagram& d : queued_) out.push_back(std::move(d));
      queued_.clear();
    }
  }
  if (announcementsLeft_ > 0 && now >= nextAnnouncement_) {
    out.push_back({Announcement(), true, {}});
    announced_ = true;
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
    if (reclaimAt_ && !reclaim_) consider(*reclaimAt_);
    if (reclaim_) consider(reclaim_->next);
    for (const auto& p : pending_)
      if (p) consider(*p);
  }
  return wake;
}

}  // namespace vello::mdns
