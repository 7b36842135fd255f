#include "discovery/dns_update.h"

#include "discovery/unicast_query.h"

namespace vello::dns {

namespace {

constexpr std::uint16_t kUpdateFlags = static_cast<std::uint16_t>(kOpcodeUpdate << 11);

Name Joined(const char* dotted, const Name& zone) {
  Name n = Name::FromDotted(dotted);
  n.labels.insert(n.labels.end(), zone.labels.begin(), zone.labels.end());
  return n;
}

// A record of no data: RFC 2136's form for "RRset does not exist", "name
// not in use" (class NONE) and for deleting an RRset or a name (class ANY).
Record Empty(const Name& name, std::uint16_t type, std::uint16_t rrclass) {
  return Record{name, type, rrclass, false, 0, RawData{}};
}

// SRV data is written uncompressed (RFC 2782); servers refuse a compressed
// target in an update.
Record OurSrv(const Registration& r, std::uint32_t ttl) {
  Record srv = MakeSrv(r.InstanceName(), r.port, r.host, ttl, false);
  srv.data = RawData{RdataBytes(srv)};
  return srv;
}

MessageWriter Start(std::uint16_t id, const Registration& r) {
  if (!r.InstanceName().IsValid() || !r.host.IsValid())
    throw std::invalid_argument("DNS update: name too long for the zone");
  MessageWriter w(id, kUpdateFlags);
  w.AddQuestion(Question{r.zone, kTypeSoa, kClassIn, false});
  return w;
}

void AddOurRecords(MessageWriter& w, const Registration& r) {
  w.AddAuthority(MakePtr(r.ServiceName(), r.InstanceName(), r.ttl));
  w.AddAuthority(OurSrv(r, r.ttl));
  w.AddAuthority(Empty(r.InstanceName(), kTypeTxt, kClassAny));
  w.AddAuthority(MakeTxt(r.InstanceName(), {"ver=" + r.version}, r.ttl, false));
  // The host's addresses are ours alone: what an earlier run left goes.
  w.AddAuthority(Empty(r.host, kTypeA, kClassAny));
  w.AddAuthority(MakeA(r.host, r.address, r.ttl, false));
}

}  // namespace

Name Registration::ServiceName() const { return Joined("_vello._tcp", zone); }
Name Registration::InstanceName() const { return ServiceName().WithFirstLabel(instanceLabel); }

std::string BuildRegister(std::uint16_t id, const Registration& r) {
  MessageWriter w = Start(id, r);
  w.AddAnswer(Empty(r.InstanceName(), kTypeAny, kClassNone));
  AddOurRecords(w, r);
  return w.bytes();
}

std::string BuildRefresh(std::uint16_t id, const Registration& r) {
  MessageWriter w = Start(id, r);
  w.AddAnswer(OurSrv(r, 0));
  AddOurRecords(w, r);
  return w.bytes();
}

std::string BuildDelete(std::uint16_t id, const Registration& r) {
  MessageWriter w = Start(id, r);
  w.AddAnswer(OurSrv(r, 0));
  // Our pointer only: the service's name holds every other copy's too.
  Record ptr = MakePtr(r.ServiceName(), r.InstanceName(), 0);
  ptr.rrclass = kClassNone;
  w.AddAuthority(ptr);
  w.AddAuthority(Empty(r.InstanceName(), kTypeAny, kClassAny));
  w.AddAuthority(Empty(r.host, kTypeA, kClassAny));
  return w.bytes();
}

UpdateAnswer ReadUpdateAnswer(std::string_view bytes, std::uint16_t id, const Name& zone) {
  UpdateAnswer result;
  Message m;
  try {
    m = ReadMessage(bytes);
  } catch (const MalformedMessage&) {
    return result;
  }
  // A server may leave the zone section out of an error answer (FORMERR,
  // NOTIMP); one that gives it must give ours.
  const bool zoneMatches = m.questions.empty() || (m.questions.size() == 1 && m.questions[0].type == kTypeSoa &&
                                                   SameName(m.questions[0].name, zone));
  if (!m.IsResponse() || m.id != id || m.Opcode() != kOpcodeUpdate || !zoneMatches) {
    result.outcome = UpdateAnswer::Outcome::NotOurs;
    return result;
  }
  result.outcome = UpdateAnswer::Outcome::Answered;
  result.rcode = m.Rcode();
  return result;
}

}  // namespace vello::dns
