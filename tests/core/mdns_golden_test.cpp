// Our packets byte for byte, as python3-zeroconf read them when the
// fixtures were made (tests/data/mdns/make_fixtures.py): a change in what we
// send fails here until zeroconf has read the new bytes. Run with
// VELLO_UPDATE_MDNS_FIXTURES=1 to write the bins, then the script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/discovery_engine.h"
#include "mdns_fixtures.h"

using namespace vello;
using namespace vello::mdns;
using namespace vello::mdns::testing;

namespace {

// Every random delay at its lower bound: the packets are the same each run.
RandomRange Lowest() {
  return [](Millis lo, Millis) { return lo; };
}

void ExpectGolden(const std::string& stem, const std::string& bytes) {
  SCOPED_TRACE(stem);
  if (std::getenv("VELLO_UPDATE_MDNS_FIXTURES")) {
    std::ofstream(FixturePath(stem + ".bin"), std::ios::binary) << bytes;
    return;
  }
  EXPECT_EQ(Hex(ReadFixture(stem + ".bin")), Hex(bytes));
  // zeroconf's reading, made of exactly these bytes.
  std::string reading = ReadFixture(stem + ".zeroconf.txt");
  EXPECT_EQ(reading.substr(0, reading.find('\n')), "bytes " + Hex(bytes));
}

const Endpoint kZeroconf{Ip(198, 18, 0, 7), kPort};

}  // namespace

// Polls at every wake up to `until`; returns what went out.
std::vector<Datagram> RunTo(DiscoveryEngine& e, Millis until) {
  std::vector<Datagram> sent;
  while (auto wake = e.NextWake()) {
    if (*wake > until) break;
    for (Datagram& d : e.Poll(*wake)) sent.push_back(std::move(d));
  }
  return sent;
}

const Datagram& Only(const std::vector<Datagram>& sent, bool response, std::size_t additionals = 0) {
  static const Datagram none;
  for (const Datagram& d : sent) {
    dns::Message m = dns::ReadMessage(d.bytes);
    if (m.IsResponse() == response && m.additionals.size() == additionals) return d;
  }
  ADD_FAILURE() << "no such packet";
  return none;
}

TEST(MdnsGolden, OurPacketsAsZeroconfReadThem) {
  DiscoveryEngine alpha(Lowest());
  alpha.Start({"alpha", 5963, {{Ip(198, 18, 0, 1), 24}}, "1.5"}, 0);
  std::vector<Datagram> out = RunTo(alpha, 0);
  ASSERT_EQ(out.size(), 1u);
  ExpectGolden("vello_probe", out[0].bytes);

  // zeroconf's own announcement arrives; our first query lists it as known.
  alpha.Receive(ReadFixture("zeroconf_announcement.bin"), kZeroconf, 10);
  out = RunTo(alpha, 20);
  ASSERT_EQ(out.size(), 1u);
  ExpectGolden("vello_query", out[0].bytes);

  out = RunTo(alpha, 750);
  ASSERT_EQ(out.size(), 3u);  // two more probes, then the first announcement
  ExpectGolden("vello_announcement", out[2].bytes);

  // zeroconf asks for the service; we answer when the rate limit allows,
  // with the SRV, TXT and address as additional records.
  RunTo(alpha, 2499);
  alpha.Receive(ReadFixture("zeroconf_query_qm.bin"), kZeroconf, 2500);
  out = RunTo(alpha, 2800);
  ExpectGolden("vello_answer", Only(out, true, 3).bytes);

  // A one-shot querier on another port.
  dns::MessageWriter legacy(0x1234, 0);
  legacy.AddQuestion({ServiceType(), dns::kTypePtr, dns::kClassIn, false});
  alpha.Receive(legacy.bytes(), {Ip(198, 18, 0, 9), 40000}, 2900);
  out = RunTo(alpha, 2900);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FALSE(out[0].multicast);
  EXPECT_EQ(out[0].to, (Endpoint{Ip(198, 18, 0, 9), 40000}));
  ExpectGolden("vello_legacy_answer", out[0].bytes);

  out = alpha.Stop(4000);
  ASSERT_EQ(out.size(), 1u);
  ExpectGolden("vello_goodbye", out[0].bytes);

  // A computer name in Japanese ("経理のPC" in UTF-8).
  DiscoveryEngine kanji(Lowest());
  kanji.Start({"\xE7\xB5\x8C\xE7\x90\x86\xE3\x81\xAE" "PC", 6000, {{Ip(198, 18, 0, 2), 24}}, "1.5"}, 0);
  out = RunTo(kanji, 750);
  ExpectGolden("vello_japanese_announcement", Only(out, true).bytes);
}
