// Copies of the discovery engine on a simulated link: how fast they find
// each other, how they drop one that leaves, that many starting together
// make no storm, and that clashing names are settled.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "mdns_fixtures.h"
#include "mdns_sim_lan.h"

using namespace vello;
using namespace vello::mdns;
using namespace vello::mdns::testing;

namespace {

bool Lists(SimLan& lan, const SimLan::Copy& c, const std::string& name) {
  std::vector<std::string> names = lan.Listed(c);
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The first time (in 10 ms steps up to `until`) at which `done` holds.
template <typename F>
Millis FirstTime(SimLan& lan, Millis until, F done) {
  for (Millis t = lan.now(); t <= until; t += 10) {
    lan.RunUntil(t);
    if (done()) return t;
  }
  return -1;
}

}  // namespace

TEST(DiscoveryLan, ThreeCopiesFindEachOtherAndDropAnOrderlyExitWithinTwoSeconds) {
  SimLan lan;
  auto& a = lan.Add("pc-a", Ip(198, 18, 0, 1), 5963, 0, 1);
  auto& b = lan.Add("pc-b", Ip(198, 18, 0, 2), 5963, 0, 2);
  auto& c = lan.Add("pc-c", Ip(198, 18, 0, 3), 6000, 3000, 3);
  Millis all = FirstTime(lan, 10000, [&] {
    return lan.Listed(a).size() == 2 && lan.Listed(b).size() == 2 && lan.Listed(c).size() == 2;
  });
  ASSERT_GE(all, 0);
  EXPECT_LE(all - 3000, 2000);  // after the last start

  std::vector<FoundInstance> found = a.engine->Found(lan.now());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].name, "pc-c");
  EXPECT_EQ(found[1].port, 6000);
  EXPECT_EQ(found[1].address, Ip(198, 18, 0, 3));
  EXPECT_EQ(found[1].host, "pc-c-vello.local");

  lan.RunUntil(20000);
  lan.Stop(b, 20000);
  Millis dropped = FirstTime(lan, 30000, [&] { return !Lists(lan, a, "pc-b") && !Lists(lan, c, "pc-b"); });
  ASSERT_GE(dropped, 0);
  EXPECT_LE(dropped - 20000, 2000);
}

TEST(DiscoveryLan, ACopyThatVanishesIsDroppedWhenItsRecordsRunOut) {
  SimLan lan;
  auto& a = lan.Add("pc-a", Ip(198, 18, 0, 1), 5963, 0, 1);
  auto& b = lan.Add("pc-b", Ip(198, 18, 0, 2), 5963, 0, 2);
  lan.RunUntil(200000);
  ASSERT_TRUE(Lists(lan, a, "pc-b"));  // refreshed past the first 120 s
  lan.Crash(b, 200000);
  lan.RunUntil(290000);
  EXPECT_TRUE(Lists(lan, a, "pc-b"));
  // Gone within the 120 s lifetime of its address and SRV records after the
  // last answer it gave.
  Millis gone = FirstTime(lan, 330000, [&] { return !Lists(lan, a, "pc-b"); });
  ASSERT_GE(gone, 0);
  EXPECT_LE(gone, 200000 + 120000);
}

TEST(DiscoveryLan, ThirtyCopiesStartingTogetherMakeNoStorm) {
  SimLan lan;
  std::vector<SimLan::Copy*> copies;
  for (int i = 0; i < 30; ++i)
    copies.push_back(&lan.Add("pc-" + std::to_string(i), Ip(198, 18, 0, 10 + i), 5963, 0, 100 + i));
  Millis all = FirstTime(lan, 10000, [&] {
    return std::all_of(copies.begin(), copies.end(), [&](auto* c) { return lan.Listed(*c).size() == 29; });
  });
  ASSERT_GE(all, 0);
  EXPECT_LE(all, 2000);

  lan.RunUntil(3600000);
  // Each copy probes three times and announces twice; the questions for
  // the service are asked once for all, not once per copy.
  std::size_t serviceQueries = 0, firstTenSeconds = 0, idle = 0;
  for (auto* c : copies) {
    firstTenSeconds += SimLan::SentBetween(*c, 0, 10000);
    idle += SimLan::SentBetween(*c, 1200000, 3600000);
    for (std::size_t i = 0; i < c->sent.size(); ++i) {
      if (c->sentAt[i] >= 10000) continue;
      dns::Message m = dns::ReadMessage(c->sent[i].bytes);
      if (!m.IsResponse() && !m.questions.empty() && m.questions[0].type == dns::kTypePtr) ++serviceQueries;
    }
  }
  EXPECT_LT(serviceQueries, 30u);
  EXPECT_LE(firstTenSeconds / 30.0, 8.0);
  // Once settled, each copy's records are refreshed by one question and
  // one answer for all, about every 97 s: near 1.25 packets a copy a
  // minute, however many copies there are.
  EXPECT_LT(idle / 30.0 / 40.0, 2.0);
}

TEST(DiscoveryLan, CopiesWithTheSameComputerNameAreBothFound) {
  SimLan lan;
  auto& a = lan.Add("pc01", Ip(198, 18, 0, 1), 5963, 0, 1);
  auto& b = lan.Add("pc01", Ip(198, 18, 0, 2), 5963, 0, 2);
  auto& watcher = lan.Add("watcher", Ip(198, 18, 0, 3), 5963, 0, 3);
  lan.RunUntil(20000);
  std::vector<std::string> names = {a.engine->instanceName(), b.engine->instanceName()};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"pc01", "pc01 (2)"}));
  EXPECT_NE(a.engine->hostName(), b.engine->hostName());
  EXPECT_EQ(lan.Listed(watcher), names);
  EXPECT_EQ(lan.Listed(a).size(), 2u);
}

TEST(DiscoveryLan, APortChangeReachesTheOthers) {
  SimLan lan;
  auto& a = lan.Add("pc-a", Ip(198, 18, 0, 1), 5963, 0, 1);
  auto& b = lan.Add("pc-b", Ip(198, 18, 0, 2), 5963, 0, 2);
  lan.RunUntil(10000);
  lan.At(10000, [&] { b.engine->SetPort(6001, lan.now()); });
  Millis seen = FirstTime(lan, 20000, [&] {
    auto f = a.engine->Found(lan.now());
    return f.size() == 1 && f[0].port == 6001;
  });
  ASSERT_GE(seen, 0);
  EXPECT_LE(seen - 10000, 100);
}

TEST(DiscoveryLan, ACopyThatJoinsANetworkLaterAsksAgainAtOnce) {
  SimLan lan;
  auto& a = lan.Add("pc-a", Ip(198, 18, 0, 1), 5963, 0, 1);
  auto& b = lan.Add("pc-b", Ip(198, 18, 0, 2), 5963, 0, 2);
  // b runs for ten minutes without a network (no interface, no address):
  // it hears nothing, so its pauses between questions have grown to
  // minutes when it joins.
  b.connected = false;
  lan.At(0, [&] { b.engine->SetLink({}, lan.now()); });
  lan.RunUntil(600000);
  EXPECT_TRUE(lan.Listed(b).empty());
  lan.At(600000, [&] {
    b.connected = true;
    b.engine->SetLink({{Ip(198, 18, 0, 2), SimLan::kPrefix}}, lan.now());
  });
  lan.RunUntil(600000);
  // Joining, it announces and asks at once.
  Millis found = FirstTime(lan, 700000, [&] { return Lists(lan, b, "pc-a") && Lists(lan, a, "pc-b"); });
  ASSERT_GE(found, 0);
  EXPECT_LE(found - 600000, 2000);
}

TEST(DiscoveryEngine, IgnoresResponsesFromOtherPortsAndMalformedPackets) {
  DiscoveryEngine e(SeededRandom(1));
  e.Start({"alpha", 5963, {{Ip(198, 18, 0, 1), 24}}, "1.5"}, 0);
  const std::string announcement = ReadFixture("zeroconf_announcement.bin");
  e.Receive(announcement, {Ip(198, 18, 0, 7), 40000}, 10);
  e.Receive(announcement.substr(0, 50), {Ip(198, 18, 0, 7), kPort}, 10);
  EXPECT_TRUE(e.Found(10).empty());
  EXPECT_EQ(e.counters().malformed, 1u);
  EXPECT_EQ(e.counters().ignored, 1u);
  e.Receive(announcement, {Ip(198, 18, 0, 7), kPort}, 20);
  EXPECT_EQ(e.Found(20).size(), 1u);
  // Stopped, it lists nothing and hears nothing.
  e.Stop(30);
  e.Receive(announcement, {Ip(198, 18, 0, 7), kPort}, 40);
  EXPECT_TRUE(e.Found(40).empty());
  EXPECT_FALSE(e.NextWake().has_value());
}

TEST(DiscoveryEngine, ALongComputerNameIsCutToLabelsThatGoOnTheWire) {
  struct Case {
    const char* what;
    std::string computerName;
    std::string instance, host;
  } cases[] = {
      {"70 letters: both labels at their 63 bytes", std::string(70, 'x'), std::string(63, 'x'),
       std::string(57, 'x') + "-vello"},
      {"exactly 63", std::string(63, 'y'), std::string(63, 'y'), std::string(57, 'y') + "-vello"},
      // "経" is 3 bytes in UTF-8: 21 of them make 63 bytes, the 22nd does not fit.
      {"Japanese, cut between characters", [] {
         std::string s;
         for (int i = 0; i < 22; ++i) s += "\xE7\xB5\x8C";
         return s;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 21; ++i) s += "\xE7\xB5\x8C";
         return s;
       }(),
       "pc-vello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DiscoveryEngine e(SeededRandom(1));
    e.Start({c.computerName, 5963, {{Ip(198, 18, 0, 1), 24}}, "1.5"}, 0);
    std::vector<Datagram> sent;
    for (Millis t = 0; t <= 2000; t += 5)
      for (Datagram& d : e.Poll(t)) sent.push_back(std::move(d));
    ASSERT_TRUE(e.running());
    EXPECT_EQ(e.instanceName(), c.instance);
    EXPECT_EQ(e.hostName(), c.host);
    // Probes and the announcement went out, naming us in full.
    bool announced = false;
    for (const Datagram& d : sent)
      for (const dns::Record& r : dns::ReadMessage(d.bytes).answers)
        announced |= r.srv() && dns::SameName(r.name, InstanceName(c.instance)) &&
                     dns::SameName(r.srv()->target, HostName(c.host));
    EXPECT_TRUE(announced);
  }
}
