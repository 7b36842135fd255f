// The browser: its query schedule, the cache of what it heard, refreshes,
// expiry and goodbyes, driven with time passed in and every random value at
// the middle of its range.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/mdns_browser.h"
#include "mdns_fixtures.h"

using namespace vello;
using namespace vello::mdns;
using namespace vello::mdns::testing;
using dns::Message;
using dns::Name;
using dns::Record;

namespace {

const Endpoint kZeroconf{Ip(198, 18, 0, 7), kPort};
// Where "beta" (the records made below) answers from: its own address.
const Endpoint kBeta{Ip(198, 18, 0, 2), kPort};
const Name kPeer = Name::FromDotted("zc-peer._vello._tcp.local");
const Name kPeerHost = Name::FromDotted("zc-host.local");

struct Sent {
  Millis at;
  Message message;
};

class BrowserTest : public ::testing::Test {
 protected:
  BrowserTest() : b_([](Millis lo, Millis hi) { return lo + (hi - lo) / 2; }) {
    b_.Start(0);
    b_.SetLink({{Ip(198, 18, 0, 1), 24}});
  }

  void RunTo(Millis until) {
    while (auto wake = b_.NextWake()) {
      if (*wake > until) break;
      now_ = std::max(now_, *wake);
      std::vector<Datagram> out;
      b_.Poll(now_, out);
      for (const Datagram& d : out) {
        EXPECT_LE(d.bytes.size(), kMaxPacketBytes);
        sent_.push_back({now_, dns::ReadMessage(d.bytes)});
      }
    }
    now_ = until;
  }
  void Hear(const std::string& fixture, Endpoint from = kZeroconf) {
    b_.OnResponse(dns::ReadMessage(ReadFixture(fixture)), from, now_);
  }
  void Hear(std::vector<Record> records, Endpoint from = kBeta) {
    Message m;
    m.flags = dns::kFlagResponse;
    m.answers = std::move(records);
    b_.OnResponse(m, from, now_);
  }
  std::vector<std::string> Listed() const {
    std::vector<std::string> names;
    for (const FoundInstance& f : b_.Found(now_)) names.push_back(f.name);
    return names;
  }
  // Times at which a question for `name` of `type` went out.
  std::vector<Millis> Asked(const Name& name, std::uint16_t type) const {
    std::vector<Millis> t;
    for (const Sent& s : sent_)
      for (const dns::Question& q : s.message.questions)
        if (q.type == type && dns::SameName(q.name, name)) t.push_back(s.at);
    return t;
  }

  MdnsBrowser b_;
  Millis now_ = 0;
  std::vector<Sent> sent_;
};

Record Ptr(const std::string& label, std::uint32_t ttl = 4500) {
  return dns::MakePtr(ServiceType(), InstanceName(label), ttl);
}
Record Srv(const std::string& label, std::uint16_t port, std::uint32_t ttl = 120) {
  return dns::MakeSrv(InstanceName(label), port, HostName(label + "-vello"), ttl, true);
}
Record A(const std::string& label, std::uint32_t address, std::uint32_t ttl = 120) {
  return dns::MakeA(HostName(label + "-vello"), address, ttl, true);
}

}  // namespace

TEST_F(BrowserTest, AsksWithPausesThatDoubleUpToAnHour) {
  RunTo(3 * 3600 * 1000);
  std::vector<Millis> t = Asked(ServiceType(), dns::kTypePtr);
  ASSERT_GE(t.size(), 14u);
  EXPECT_EQ(t[0], 70);  // 20-120 ms after the start
  std::vector<Millis> gaps;
  for (std::size_t i = 1; i < t.size(); ++i) gaps.push_back(t[i] - t[i - 1] - 50);  // 0-100 ms added each time
  EXPECT_EQ(std::vector<Millis>(gaps.begin(), gaps.begin() + 4), (std::vector<Millis>{1000, 2000, 4000, 8000}));
  EXPECT_EQ(gaps.back(), 3600 * 1000);
  EXPECT_EQ(*std::max_element(gaps.begin(), gaps.end()), 3600 * 1000);
}

TEST_F(BrowserTest, ListsWhatZeroconfAnnouncesAndAnswers) {
  for (const char* fixture : {"zeroconf_announcement.bin", "zeroconf_answer.bin"}) {
    SCOPED_TRACE(fixture);
    b_.Start(now_);
    Hear(fixture);
    std::vector<FoundInstance> found = b_.Found(now_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "zc-peer");
    EXPECT_EQ(found[0].host, "zc-host.local");
    EXPECT_EQ(found[0].port, 5963);
    EXPECT_EQ(found[0].address, Ip(198, 18, 0, 7));
    EXPECT_EQ(found[0].txt, std::vector<std::string>{"ver=1.5"});
  }
}

TEST_F(BrowserTest, KeepsOnlyWhatLeadsToOurService) {
  Name other = Name::FromDotted("_http._tcp.local");
  Hear({dns::MakePtr(other, Name::FromDotted("web._http._tcp.local"), 4500),
        dns::MakeSrv(Name::FromDotted("web._http._tcp.local"), 80, Name::FromDotted("web.local"), 120, true),
        dns::MakeA(Name::FromDotted("web.local"), 1, 120, true),
        // an address nobody's SRV names, and a PTR whose target is not one label under our type
        A("stray", 2), dns::MakePtr(ServiceType(), Name::FromDotted("a.b._vello._tcp.local"), 4500)});
  EXPECT_TRUE(b_.cache().records().empty());
}

TEST_F(BrowserTest, AFloodCannotGrowTheCacheOrOurQuestionsPastTheirBounds) {
  // From one sender: the cache stops at its least size.
  for (int i = 0; i < 3000; ++i) Hear({Ptr("flood-" + std::to_string(i))});
  EXPECT_EQ(b_.cache().size(), RecordCache::Bounds{}.base);
  // Each bare pointer would be chased for its SRV and TXT: 2 a sender, 16
  // at a time in all, however many senders take part.
  RunTo(100);
  auto questions = [&] {
    std::size_t n = 0;
    for (const Sent& s : sent_) n += s.message.questions.size();
    return n;
  };
  EXPECT_EQ(questions(), 1u + 2u * 2u);
  b_.Start(now_);
  sent_.clear();
  for (int i = 0; i < 3000; ++i) Hear({Ptr("flood-" + std::to_string(i))}, {Ip(198, 18, 0, 10 + i % 100), kPort});
  RunTo(200);
  EXPECT_EQ(questions(), 1u + 2u * 16u);
}

TEST_F(BrowserTest, QueriesListWhatIsKnownWhileHalfItsLifetimeIsLeft) {
  Hear({Ptr("beta", 3000)});  // at 0; the queries go at 1023.57 s and 2047.62 s
  auto lastPtrQuery = [&]() -> const Message& {
    for (auto it = sent_.rbegin(); it != sent_.rend(); ++it)
      if (!it->message.questions.empty() && it->message.questions[0].type == dns::kTypePtr) return it->message;
    ADD_FAILURE() << "no query";
    return sent_.back().message;
  };
  RunTo(1100000);  // 1976 s of 3000 left: listed, with what is left
  const Message& early = lastPtrQuery();
  ASSERT_EQ(early.answers.size(), 1u);
  EXPECT_TRUE(dns::SameName(early.answers[0].ptr()->target, InstanceName("beta")));
  EXPECT_EQ(early.answers[0].ttl, 1976u);
  EXPECT_FALSE(early.answers[0].cacheFlush);
  RunTo(2100000);  // 952 s left: no longer listed, so responders answer again
  EXPECT_TRUE(lastPtrQuery().answers.empty());
}

TEST_F(BrowserTest, AGoodbyeRemovesTheInstanceOneSecondLater) {
  Hear("zeroconf_announcement.bin");
  RunTo(5000);
  Hear("zeroconf_goodbye.bin");
  RunTo(5999);
  EXPECT_EQ(Listed(), std::vector<std::string>{"zc-peer"});
  RunTo(6000);
  EXPECT_TRUE(Listed().empty());
  EXPECT_TRUE(b_.cache().records().empty());
}

TEST_F(BrowserTest, ANewPortFlushesTheOldOneASecondLater) {
  Hear({Ptr("beta"), Srv("beta", 5963), A("beta", Ip(198, 18, 0, 2))});
  RunTo(3000);
  Hear({Srv("beta", 6001)});
  ASSERT_EQ(b_.Found(now_).size(), 1u);
  EXPECT_EQ(b_.Found(now_)[0].port, 6001);
  RunTo(4000);
  int srvs = 0;
  for (const auto& [key, c] : b_.cache().records()) srvs += c.record.srv() != nullptr;
  EXPECT_EQ(srvs, 1);
  // Records of one packet do not flush each other: a host with two addresses keeps both.
  Hear({A("beta", Ip(198, 18, 0, 2)), A("beta", Ip(10, 0, 0, 2))});
  RunTo(10000);
  EXPECT_EQ(b_.Found(now_)[0].addresses.size(), 2u);
}

TEST_F(BrowserTest, AnUnansweredInstanceIsAskedForAtItsEndAndForgotten) {
  Hear({Ptr("beta"), Srv("beta", 5963), A("beta", Ip(198, 18, 0, 2))});
  RunTo(119999);
  EXPECT_EQ(Listed(), std::vector<std::string>{"beta"});
  // At 80, 85, 90 and 95 % of 120 s, plus 1 % here (0-2 %).
  EXPECT_EQ(Asked(InstanceName("beta"), dns::kTypeSrv), (std::vector<Millis>{97200, 103200, 109200, 115200}));
  EXPECT_EQ(Asked(HostName("beta-vello"), dns::kTypeA), (std::vector<Millis>{97200, 103200, 109200, 115200}));
  RunTo(120000);
  EXPECT_TRUE(Listed().empty());
}

TEST_F(BrowserTest, AnAnsweredRefreshKeepsTheInstance) {
  Hear({Ptr("beta"), Srv("beta", 5963), A("beta", Ip(198, 18, 0, 2))});
  RunTo(97200);
  Hear({Srv("beta", 5963), A("beta", Ip(198, 18, 0, 2))});
  RunTo(200000);
  EXPECT_EQ(Listed(), std::vector<std::string>{"beta"});
  // The next round comes 80 % + 1 % after the answer.
  EXPECT_EQ(Asked(InstanceName("beta"), dns::kTypeSrv), (std::vector<Millis>{97200, 97200 + 97200}));
}

TEST_F(BrowserTest, AnIncompleteInstanceIsAskedForAtOnceThenLessOften) {
  RunTo(1000);
  Hear({Ptr("beta")});
  RunTo(20000);
  EXPECT_EQ(Asked(InstanceName("beta"), dns::kTypeSrv), (std::vector<Millis>{1000, 2000, 4000, 8000}));
  EXPECT_EQ(Asked(InstanceName("beta"), dns::kTypeTxt).size(), 4u);
  EXPECT_TRUE(Listed().empty());
  // Its SRV comes, but no address: now the address is asked for.
  sent_.clear();
  Hear({Srv("beta", 5963)});
  RunTo(22000);
  EXPECT_EQ(Asked(HostName("beta-vello"), dns::kTypeA), (std::vector<Millis>{20000, 21000}));
  Hear({A("beta", Ip(198, 18, 0, 2))});
  EXPECT_EQ(Listed(), std::vector<std::string>{"beta"});
}

TEST_F(BrowserTest, AnotherHostsSameQueryStandsForOurs) {
  RunTo(100);  // our first query went at 70; the next is due at 1120
  Hear({Ptr("beta"), Srv("beta", 5963), A("beta", 2)});
  Message theirs;
  theirs.questions = {{ServiceType(), dns::kTypePtr, dns::kClassIn, false}};
  theirs.answers = {Ptr("beta", 4400)};
  b_.OnQuery(theirs, 500);
  sent_.clear();
  RunTo(1600);
  EXPECT_TRUE(Asked(ServiceType(), dns::kTypePtr).empty());
  RunTo(3000);
  EXPECT_EQ(Asked(ServiceType(), dns::kTypePtr), std::vector<Millis>{2550});  // 500 + 2 s + 50

  // A query whose known answers we lack does not stand for ours.
  MdnsBrowser other([](Millis lo, Millis hi) { return lo + (hi - lo) / 2; });
  other.Start(0);
  std::vector<Datagram> out;
  other.Poll(70, out);
  theirs.answers = {Ptr("gamma", 4400)};
  other.OnQuery(theirs, 500);
  EXPECT_EQ(other.NextWake(), 1120);
}

TEST_F(BrowserTest, KnownAnswersThatDoNotFitGoOnInTruncatedPackets) {
  for (int i = 0; i < 80; ++i) {
    std::string name = "a-long-instance-name-number-" + std::to_string(i);
    Hear({Ptr(name), Srv(name, 5963), A(name, static_cast<std::uint32_t>(i))});
  }
  RunTo(100);
  ASSERT_GE(sent_.size(), 2u);
  std::size_t known = 0;
  for (std::size_t i = 0; i < sent_.size(); ++i) {
    EXPECT_EQ(sent_[i].message.IsTruncated(), i + 1 < sent_.size()) << i;
    EXPECT_EQ(sent_[i].message.questions.size(), i == 0 ? 1u : 0u) << i;
    known += sent_[i].message.answers.size();
  }
  EXPECT_EQ(known, 80u);
}

TEST_F(BrowserTest, OurOwnInstanceIsKnownButNeitherAskedForNorListed) {
  b_.SetOwnInstance("alpha");
  Hear({Ptr("alpha"), Srv("alpha", 5963), A("alpha", 1)});
  RunTo(130000);
  EXPECT_TRUE(Listed().empty());
  EXPECT_TRUE(Asked(InstanceName("alpha"), dns::kTypeSrv).empty());
  // Still a known answer of our queries, so our own responder stays quiet.
  bool listedAsKnown = false;
  for (const Sent& s : sent_)
    for (const Record& r : s.message.answers)
      listedAsKnown |= r.ptr() && dns::SameName(r.ptr()->target, InstanceName("alpha"));
  EXPECT_TRUE(listedAsKnown);
}

TEST_F(BrowserTest, ACopyIsListedAtTheAddressItsSrvCameFromAndOnlyWhereThatIsItsOwn) {
  struct Case {
    const char* what;
    Endpoint srvFrom;
    bool listed;
  } cases[] = {
      {"from its own first address", kBeta, true},
      {"from its second address", {Ip(198, 18, 0, 22), kPort}, true},
      {"from another host of the link", {Ip(198, 18, 0, 66), kPort}, false},
      {"from beyond the link", {Ip(10, 0, 0, 22), kPort}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    b_.Start(now_);
    // Its two addresses, the second heard last: the newest is not the one to use.
    Hear({Ptr("beta"), Srv("beta", 5963), A("beta", Ip(198, 18, 0, 2))}, c.srvFrom);
    RunTo(now_ + 1000);
    Hear({A("beta", Ip(198, 18, 0, 22)), A("beta", Ip(10, 0, 0, 22))}, c.srvFrom);
    std::vector<FoundInstance> found = b_.Found(now_);
    ASSERT_EQ(found.size(), c.listed ? 1u : 0u);
    if (!c.listed) continue;
    EXPECT_EQ(found[0].address, c.srvFrom.address);
    EXPECT_EQ(found[0].addresses.back(), Ip(198, 18, 0, 2));
    EXPECT_EQ(found[0].addresses.size(), 3u);
  }
}
