#pragma once
// The responder for our own instance, as a state machine with time passed
// in: it probes for its names, announces, answers queries, defends its
// names and says goodbye.
//
// Probing: three probes 250 ms apart, the first 0-250 ms after the start.
// A response that holds another record of a name being probed answers that
// probe; when two of the probes are so answered, another host holds the
// name: it changes ("PC01 (2)") and probing starts again (a single answer,
// which anyone may forge, is not enough). After 15 conflicts within 10 s
// the next attempt waits 5 s. A probe from another host for the same name
// is settled by comparing the records: the lower set waits 1 s and probes
// again.
// Announcing: the records twice, 1 s apart; again on a change of port or
// address; a removed address gets a goodbye.
// Answering: only once the names are ours. Records the querier lists as
// known with at least half their lifetime left are left out. Answers that
// include a shared record wait 20-120 ms (400-500 ms when the querier says
// more known answers follow), so that many responders do not collide;
// answers with unique records only go at once. No record is multicast twice
// within 1 s (250 ms when defending against a probe or a goodbye); a query
// for a record multicast in the last 250 ms crossed that answer on the wire
// and is served by it. Queries from addresses off the link are the
// engine's to drop.
// Defending: a goodbye for one of our records is answered by announcing it
// again; a response that contradicts one of our unique records by
// announcing ours and probing again under the same name (renaming only as
// above).
// Renamed, we ask for the wanted names again after 1 minute, then after
// pauses doubling up to an hour: when three probes for them go unanswered
// they are taken back, with a goodbye for the names left. Leaving a name
// that another host proved to hold, we say goodbye to our records that
// differ from its, and to none that it holds too.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"
#include "discovery/own_service.h"

namespace vello::mdns {

class MdnsResponder {
 public:
  // `port` is the multicast DNS port: queries from any other come from
  // one-shot queriers, who get a unicast answer.
  explicit MdnsResponder(RandomRange random, std::uint16_t port = kPort);

  // `service.instance` and `service.host` are the names wanted; they change
  // on conflicts.
  void Start(OwnService service, Millis now);
  void SetPort(std::uint16_t port, Millis now);
  void SetAddresses(std::vector<std::uint32_t> addresses, Millis now);
  // The goodbye (every announced record with lifetime 0) when the names were
  // announced; afterwards the responder is idle.
  std::vector<Datagram> Stop(Millis now);

  void OnQuery(const dns::Message& m, const Endpoint& from, Millis now);
  void OnResponse(const dns::Message& m, Millis now);
  void Poll(Millis now, std::vector<Datagram>& out);
  std::optional<Millis> NextWake() const;

  bool active() const { return state_ != State::Idle; }
  bool owned() const { return state_ == State::Owned; }
  const OwnService& service() const { return service_; }
  const OwnService& wanted() const { return wanted_; }
  int conflicts() const { return conflictCount_; }

 private:
  enum class State { Idle, Probing, Owned };
  // Probes for the wanted names while we hold others.
  struct Reclaim {
    OwnService candidate;
    std::vector<OwnRecord> records;
    bool instance = false, host = false;  // which names are asked for
    int probesSent = 0;
    Millis next = 0;
  };

  void Rebuild();
  void StartProbing(Millis at);
  void Conflict(bool instance, bool host, Millis now);
  void Defend(Millis now);
  void StartReclaim(Millis now);
  void ReclaimFailed(Millis now);
  void FinishReclaim(Millis now);
  bool LosesTiebreak(const dns::Message& probe, const dns::Name& name,
                     const std::vector<OwnRecord>& records) const;
  bool KnownToQuerier(const dns::Message& m, const dns::Record& r) const;
  void AnswerLegacy(const dns::Message& m, const std::vector<std::size_t>& answers, const Endpoint& from,
                    Millis now);
  static std::string Probe(const OwnService& names, const std::vector<OwnRecord>& records, bool instance,
                           bool host);
  std::string Announcement() const;
  void Goodbye(const std::vector<dns::Record>& records);

  RandomRange random_;
  std::uint16_t port_;
  State state_ = State::Idle;
  OwnService wanted_;   // the names asked for at the start
  OwnService service_;  // the names in use
  int instanceTries_ = 1, hostTries_ = 1;
  std::vector<OwnRecord> records_;
  std::vector<std::optional<Millis>> lastMulticast_, pending_;
  bool announced_ = false;  // the instance's records as they stand went out under its current name
  int probesSent_ = 0;
  Millis nextProbe_ = 0;
  // Probes answered by another host's records, one bit per probe, for each
  // name; and what those answers held.
  unsigned instanceAnswered_ = 0, hostAnswered_ = 0;
  std::vector<dns::Record> heard_;
  int announcementsLeft_ = 0;
  Millis nextAnnouncement_ = 0;
  std::optional<Millis> lastDefence_;
  std::vector<Datagram> queued_;  // to go out at the next poll
  std::vector<Millis> recentConflicts_;
  int conflictCount_ = 0;
  std::optional<Millis> reclaimAt_;
  Millis reclaimPause_ = 0;
  std::optional<Reclaim> reclaim_;
  std::deque<Millis> legacyAnswers_;                // one-shot answers in the last second
  std::map<std::uint32_t, Millis> legacyByQuerier_;  // the last one-shot answer to each querier
};

}  // namespace vello::mdns
