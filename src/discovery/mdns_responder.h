#pragma once
// The responder for our own instance, as a state machine with time passed
// in: it probes for its names, announces, answers queries and says goodbye.
//
// Probing: three probes 250 ms apart, the first 0-250 ms after the start. A
// response that holds a record of a name being probed (other than our own
// record) is a conflict: the name changes ("PC01 (2)") and probing starts
// again; after 15 conflicts within 10 s the next attempt waits 5 s. A probe
// from another host for the same name is settled by comparing the records:
// the lower set waits 1 s and probes again.
// Announcing: the records twice, 1 s apart; again on a change of port or
// address; a removed address gets a goodbye.
// Answering: only once the names are ours. Records the querier lists as
// known with at least half their lifetime left are left out. Answers that
// include a shared record wait 20-120 ms (400-500 ms when the querier says
// more known answers follow), so that many responders do not collide;
// answers with unique records only go at once. No record is multicast twice
// within 1 s (250 ms when defending against a probe); a query for a record
// multicast in the last 250 ms crossed that answer on the wire and is
// served by it.
// A later response that contradicts one of our unique records sends us back
// to probing.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/mdns_types.h"
#include "discovery/own_service.h"

namespace vello::mdns {

class MdnsResponder {
 public:
  explicit MdnsResponder(RandomRange random);

  // `service.instance` and `service.host` are the names wanted; they change
  // on conflicts.
  void Start(OwnService service, Millis now);
  void SetPort(std::uint16_t port, Millis now);
  void SetAddresses(std::vector<std::uint32_t> addresses, Millis now);
  // The goodbye (every announced record with lifetime 0) when the names were
  // ours; afterwards the responder is idle.
  std::vector<Datagram> Stop(Millis now);

  void OnQuery(const dns::Message& m, const Endpoint& from, Millis now);
  void OnResponse(const dns::Message& m, Millis now);
  void Poll(Millis now, std::vector<Datagram>& out);
  std::optional<Millis> NextWake() const;

  bool active() const { return state_ != State::Idle; }
  bool owned() const { return state_ == State::Owned; }
  const OwnService& service() const { return service_; }
  int conflicts() const { return conflictCount_; }

 private:
  enum class State { Idle, Probing, Owned };

  void Rebuild();
  void StartProbing(Millis at);
  void Conflict(bool instance, Millis now);
  bool LosesTiebreak(const dns::Message& probe, const dns::Name& name) const;
  bool KnownToQuerier(const dns::Message& m, const dns::Record& r) const;
  void AnswerLegacy(const dns::Message& m, const std::vector<std::size_t>& answers, const Endpoint& from);
  std::string Probe() const;
  std::string Announcement(std::uint32_t ttlOverride, bool goodbye) const;

  RandomRange random_;
  State state_ = State::Idle;
  OwnService wanted_;   // the names asked for at the start
  OwnService service_;  // the names in use
  int instanceTries_ = 1, hostTries_ = 1;
  std::vector<OwnRecord> records_;
  std::vector<std::optional<Millis>> lastMulticast_, pending_;
  int probesSent_ = 0;
  Millis nextProbe_ = 0;
  int announcementsLeft_ = 0;
  Millis nextAnnouncement_ = 0;
  std::vector<Datagram> queued_;  // to go out at the next poll
  std::vector<Millis> recentConflicts_;
  int conflictCount_ = 0;
};

}  // namespace vello::mdns
