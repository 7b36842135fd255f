// A hostile host on the link against copies of the discovery engine on a
// simulated link: a watcher ("pc-w") and a victim ("pc-v") have found each
// other when a forger at another address of the link, or a host beyond
// it, starts sending what it likes. Each case says what it sends and what
// must hold meanwhile and afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "discovery/found_destinations.h"
#include "mdns_fixtures.h"
#include "mdns_sim_lan.h"

using namespace vello;
using namespace vello::mdns;
using namespace vello::mdns::testing;
using dns::Name;
using dns::Record;

namespace {

const std::uint32_t kWatcher = Ip(198, 18, 0, 1);
const std::uint32_t kVictim = Ip(198, 18, 0, 2);
const std::uint32_t kLate = Ip(198, 18, 0, 3);
const std::uint32_t kForger = Ip(198, 18, 0, 66);
const std::uint32_t kQuerier = Ip(198, 18, 0, 9);
const std::uint32_t kBeyondTheLink = Ip(10, 9, 9, 9);  // through a gateway
constexpr Millis kAttack = 5000;

std::string Response(const std::vector<Record>& records) {
  dns::MessageWriter w(0, dns::kFlagResponse | dns::kFlagAuthoritative);
  for (const Record& r : records) w.AddAnswer(r);
  return w.bytes();
}

// A whole instance as a responder announces it.
std::vector<Record> Instance(const std::string& name, std::uint32_t address, std::uint32_t ttl = 120,
                             std::uint16_t port = 5963) {
  const Name host = HostName(name + "-vello");
  return {dns::MakePtr(ServiceType(), InstanceName(name), ttl == 120 ? 4500 : ttl),
          dns::MakeSrv(InstanceName(name), port, host, ttl, true),
          dns::MakeTxt(InstanceName(name), {"ver=1.5"}, ttl == 120 ? 4500 : ttl, true),
          dns::MakeA(host, address, ttl, true)};
}

std::vector<Record> Goodbyes(std::vector<Record> records) {
  for (Record& r : records) r.ttl = 0;
  return records;
}

// pc-v's SRV as someone else would claim it.
Record ClaimedSrv() {
  return dns::MakeSrv(InstanceName("pc-v"), 7000, Name::FromDotted("intruder.local"), 120, true);
}

bool IsProbeFor(const Datagram& d, const std::string& instance) {
  const dns::Message m = dns::ReadMessage(d.bytes);
  if (m.IsResponse() || m.authorities.empty()) return false;
  for (const dns::Question& q : m.questions)
    if (dns::SameName(q.name, InstanceName(instance))) return true;
  return false;
}

struct Lab {
  SimLan lan;
  SimLan::Copy& watcher;
  SimLan::Copy& victim;
  std::map<std::string, Millis> firstListed;  // by the watcher
  std::set<std::string> victimNames;          // every name the victim went by

  Lab() : watcher(lan.Add("pc-w", kWatcher, 5963, 0, 1)), victim(lan.Add("pc-v", kVictim, 5963, 0, 2)) {}

  const FoundInstance* Listed(const std::string& name) {
    static FoundInstance found;
    for (const FoundInstance& f : watcher.engine->Found(lan.now()))
      if (f.name == name) return &(found = f);
    return nullptr;
  }
  void Step(Millis t) {
    lan.RunUntil(t);
    for (const FoundInstance& f : watcher.engine->Found(lan.now())) firstListed.emplace(f.name, t);
    victimNames.insert(victim.engine->instanceName());
  }
  // Unicast datagrams the victim sent to `to`.
  std::size_t AnswersTo(std::uint32_t to) const {
    std::size_t n = 0;
    for (const Datagram& d : victim.sent) n += !d.multicast && d.to.address == to;
    return n;
  }
};

struct Case {
  const char* what;
  std::function<void(Lab&)> attack;  // at kAttack
  Millis until;
  // Checked every 10 ms from the attack on: what is wrong, or nothing.
  std::function<std::string(Lab&)> always;
  std::function<void(Lab&)> atEnd;
};

std::string VictimListedAsItIs(Lab& lab) {
  const FoundInstance* v = lab.Listed("pc-v");
  if (!v) return "pc-v is not listed";
  if (v->port != 5963 || v->address != kVictim) return "pc-v is listed at " + AddressText(v->address) + ":" +
                                                          std::to_string(v->port);
  return "";
}

}  // namespace

TEST(DiscoveryHostile, CopiesHoldTheirPlaceAgainstAHostileHost) {
  const Case cases[] = {
      {"a forged goodbye sent to the watcher alone: it asks before it drops pc-v",
       [](Lab& lab) { lab.lan.InjectTo(kAttack, kWatcher, kForger, Response(Goodbyes(Instance("pc-v", kVictim)))); },
       kAttack + 10000, VictimListedAsItIs, nullptr},
      {"a forged goodbye for all to hear: pc-v announces itself again at once",
       [](Lab& lab) { lab.lan.Inject(kAttack, kForger, Response(Goodbyes(Instance("pc-v", kVictim)))); },
       kAttack + 10000, VictimListedAsItIs,
       [](Lab& lab) {
         bool defended = false;
         for (std::size_t i = 0; i < lab.victim.sent.size(); ++i) {
           const Millis at = lab.victim.sentAt[i];
           if (at < kAttack || at > kAttack + 300) continue;
           for (const Record& r : dns::ReadMessage(lab.victim.sent[i].bytes).answers)
             defended |= r.srv() && r.ttl > 0;
         }
         EXPECT_TRUE(defended) << "pc-v did not answer the goodbye for its records within 300 ms";
       }},
      {"a forged flush of pc-v's SRV and address, sent to the watcher alone: the forged records go, pc-v's stay",
       [](Lab& lab) {
         lab.lan.InjectTo(kAttack, kWatcher, kForger,
                          Response({dns::MakeSrv(InstanceName("pc-v"), 1, Name::FromDotted("evil.local"), 120, true),
                                    dns::MakeA(HostName("pc-v-vello"), kForger, 120, true)}));
       },
       kAttack + 10000, VictimListedAsItIs,
       [](Lab& lab) {
         ASSERT_NE(lab.Listed("pc-v"), nullptr);
         EXPECT_EQ(lab.Listed("pc-v")->addresses, std::vector<std::uint32_t>{kVictim});
       }},
      {"two forged answers claim pc-v's name: it keeps it",
       [](Lab& lab) {
         lab.lan.Inject(kAttack, kForger, Response({ClaimedSrv()}));
         lab.lan.Inject(kAttack + 300, kForger, Response({ClaimedSrv()}));
       },
       kAttack + 10000,
       [](Lab& lab) {
         if (lab.victim.engine->instanceName() != "pc-v") return "pc-v renamed to " + lab.victim.engine->instanceName();
         return VictimListedAsItIs(lab);
       },
       nullptr},
      {"a forger answers every probe for pc-v for 3 s: pc-v gives way, then takes its name back "
       "and says goodbye to the other",
       [](Lab& lab) {
         lab.lan.Inject(kAttack, kForger, Response({ClaimedSrv()}));
         lab.lan.onMulticast = [&lab](const SimLan::Copy& from, const Datagram& d, Millis now) {
           if (&from == &lab.victim && now < kAttack + 3000 && IsProbeFor(d, "pc-v"))
             lab.lan.Inject(now + 2, kForger, Response({ClaimedSrv()}));
         };
       },
       kAttack + 70000, nullptr,
       [](Lab& lab) {
         EXPECT_EQ(lab.victimNames, (std::set<std::string>{"pc-v", "pc-v (2)"}));
         EXPECT_EQ(lab.victim.engine->instanceName(), "pc-v");
         EXPECT_EQ(lab.lan.Listed(lab.watcher), std::vector<std::string>{"pc-v"});
       }},
      {"queries and answers from beyond the link: neither answered nor listed",
       [](Lab& lab) {
         dns::MessageWriter query(0x4242, 0);
         query.AddQuestion({InstanceName("pc-v"), dns::kTypeSrv, dns::kClassIn, false});
         lab.lan.Inject(kAttack, kBeyondTheLink, query.bytes(), 40000);
         lab.lan.Inject(kAttack, kQuerier, query.bytes(), 40000);
         lab.lan.Inject(kAttack, kBeyondTheLink, Response(Instance("far-away", kBeyondTheLink)));
       },
       kAttack + 3000,
       [](Lab& lab) { return std::string(lab.Listed("far-away") ? "far-away is listed" : ""); },
       [](Lab& lab) {
         EXPECT_EQ(lab.AnswersTo(kBeyondTheLink), 0u);
         EXPECT_EQ(lab.AnswersTo(kQuerier), 1u);  // the same query from the link
       }},
      {"1,100 forged copies in 275 packets, then a real copy starts: it is listed within 2 s, "
       "and the forged ones take one row at most",
       [](Lab& lab) {
         for (int p = 0; p < 275; ++p) {
           std::vector<Record> records;
           for (int i = 0; i < 4; ++i) {
             const int n = p * 4 + i;
             // Half of them where the forger is, half at addresses nobody holds.
             const std::uint32_t at = n % 2 ? kForger : Ip(198, 18, 0, 100 + n % 100);
             for (const Record& r : Instance("forged-" + std::to_string(n), at, 4500)) records.push_back(r);
           }
           lab.lan.Inject(kAttack + p * 3, kForger, Response(records));
         }
         lab.lan.Add("pc-late", kLate, 5963, kAttack + 1000, 3);
       },
       kAttack + 4000, VictimListedAsItIs,
       [](Lab& lab) {
         ASSERT_TRUE(lab.firstListed.count("pc-late"));
         EXPECT_LE(lab.firstListed["pc-late"] - (kAttack + 1000), 2000);
         std::vector<FoundDestination> found;
         for (const FoundInstance& f : lab.watcher.engine->Found(lab.lan.now()))
           found.push_back({f.name, AddressText(f.address)});
         std::vector<std::string> rows = WithFoundCopies({}, found);
         std::size_t forgedRows = 0;
         for (const std::string& row : rows) forgedRows += row.starts_with("forged-");
         EXPECT_LE(forgedRows, 1u);
         for (const FoundInstance& f : lab.watcher.engine->Found(lab.lan.now()))
           EXPECT_TRUE(f.address == kForger || f.address == kVictim || f.address == kLate) << f.name;
       }},
      {"one sender pours out 3,000 whole copies: it keeps within a bound, the others keep theirs",
       [](Lab& lab) {
         for (int p = 0; p < 750; ++p) {
           std::vector<Record> records;
           for (int i = 0; i < 4; ++i)
             for (const Record& r : Instance("heavy-" + std::to_string(p * 4 + i), kForger)) records.push_back(r);
           lab.lan.Inject(kAttack + p * 4, kForger, Response(records));
         }
         lab.lan.Add("pc-late", kLate, 5963, kAttack + 1500, 3);
       },
       kAttack + 5000, VictimListedAsItIs,
       [](Lab& lab) {
         const RecordCache& cache = lab.watcher.engine->browser().cache();
         EXPECT_LE(cache.size(), cache.Budget());
         EXPECT_LE(cache.Budget(), RecordCache::Bounds{}.base);
         EXPECT_EQ(cache.CountFrom(kVictim), 4u);
         EXPECT_EQ(cache.CountFrom(kLate), 4u);
         ASSERT_TRUE(lab.firstListed.count("pc-late"));
         EXPECT_LE(lab.firstListed["pc-late"] - (kAttack + 1500), 2000);
       }},
      {"a forged copy with lifetimes of 4,500 s, never answering again: gone within 2 minutes",
       [](Lab& lab) { lab.lan.Inject(kAttack, kForger, Response(Instance("ghost", kForger, 4500))); },
       kAttack + 125000, nullptr,
       [](Lab& lab) {
         EXPECT_TRUE(lab.firstListed.count("ghost")) << "never listed";
         EXPECT_EQ(lab.Listed("ghost"), nullptr);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Lab lab;
    lab.Step(kAttack - 1);
    ASSERT_EQ(VictimListedAsItIs(lab), "");
    c.attack(lab);
    std::string broken;
    for (Millis t = kAttack; t <= c.until; t += 10) {
      lab.Step(t);
      if (c.always && broken.empty()) {
        broken = c.always(lab);
        if (!broken.empty()) broken += " at " + std::to_string(t - kAttack) + " ms";
      }
    }
    EXPECT_EQ(broken, "");
    if (c.atEnd) c.atEnd(lab);
  }
}
