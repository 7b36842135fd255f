// The responder for our own instance, driven with time passed in and every
// random delay at the middle of its range.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "discovery/mdns_responder.h"
#include "mdns_fixtures.h"

using namespace vello;
using namespace vello::mdns;
using namespace vello::mdns::testing;
using dns::Message;
using dns::Name;
using dns::Record;

namespace {

const Endpoint kPeer{Ip(198, 18, 0, 7), kPort};
const Name kInstance = Name::FromDotted("alpha._vello._tcp.local");
const Name kHost = Name::FromDotted("alpha-vello.local");

OwnService Alpha() { return {"alpha", "alpha-vello", 5963, {Ip(198, 18, 0, 1)}, "1.5"}; }

struct Sent {
  Millis at;
  Datagram datagram;
  Message message;
};

class ResponderTest : public ::testing::Test {
 protected:
  ResponderTest() : r_([](Millis lo, Millis hi) { return lo + (hi - lo) / 2; }) {}

  // Polls at every wake up to `until`.
  void RunTo(Millis until) {
    while (auto wake = r_.NextWake()) {
      if (*wake > until) break;
      now_ = std::max(now_, *wake);
      Poll();
    }
    now_ = until;
  }
  void Poll() {
    std::vector<Datagram> out;
    r_.Poll(now_, out);
    for (Datagram& d : out) sent_.push_back({now_, d, dns::ReadMessage(d.bytes)});
  }
  // Starts and runs until the names are ours and both announcements went.
  void Own() {
    r_.Start(Alpha(), 0);
    RunTo(2000);
    ASSERT_TRUE(r_.owned());
    sent_.clear();
  }
  void Query(const Message& m, Endpoint from = kPeer) { r_.OnQuery(m, from, now_); }
  void Response(const Message& m) { r_.OnResponse(m, now_); }

  std::vector<Millis> Times() const {
    std::vector<Millis> t;
    for (const Sent& s : sent_) t.push_back(s.at);
    return t;
  }

  MdnsResponder r_;
  Millis now_ = 0;
  std::vector<Sent> sent_;
};

Message Ask(std::vector<dns::Question> questions, std::vector<Record> known = {}, std::uint16_t flags = 0) {
  Message m;
  m.flags = flags;
  m.questions = std::move(questions);
  m.answers = std::move(known);
  return m;
}
dns::Question Q(const Name& name, std::uint16_t type) { return {name, type, dns::kClassIn, false}; }
Message Answer(std::vector<Record> records) {
  Message m;
  m.flags = dns::kFlagResponse | dns::kFlagAuthoritative;
  m.answers = std::move(records);
  return m;
}
bool Has(const std::vector<Record>& rs, std::uint16_t type) {
  return std::any_of(rs.begin(), rs.end(), [&](const Record& r) { return r.type == type; });
}

}  // namespace

TEST_F(ResponderTest, ProbesThreeTimesThenAnnouncesTwiceAndFallsQuiet) {
  r_.Start(Alpha(), 0);
  RunTo(60000);
  // First probe 0-250 ms after the start (here 125), 250 ms apart, the
  // names ours 250 ms after the third; announcements 1 s apart.
  EXPECT_EQ(Times(), (std::vector<Millis>{125, 375, 625, 875, 1875}));
  EXPECT_FALSE(r_.NextWake().has_value());

  const Message& probe = sent_[0].message;
  EXPECT_FALSE(probe.IsResponse());
  ASSERT_EQ(probe.questions.size(), 2u);
  EXPECT_TRUE(dns::SameName(probe.questions[0].name, kInstance));
  EXPECT_EQ(probe.questions[0].type, dns::kTypeAny);
  EXPECT_TRUE(dns::SameName(probe.questions[1].name, kHost));
  EXPECT_TRUE(Has(probe.authorities, dns::kTypeSrv) && Has(probe.authorities, dns::kTypeTxt) &&
              Has(probe.authorities, dns::kTypeA));
  EXPECT_FALSE(Has(probe.authorities, dns::kTypePtr));

  const Message& announcement = sent_[3].message;
  ASSERT_EQ(announcement.answers.size(), 4u);  // PTR, SRV, TXT, A; not the enumeration PTR
  for (const Record& rec : announcement.answers) EXPECT_EQ(rec.cacheFlush, rec.type != dns::kTypePtr);
  EXPECT_EQ(sent_[4].datagram.bytes, sent_[3].datagram.bytes);
}

TEST_F(ResponderTest, AnswersOnlyOnceTheNamesAreOurs) {
  r_.Start(Alpha(), 0);
  RunTo(200);
  Query(Ask({Q(ServiceType(), dns::kTypePtr)}));
  RunTo(800);
  for (const Sent& s : sent_) EXPECT_FALSE(s.message.IsResponse()) << "answered while probing";
}

TEST_F(ResponderTest, SharedAnswersWaitUniqueAnswersGoAtOnce) {
  Own();
  RunTo(5000);
  Query(Ask({Q(ServiceType(), dns::kTypePtr)}));
  RunTo(6000);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].at, 5070);  // 20-120 ms for a shared record
  const Message& m = sent_[0].message;
  ASSERT_EQ(m.answers.size(), 1u);
  EXPECT_TRUE(dns::SameName(m.answers[0].ptr()->target, kInstance));
  // The SRV, TXT and address follow as additional records.
  EXPECT_TRUE(Has(m.additionals, dns::kTypeSrv) && Has(m.additionals, dns::kTypeTxt) &&
              Has(m.additionals, dns::kTypeA));

  sent_.clear();
  RunTo(8000);
  Query(Ask({Q(kInstance, dns::kTypeSrv), Q(kHost, dns::kTypeA)}));
  RunTo(8000);
  ASSERT_EQ(sent_.size(), 1u);  // unique records only: no delay
  EXPECT_EQ(sent_[0].at, 8000);
  EXPECT_EQ(sent_[0].message.answers.size(), 2u);

  sent_.clear();
  Query(Ask({Q(ServiceEnumeration(), dns::kTypePtr)}));
  RunTo(9000);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_TRUE(dns::SameName(sent_[0].message.answers[0].ptr()->target, ServiceType()));
}

TEST_F(ResponderTest, KnownAnswersWithHalfTheirLifetimeLeftAreNotRepeated) {
  Own();
  const Record ours = dns::MakePtr(ServiceType(), kInstance, 4500);
  struct Case {
    const char* what;
    Record known;
    bool answered;
  } cases[] = {
      {"known, full lifetime", dns::MakePtr(ServiceType(), kInstance, 4500), false},
      {"known, exactly half left", dns::MakePtr(ServiceType(), kInstance, 2250), false},
      {"known, less than half left", dns::MakePtr(ServiceType(), kInstance, 2249), true},
      {"known in another case", dns::MakePtr(ServiceType(), Name::FromDotted("ALPHA._vello._tcp.local"), 4000), false},
      {"another instance known", dns::MakePtr(ServiceType(), Name::FromDotted("beta._vello._tcp.local"), 4500), true},
  };
  Millis t = 10000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sent_.clear();
    RunTo(t);
    Query(Ask({Q(ServiceType(), dns::kTypePtr)}, {c.known}));
    RunTo(t + 2000);
    EXPECT_EQ(sent_.size(), c.answered ? 1u : 0u);
    t += 5000;
  }
}

TEST_F(ResponderTest, NoRecordIsMulticastTwiceWithinASecond) {
  Own();
  auto askSrv = [&](Millis at) {
    RunTo(at);
    Query(Ask({Q(kInstance, dns::kTypeSrv)}));
  };
  askSrv(10000);
  // A query that crossed our answer on the wire is served by it.
  askSrv(10100);
  RunTo(13000);
  EXPECT_EQ(Times(), std::vector<Millis>{10000});
  // One 500 ms after an answer waits until a second has passed.
  askSrv(13000);
  askSrv(13500);
  RunTo(15000);
  EXPECT_EQ(Times(), (std::vector<Millis>{10000, 13000, 14000}));

  // A probe for our name is answered after 250 ms already: the defence.
  sent_.clear();
  Message probe = Ask({Q(kInstance, dns::kTypeAny)});
  probe.authorities.push_back(dns::MakeSrv(kInstance, 7000, Name::FromDotted("other.local"), 120, true));
  askSrv(20000);
  RunTo(20260);
  Query(probe);
  RunTo(21000);
  EXPECT_EQ(Times(), (std::vector<Millis>{20000, 20260}));
}

TEST_F(ResponderTest, ATruncatedQueryWaitsForTheRestOfItsKnownAnswers) {
  Own();
  RunTo(10000);
  Query(Ask({Q(ServiceType(), dns::kTypePtr)}, {}, dns::kFlagTruncated));
  RunTo(10100);
  // The next packet of the same querier lists our record: nothing is sent.
  Query(Ask({}, {dns::MakePtr(ServiceType(), kInstance, 4500)}));
  RunTo(12000);
  EXPECT_TRUE(sent_.empty());

  RunTo(20000);
  Query(Ask({Q(ServiceType(), dns::kTypePtr)}, {}, dns::kFlagTruncated));
  RunTo(22000);
  EXPECT_EQ(Times(), std::vector<Millis>{20450});  // 400-500 ms
}

TEST_F(ResponderTest, OneShotQueriersGetAUnicastAnswerWithShortLifetimes) {
  Own();
  Message q = Ask({Q(kInstance, dns::kTypeSrv)});
  q.id = 0xBEEF;
  Query(q, {Ip(198, 18, 0, 9), 53001});
  RunTo(now_);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_FALSE(sent_[0].datagram.multicast);
  EXPECT_EQ(sent_[0].datagram.to, (Endpoint{Ip(198, 18, 0, 9), 53001}));
  const Message& m = sent_[0].message;
  EXPECT_EQ(m.id, 0xBEEF);
  ASSERT_EQ(m.questions.size(), 1u);
  for (const auto* section : {&m.answers, &m.additionals})
    for (const Record& rec : *section) {
      EXPECT_LE(rec.ttl, 10u);
      EXPECT_FALSE(rec.cacheFlush);
    }
}

TEST_F(ResponderTest, AConflictWhileProbingChangesTheName) {
  r_.Start(Alpha(), 0);
  RunTo(200);  // the first probe went at 125
  // Our own probe coming back, and a goodbye for the name, are no conflict.
  ASSERT_EQ(sent_.size(), 1u);
  Query(sent_[0].message);
  Response(Answer({dns::MakeSrv(kInstance, 1234, Name::FromDotted("x.local"), 0, true)}));
  EXPECT_EQ(r_.service().instance, "alpha");
  EXPECT_EQ(r_.NextWake(), 375);  // probing goes on

  // One answer, which anyone may send, is not enough; the answer to a
  // second probe is.
  Response(Answer({dns::MakeTxt(kInstance, {"someone else"}, 4500, true)}));
  EXPECT_EQ(r_.service().instance, "alpha");
  RunTo(400);  // the second probe went at 375
  Response(Answer({dns::MakeTxt(kInstance, {"someone else"}, 4500, true)}));
  EXPECT_EQ(r_.service().instance, "alpha (2)");
  EXPECT_EQ(r_.service().host, "alpha-vello");
  // Probing again from 525: the host's name answered twice.
  RunTo(600);
  Response(Answer({dns::MakeA(kHost, Ip(198, 18, 0, 99), 120, true)}));
  RunTo(800);
  Response(Answer({dns::MakeA(kHost, Ip(198, 18, 0, 99), 120, true)}));
  EXPECT_EQ(r_.service().host, "alpha-vello-2");
  EXPECT_EQ(r_.conflicts(), 2);

  sent_.clear();
  RunTo(10000);
  ASSERT_FALSE(sent_.empty());
  EXPECT_TRUE(dns::SameName(sent_[0].message.questions[0].name, Name::FromDotted("alpha (2)._vello._tcp.local")));
  EXPECT_TRUE(r_.owned());
}

TEST_F(ResponderTest, ManyConflictsInARowSlowProbingDown) {
  r_.Start(Alpha(), 0);
  for (int i = 0; i < 15; ++i)
    for (int probe = 0; probe < 2; ++probe) {
      RunTo(*r_.NextWake());  // the next probe goes; someone answers it
      Response(Answer({dns::MakeSrv(InstanceName(r_.service().instance), 1, kHost, 120, true)}));
    }
  EXPECT_EQ(r_.service().instance, "alpha (16)");
  sent_.clear();
  const Millis at = now_;
  RunTo(at + 6000);
  ASSERT_FALSE(sent_.empty());
  EXPECT_EQ(sent_[0].at, at + 5000);
}

TEST_F(ResponderTest, SimultaneousProbesTheLowerRecordsWaitASecond) {
  struct Case {
    const char* what;
    std::uint16_t theirPort;
    Millis nextProbe;  // after our first probe at 125 and theirs at 200
  } cases[] = {
      {"their port is higher: we lose and wait 1 s", 6000, 1200},
      {"their port is lower: we win and go on", 5000, 375},
      {"identical records: no conflict", 5963, 375},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MdnsResponder r([](Millis lo, Millis hi) { return lo + (hi - lo) / 2; });
    r.Start(Alpha(), 0);
    std::vector<Datagram> out;
    r.Poll(125, out);
    Message probe;
    probe.questions = {Q(kInstance, dns::kTypeAny)};
    probe.authorities = {dns::MakeSrv(kInstance, c.theirPort, kHost, 120, true),
                         dns::MakeTxt(kInstance, {"ver=1.5"}, 4500, true)};
    r.OnQuery(probe, kPeer, 200);
    EXPECT_EQ(r.NextWake(), c.nextProbe);
    EXPECT_EQ(r.service().instance, "alpha");
  }
}

TEST_F(ResponderTest, AContradictionAfterwardsMeansProbingAgain) {
  Own();
  RunTo(10000);
  Response(Answer({dns::MakeSrv(kInstance, 7000, Name::FromDotted("intruder.local"), 120, true)}));
  EXPECT_FALSE(r_.owned());
  EXPECT_EQ(r_.service().instance, "alpha");  // the name is kept until a probe meets the other again
  // A shared record of our name, or one of another type, is not a contradiction.
  MdnsResponder quiet([](Millis lo, Millis) { return lo; });
  quiet.Start(Alpha(), 0);
  std::vector<Datagram> out;
  for (Millis t : {0, 250, 500, 750}) quiet.Poll(t, out);
  ASSERT_TRUE(quiet.owned());
  quiet.OnResponse(Answer({dns::MakePtr(ServiceType(), Name::FromDotted("beta._vello._tcp.local"), 4500)}), 1000);
  Record aaaa{kHost, dns::kTypeAaaa, dns::kClassIn, true, 120, dns::RawData{std::string(16, '\1')}};
  quiet.OnResponse(Answer({aaaa}), 1000);
  EXPECT_TRUE(quiet.owned());
}

TEST_F(ResponderTest, ChangesAreAnnouncedAndRemovedAddressesSayGoodbye) {
  Own();
  RunTo(10000);
  r_.SetPort(6001, now_);
  RunTo(12000);
  ASSERT_EQ(Times(), (std::vector<Millis>{10000, 11000}));
  const Record* srv = nullptr;
  for (const Record& rec : sent_[0].message.answers)
    if (rec.srv()) srv = &rec;
  ASSERT_NE(srv, nullptr);
  EXPECT_EQ(srv->srv()->port, 6001);

  sent_.clear();
  r_.SetAddresses({Ip(198, 18, 0, 2)}, now_);
  RunTo(12000);
  ASSERT_EQ(sent_.size(), 2u);
  // First the goodbye for the address that went, then the new announcement.
  ASSERT_EQ(sent_[0].message.answers.size(), 1u);
  EXPECT_EQ(sent_[0].message.answers[0].ttl, 0u);
  EXPECT_EQ(sent_[0].message.answers[0].a()->address, Ip(198, 18, 0, 1));
  EXPECT_TRUE(Has(sent_[1].message.answers, dns::kTypeA));
  for (const Record& rec : sent_[1].message.answers) {
    if (rec.a()) {
      EXPECT_EQ(rec.a()->address, Ip(198, 18, 0, 2));
    }
  }
}

TEST_F(ResponderTest, StopSaysGoodbyeOnlyForNamesThatWereOurs) {
  Own();
  std::vector<Datagram> goodbye = r_.Stop(now_);
  ASSERT_EQ(goodbye.size(), 1u);
  Message m = dns::ReadMessage(goodbye[0].bytes);
  ASSERT_EQ(m.answers.size(), 4u);
  for (const Record& rec : m.answers) EXPECT_EQ(rec.ttl, 0u);
  // Stopped: queries go unanswered.
  Query(Ask({Q(ServiceType(), dns::kTypePtr)}));
  RunTo(now_ + 2000);
  EXPECT_TRUE(sent_.empty());

  MdnsResponder probing([](Millis lo, Millis) { return lo; });
  probing.Start(Alpha(), 0);
  EXPECT_TRUE(probing.Stop(100).empty());
}
