// A multicast DNS packet off the network: any bytes as one datagram. The
// reader either refuses them or gives a message that writes back to the
// same message; the discovery engine takes them without harm and what it
// sends in return is well formed and fits a packet.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/discovery_engine.h"
#include "discovery/dns_message.h"
#include "fuzz_check.h"

namespace {

using namespace vello;

bool SameSection(const std::vector<dns::Record>& a, const std::vector<dns::Record>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!dns::SameRecord(a[i], b[i]) || a[i].ttl != b[i].ttl || a[i].cacheFlush != b[i].cacheFlush) return false;
  return true;
}

void CheckOutgoing(const std::vector<mdns::Datagram>& out) {
  for (const mdns::Datagram& d : out) {
    FUZZ_CHECK(d.bytes.size() <= mdns::kMaxPacketBytes);
    dns::ReadMessage(d.bytes);  // throws, and so fails, if we wrote nonsense
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const dns::Message m = dns::ReadMessage(bytes);
    for (const auto* section : {&m.answers, &m.authorities, &m.additionals})
      for (const dns::Record& r : *section) FUZZ_CHECK(r.name.IsValid());
    for (const dns::Question& q : m.questions) FUZZ_CHECK(q.name.IsValid());
    const dns::Message again = dns::ReadMessage(dns::WriteMessage(m));
    FUZZ_CHECK(again.id == m.id && again.flags == m.flags);
    FUZZ_CHECK(again.questions.size() == m.questions.size());
    for (std::size_t i = 0; i < m.questions.size(); ++i) {
      FUZZ_CHECK(dns::SameName(again.questions[i].name, m.questions[i].name));
      FUZZ_CHECK(again.questions[i].type == m.questions[i].type);
      FUZZ_CHECK(again.questions[i].qclass == m.questions[i].qclass);
      FUZZ_CHECK(again.questions[i].unicastResponse == m.questions[i].unicastResponse);
    }
    FUZZ_CHECK(SameSection(again.answers, m.answers));
    FUZZ_CHECK(SameSection(again.authorities, m.authorities));
    FUZZ_CHECK(SameSection(again.additionals, m.additionals));
  } catch (const dns::MalformedMessage&) {
  }

  // The same bytes as a query or response reaching a running copy, from
  // the multicast port and from a one-shot querier's port.
  mdns::DiscoveryEngine engine(mdns::SeededRandom(size));
  engine.Start({"alpha", 5963, {{0xC6120001, 24}}, "1.5"}, 0);
  CheckOutgoing(engine.Poll(0));
  engine.Receive(bytes, {0xC6120007, mdns::kPort}, 10);
  CheckOutgoing(engine.Poll(10));
  engine.Receive(bytes, {0xC6120007, 40000}, 2000);
  for (mdns::Millis t : {2000, 2500, 3000, 130000}) CheckOutgoing(engine.Poll(t));
  for (const mdns::FoundInstance& f : engine.Found(130000)) {
    FUZZ_CHECK(!f.addresses.empty());
    FUZZ_CHECK(!dns::SameLabel(f.name, engine.instanceName()));  // never ourselves
  }
  CheckOutgoing(engine.Stop(130001));
  return 0;
}
