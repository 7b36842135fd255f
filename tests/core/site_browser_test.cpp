// Browsing the site's DNS: a fake server (the zone's records, and what it
// does wrong on purpose) answers every query the browser sends, through
// browse domains, instances, refresh, removal, truncation, failures and a
// hostile server.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/record_cache.h"
#include "discovery/site_browser.h"

using namespace vello;
using namespace vello::dns;
using site::SiteBrowser;
using site::SiteInstance;
using site::SiteQuery;
using Millis = mdns::Millis;

namespace {

Name N(const std::string& dotted) { return Name::FromDotted(dotted); }

class FakeServer {
 public:
  std::map<std::string, int> rcodes;           // by NameTypeKey: answer with this code
  std::set<std::string> truncatedOverUdp;      // by NameTypeKey
  std::set<std::string> silent;                // by NameTypeKey: no answer at all
  bool down = false;
  // Replaces the answer's bytes: the hostile server's own.
  std::function<std::optional<std::string>(const SiteQuery&, std::string)> tamper;
  std::vector<SiteQuery> asked;

  static std::string Key(const Question& q) { return mdns::NameTypeKey(q.name, q.type); }

  void Add(Record r) { byName_[NameKey(r.name)].push_back(std::move(r)); }
  void RemoveIf(const std::function<bool(const Record&)>& gone) {
    for (auto& [name, records] : byName_) std::erase_if(records, gone);
  }

  std::optional<std::string> Answer(const SiteQuery& q) {
    asked.push_back(q);
    // The query must be what a server reads: one question, recursion desired.
    const Message m = ReadMessage(q.bytes);
    EXPECT_EQ(m.id, q.id);
    EXPECT_EQ(m.flags, kFlagRecursionDesired);
    EXPECT_EQ(m.questions.size(), 1u);
    const std::string key = Key(q.question);
    if (down || silent.count(key)) return std::nullopt;
    std::uint16_t flags = kFlagResponse | kFlagAuthoritative | kFlagRecursionDesired;
    MessageWriter w(q.id, flags);
    w.AddQuestion(q.question);
    auto rc = rcodes.find(key);
    if (rc != rcodes.end()) {
      w.SetFlags(static_cast<std::uint16_t>(flags | rc->second));
    } else if (!q.overTcp && truncatedOverUdp.count(key)) {
      w.SetFlags(flags | kFlagTruncated);
    } else {
      auto named = byName_.find(NameKey(q.question.name));
      const bool nameExists = named != byName_.end() && !named->second.empty();
      if (nameExists)
        for (const Record& r : named->second)
          if (Answers(r, q.question)) w.AddAnswer(r);
      if (w.recordCount() == 0) {
        if (!nameExists) w.SetFlags(flags | static_cast<int>(Rcode::NxDomain));
        w.AddAuthority(Record{N("example.com"), kTypeSoa, kClassIn, false, 30, RawData{std::string(22, '\0')}});
      }
    }
    if (tamper) return tamper(q, w.bytes());
    return w.bytes();
  }

  void Remove(const Name& name, std::uint16_t type) {
    RemoveIf([&](const Record& r) { return r.type == type && SameName(r.name, name); });
  }

 private:
  std::map<std::string, std::vector<Record>> byName_;  // the zone, by NameKey
};

// A copy registered in the zone: PTR, SRV, TXT and its host's address.
void AddCopy(FakeServer& s, const std::string& label, const std::string& domain, std::uint32_t address,
             std::uint32_t ttl = 120, std::uint16_t port = 5963) {
  const Name instance = N("_vello._tcp." + domain).WithFirstLabel(label);
  const Name host = N(domain).WithFirstLabel(label + "-vello");
  s.Add(MakePtr(N("_vello._tcp." + domain), instance, ttl));
  s.Add(MakeSrv(instance, port, host, ttl, false));
  s.Add(MakeTxt(instance, {"ver=1.5"}, ttl, false));
  s.Add(MakeA(host, address, ttl, false));
}

FakeServer SiteWithBrowseDomain() {
  FakeServer s;
  s.Add(MakePtr(N("b._dns-sd._udp.example.com"), N("example.com"), 3600));
  s.Add(MakePtr(N("lb._dns-sd._udp.example.com"), N("floor2.example.com"), 3600));
  return s;
}

struct Harness {
  SiteBrowser browser;
  FakeServer& server;
  Millis now = 0;
  std::size_t maxInFlight = 0;

  Harness(FakeServer& s, SiteBrowser::Bounds bounds = {})
      : browser(mdns::SeededRandom(7), bounds), server(s) {
    browser.SetDomains({N("example.com")}, std::nullopt, std::nullopt);
  }

  // Polls and answers until nothing more is asked at this moment.
  void Settle() {
    for (int round = 0; round < 100000; ++round) {
      std::vector<SiteQuery> queries = browser.Poll(now);
      maxInFlight = std::max(maxInFlight, queries.size());
      if (queries.empty()) return;
      for (const SiteQuery& q : queries)
        if (std::optional<std::string> a = server.Answer(q)) browser.Receive(*a, q.overTcp, now);
    }
    FAIL() << "never settled";
  }
  // Moves time on in steps of a second, answering as it goes.
  void RunUntil(Millis end) {
    while (now < end) {
      now = std::min(end, now + 1000);
      Settle();
    }
  }
  std::vector<SiteInstance> Found() { return browser.Found(now); }
  std::size_t AskedFor(const std::string& dotted, std::uint16_t type) const {
    std::size_t n = 0;
    for (const SiteQuery& q : server.asked) n += q.question.type == type && SameName(q.question.name, N(dotted));
    return n;
  }
};

}  // namespace

TEST(SiteBrowser, FindsCopiesInEveryBrowseDomainTheSiteNames) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107);
  AddCopy(s, "beta", "floor2.example.com", 0xC6120208, 120, 6000);
  AddCopy(s, "hidden", "elsewhere.org", 0xC6120309);  // no browse domain names it
  Harness h(s);
  h.Settle();
  const std::vector<SiteInstance> expected = {
      {"alpha", "example.com", "alpha-vello.example.com", 0xC6120107, 5963, "1.5"},
      {"beta", "floor2.example.com", "beta-vello.floor2.example.com", 0xC6120208, 6000, "1.5"},
  };
  EXPECT_EQ(h.Found(), expected);
  EXPECT_EQ(h.AskedFor("_vello._tcp.elsewhere.org", kTypePtr), 0u);
}

TEST(SiteBrowser, HandSetDomainIsBrowsedWithoutBrowseDomainRecords) {
  FakeServer s;
  AddCopy(s, "gamma", "lab.test", 0x0A000005);
  Harness h(s);
  h.browser.SetDomains({N("example.com")}, N("corp.example.com"), N("lab.test"));
  h.Settle();
  ASSERT_EQ(h.Found().size(), 1u);
  EXPECT_EQ(h.Found()[0].name, "gamma");
  // The primary domain and the hand-set one are asked for browse domains too.
  EXPECT_EQ(h.AskedFor("b._dns-sd._udp.corp.example.com", kTypePtr), 1u);
  EXPECT_EQ(h.AskedFor("lb._dns-sd._udp.lab.test", kTypePtr), 1u);
}

TEST(SiteBrowser, RefreshesByLifetimeWithinTheBounds) {
  struct Case {
    std::uint32_t ttl;
    Millis notBefore, by;  // the second question for the instance's SRV
  };
  const std::vector<Case> cases = {
      {60, 48'000, 49'200},          // 80 % of the lifetime, plus up to 2 %
      {1, 8'000, 8'200},             // a lifetime under 10 s counts as 10 s
      {86'400, 720'000, 738'000},    // and one over 15 minutes as 15 minutes
  };
  for (const Case& c : cases) {
    FakeServer s = SiteWithBrowseDomain();
    AddCopy(s, "alpha", "example.com", 0xC6120107, c.ttl);
    Harness h(s);
    h.Settle();
    ASSERT_EQ(h.AskedFor("alpha._vello._tcp.example.com", kTypeSrv), 1u) << c.ttl;
    h.RunUntil(c.notBefore - 1000);
    EXPECT_EQ(h.AskedFor("alpha._vello._tcp.example.com", kTypeSrv), 1u) << c.ttl;
    h.RunUntil(c.by + 1000);
    EXPECT_EQ(h.AskedFor("alpha._vello._tcp.example.com", kTypeSrv), 2u) << c.ttl;
    EXPECT_EQ(h.Found().size(), 1u) << c.ttl;
  }
}

TEST(SiteBrowser, FollowsAMovedAddressAndDropsARemovedCopy) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107, 60);
  AddCopy(s, "beta", "example.com", 0xC6120108, 60);
  Harness h(s);
  h.Settle();
  ASSERT_EQ(h.Found().size(), 2u);
  const std::size_t lookupsWithBoth = h.browser.lookups();

  s.Remove(N("alpha-vello.example.com"), kTypeA);
  s.Add(MakeA(N("alpha-vello.example.com"), 0xC6120199, 60, false));
  s.RemoveIf([](const Record& r) {
    return r.ptr() && SameName(r.ptr()->target, N("beta._vello._tcp.example.com"));
  });
  h.RunUntil(50'000);
  ASSERT_EQ(h.Found().size(), 1u);
  EXPECT_EQ(h.Found()[0].address, 0xC6120199u);
  // beta's SRV, TXT and host lookups are gone with its PTR.
  EXPECT_EQ(h.browser.lookups(), lookupsWithBoth - 3);
  const std::size_t betaAsks = h.AskedFor("beta._vello._tcp.example.com", kTypeSrv);
  h.RunUntil(200'000);
  EXPECT_EQ(h.AskedFor("beta._vello._tcp.example.com", kTypeSrv), betaAsks);
}

TEST(SiteBrowser, ServerGoneKeepsCopiesUntilTheirLifetimeEnds) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107, 60);
  Harness h(s);
  h.Settle();
  s.down = true;
  h.RunUntil(59'000);
  EXPECT_EQ(h.Found().size(), 1u);
  h.RunUntil(61'000);
  EXPECT_TRUE(h.Found().empty());
  // Failed questions are asked again after 10 s, then 20 s, 40 s...
  const std::size_t before = h.AskedFor("alpha-vello.example.com", kTypeA);
  h.RunUntil(200'000);
  EXPECT_EQ(h.AskedFor("alpha-vello.example.com", kTypeA), before);  // nothing leads to it now
  const std::size_t ptrAsks = h.AskedFor("_vello._tcp.example.com", kTypePtr);
  h.RunUntil(200'000 + 15 * 60'000);
  EXPECT_LE(h.AskedFor("_vello._tcp.example.com", kTypePtr) - ptrAsks, 3u);
  s.down = false;
  h.RunUntil(200'000 + 31 * 60'000);
  EXPECT_EQ(h.Found().size(), 1u);
}

TEST(SiteBrowser, TruncatedAnswerIsAskedAgainOverTcp) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107);
  s.truncatedOverUdp.insert(mdns::NameTypeKey(N("_vello._tcp.example.com"), kTypePtr));
  Harness h(s);
  h.Settle();
  std::vector<bool> overTcp;
  for (const SiteQuery& q : s.asked)
    if (SameName(q.question.name, N("_vello._tcp.example.com"))) overTcp.push_back(q.overTcp);
  EXPECT_EQ(overTcp, (std::vector<bool>{false, true}));
  EXPECT_EQ(h.Found().size(), 1u);
}

TEST(SiteBrowser, ErrorsKeepWhatIsKnownButNxdomainEndsIt) {
  struct Case {
    Rcode rcode;
    bool keptUntilExpiry;
  };
  for (const Case& c : {Case{Rcode::ServFail, true}, Case{Rcode::Refused, true}, Case{Rcode::NxDomain, false}}) {
    FakeServer s = SiteWithBrowseDomain();
    AddCopy(s, "alpha", "example.com", 0xC6120107, 60);
    Harness h(s);
    h.Settle();
    s.rcodes[mdns::NameTypeKey(N("alpha._vello._tcp.example.com"), kTypeSrv)] = static_cast<int>(c.rcode);
    h.RunUntil(50'000);  // the SRV's refresh has been answered
    EXPECT_EQ(h.Found().size(), c.keptUntilExpiry ? 1u : 0u) << RcodeName(static_cast<int>(c.rcode));
    h.RunUntil(61'000);
    EXPECT_TRUE(h.Found().empty()) << RcodeName(static_cast<int>(c.rcode));
  }
}

TEST(SiteBrowser, NoBrowseDomainsMeansNothingBrowsed) {
  FakeServer s;
  AddCopy(s, "alpha", "example.com", 0xC6120107);
  Harness h(s);
  h.Settle();
  EXPECT_TRUE(h.Found().empty());
  EXPECT_EQ(h.AskedFor("_vello._tcp.example.com", kTypePtr), 0u);
}

TEST(SiteBrowser, ForgedAndStrayAnswersAreIgnored) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107);
  // Pointers out of the domain or the service, and an address for a host
  // nobody asked about riding along with alpha's.
  s.Add(MakePtr(N("_vello._tcp.example.com"), N("www.bank.example"), 120));
  s.Add(MakePtr(N("_vello._tcp.example.com"), N("evil._vello._tcp.other.org"), 120));
  s.Add(MakePtr(N("_vello._tcp.example.com"), N("deep.x._vello._tcp.example.com"), 120));
  s.tamper = [](const SiteQuery& q, std::string bytes) -> std::optional<std::string> {
    if (q.question.type != kTypeA) return bytes;
    Message m = ReadMessage(bytes);
    m.answers.push_back(MakeA(N("mail.example.com"), 0x01020304, 120, false));
    m.answers.push_back(MakeA(q.question.name, 0x01020304, 120, false));  // lower, so it would be listed
    m.answers.back().name = N("bank.example");
    return WriteMessage(m);
  };
  Harness h(s);
  h.Settle();
  ASSERT_EQ(h.Found().size(), 1u);
  EXPECT_EQ(h.Found()[0].address, 0xC6120107u);
  EXPECT_EQ(h.AskedFor("www.bank.example", kTypeSrv), 0u);
  EXPECT_EQ(h.AskedFor("evil._vello._tcp.other.org", kTypeSrv), 0u);
  EXPECT_EQ(h.AskedFor("deep.x._vello._tcp.example.com", kTypeSrv), 0u);

  // Bytes with another id, or for another question, do not answer.
  const std::size_t ignored = h.browser.ignoredAnswers();
  h.now = 200'000;
  std::vector<SiteQuery> queries = h.browser.Poll(h.now);
  ASSERT_FALSE(queries.empty());
  std::string wrongId = *s.Answer(queries[0]);
  wrongId[0] ^= 0x55;
  EXPECT_FALSE(h.browser.Receive(wrongId, queries[0].overTcp, h.now));
  EXPECT_FALSE(h.browser.Receive(std::string("\x00"), false, h.now));
  EXPECT_EQ(h.browser.ignoredAnswers(), ignored + 2);
}

TEST(SiteBrowser, TenThousandInstancesStayWithinTheBounds) {
  // Twenty browse domains of a thousand instances each, every answer over
  // TCP; the browser keeps 16 domains of 256 instances, never more than 16
  // questions out.
  FakeServer s;
  for (int d = 0; d < 20; ++d) {
    const std::string domain = "d" + std::to_string(d) + ".example.com";
    s.Add(MakePtr(N("b._dns-sd._udp.example.com"), N(domain), 3600));
    for (int i = 0; i < 500; ++i)
      AddCopy(s, "c" + std::to_string(i), domain, 0x0A000000u + static_cast<std::uint32_t>(d * 1000 + i), 3600);
  }
  Harness h(s);
  h.Settle();
  EXPECT_LE(h.maxInFlight, 16u);
  EXPECT_EQ(h.Found().size(), 16u * 256u);
  EXPECT_LE(h.browser.lookups(), 2u + 16u * (1u + 3u * 256u));
}

TEST(SiteBrowser, HugeCountsAndLoopsFailTheQuestionOnly) {
  FakeServer s = SiteWithBrowseDomain();
  AddCopy(s, "alpha", "example.com", 0xC6120107);
  AddCopy(s, "beta", "example.com", 0xC6120108);
  s.tamper = [](const SiteQuery& q, std::string bytes) -> std::optional<std::string> {
    if (!SameName(q.question.name, N("beta._vello._tcp.example.com")) || q.question.type != kTypeSrv) return bytes;
    bytes[6] = '\x27';  // 10,000 answers promised
    bytes[7] = '\x10';
    return bytes;
  };
  Harness h(s);
  h.Settle();
  ASSERT_EQ(h.Found().size(), 1u);
  EXPECT_EQ(h.Found()[0].name, "alpha");
}
