// DNS messages: reading packets python3-zeroconf sent, refusing hostile
// bytes with the right reason, and writing with name compression.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/dns_message.h"
#include "mdns_fixtures.h"

using namespace vello::dns;
using namespace vello::mdns::testing;
using namespace std::string_literals;
using Reason = MalformedMessage::Reason;

namespace {

Name N(const char* dotted) { return Name::FromDotted(dotted); }

std::string Header(unsigned qd, unsigned an, unsigned ns = 0, unsigned ar = 0, unsigned flags = 0) {
  auto be = [](unsigned v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; };
  return be(0) + be(flags) + be(qd) + be(an) + be(ns) + be(ar);
}

std::string Label(const std::string& s) { return static_cast<char>(s.size()) + s; }

// A record's fixed fields after its name: type, class IN, TTL 120, length.
std::string Fixed(unsigned type, std::size_t length) {
  return std::string{0, static_cast<char>(type), 0, 1, 0, 0, 0, 120, static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)};
}

Reason ReasonOf(const std::string& bytes) {
  try {
    ReadMessage(bytes);
  } catch (const MalformedMessage& e) {
    return e.reason();
  }
  ADD_FAILURE() << "read without complaint";
  return Reason::Truncated;
}

}  // namespace

TEST(ReadMessage, ZeroconfAnnouncement) {
  Message m = ReadMessage(ReadFixture("zeroconf_announcement.bin"));
  EXPECT_TRUE(m.IsResponse());
  EXPECT_EQ(m.flags, 0x8400);
  ASSERT_EQ(m.answers.size(), 4u);
  EXPECT_TRUE(m.questions.empty() && m.authorities.empty() && m.additionals.empty());

  const Record& ptr = m.answers[0];
  ASSERT_NE(ptr.ptr(), nullptr);
  EXPECT_TRUE(SameName(ptr.name, N("_vello._tcp.local")));
  EXPECT_TRUE(SameName(ptr.ptr()->target, N("zc-peer._vello._tcp.local")));
  EXPECT_FALSE(ptr.cacheFlush);
  EXPECT_EQ(ptr.ttl, 4500u);

  const Record& srv = m.answers[1];
  ASSERT_NE(srv.srv(), nullptr);
  EXPECT_EQ(srv.srv()->port, 5963);
  EXPECT_TRUE(SameName(srv.srv()->target, N("zc-host.local")));
  EXPECT_TRUE(srv.cacheFlush);
  EXPECT_EQ(srv.ttl, 120u);

  const Record& txt = m.answers[2];
  ASSERT_NE(txt.txt(), nullptr);
  EXPECT_EQ(txt.txt()->strings, std::vector<std::string>{"ver=1.5"});
  EXPECT_TRUE(txt.cacheFlush);

  const Record& a = m.answers[3];
  ASSERT_NE(a.a(), nullptr);
  EXPECT_EQ(a.a()->address, Ip(198, 18, 0, 7));
  EXPECT_TRUE(SameName(a.name, N("zc-host.local")));
  EXPECT_TRUE(a.cacheFlush);
}

TEST(ReadMessage, ZeroconfQueriesAndProbe) {
  struct Case {
    const char* file;
    bool unicast;
    std::size_t knownAnswers, authorities;
  } cases[] = {
      {"zeroconf_query_qu.bin", true, 0, 0},
      {"zeroconf_query_qm.bin", false, 0, 0},
      {"zeroconf_query_known_answer.bin", false, 1, 0},
      {"zeroconf_probe.bin", true, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Message m = ReadMessage(ReadFixture(c.file));
    EXPECT_FALSE(m.IsResponse());
    ASSERT_EQ(m.questions.size(), 1u);
    EXPECT_TRUE(SameName(m.questions[0].name, N("_vello._tcp.local")));
    EXPECT_EQ(m.questions[0].type, kTypePtr);
    EXPECT_EQ(m.questions[0].qclass, kClassIn);
    EXPECT_EQ(m.questions[0].unicastResponse, c.unicast);
    EXPECT_EQ(m.answers.size(), c.knownAnswers);
    EXPECT_EQ(m.authorities.size(), c.authorities);
  }
  Message known = ReadMessage(ReadFixture("zeroconf_query_known_answer.bin"));
  EXPECT_LT(known.answers[0].ttl, 4500u);  // what was left of it
  EXPECT_TRUE(SameName(known.answers[0].ptr()->target, N("zc-peer._vello._tcp.local")));
}

TEST(ReadMessage, ZeroconfAnswerKeepsAnUnknownTypeAndReadsOn) {
  Message m = ReadMessage(ReadFixture("zeroconf_answer.bin"));
  ASSERT_EQ(m.answers.size(), 1u);
  ASSERT_EQ(m.additionals.size(), 4u);
  auto find = [&](std::uint16_t type) -> const Record& {
    for (const Record& r : m.additionals)
      if (r.type == type) return r;
    ADD_FAILURE() << "no record of type " << type;
    return m.answers[0];
  };
  // The NSEC's data names the host through a pointer: kept as bytes.
  const Record& nsec = find(kTypeNsec);
  EXPECT_TRUE(SameName(nsec.name, N("zc-host.local")));
  EXPECT_EQ(std::get<RawData>(nsec.data).bytes.size(), 10u);
  EXPECT_EQ(find(kTypeA).a()->address, Ip(198, 18, 0, 7));
  EXPECT_EQ(find(kTypeSrv).srv()->port, 5963);
  EXPECT_EQ(find(kTypeTxt).txt()->strings, std::vector<std::string>{"ver=1.5"});
}

TEST(ReadMessage, ZeroconfGoodbyeHasEveryLifetimeZero) {
  Message m = ReadMessage(ReadFixture("zeroconf_goodbye.bin"));
  ASSERT_EQ(m.answers.size(), 4u);
  for (const Record& r : m.answers) EXPECT_EQ(r.ttl, 0u);
}

TEST(ReadMessage, HostileBytesAreRefusedWithTheirReason) {
  const std::string q = "\x00\x01\x00\x01"s;  // type A, class IN
  // A chain of 200 pointers, each to the one before, inside the data of a
  // record of an unknown type; the second record's name enters at its end.
  std::string chain = "\x00"s;
  for (int i = 0; i < 200; ++i) {
    unsigned target = 23 + (i == 0 ? 0 : 1 + 2 * (i - 1));
    chain += static_cast<char>(0xC0 | (target >> 8));
    chain += static_cast<char>(target & 0xFF);
  }
  const unsigned last = 23 + 1 + 2 * 199;
  std::string pointerChain = Header(0, 2) + "\x00"s + Fixed(99, chain.size()) + chain +
                             static_cast<char>(0xC0 | (last >> 8)) + static_cast<char>(last & 0xFF) + Fixed(1, 4) +
                             "\x01\x02\x03\x04"s;
  std::string label63(63, 'x');
  std::string longName = Label(label63) + Label(label63) + Label(label63) + Label(label63) + "\x00"s;

  struct Case {
    const char* what;
    std::string bytes;
    Reason reason;
  } cases[] = {
      {"header cut short", "\x00\x00\x84\x00\x00\x00\x00\x01\x00\x00\x00"s, Reason::Truncated},
      {"65535 answers in a few bytes", Header(0, 65535) + "\x00"s + Fixed(1, 4) + "abcd", Reason::ImpossibleCount},
      {"more questions than bytes", Header(3, 0) + "\x00"s + q, Reason::ImpossibleCount},
      {"question without its class", Header(1, 0) + Label("abc") + "\x00\x00\x01"s, Reason::Truncated},
      {"pointer to itself", Header(1, 0) + "\xC0\x0C"s + q, Reason::BadPointer},
      {"label, then a pointer back into the same name", Header(1, 0) + "\x01\x61\xC0\x0C"s + q, Reason::BadPointer},
      {"pointer forwards", Header(2, 0) + "\xC0\x12"s + q + "\x00"s + q, Reason::BadPointer},
      {"pointer past the end", Header(1, 0) + "\xFF\xFF"s + q, Reason::BadPointer},
      {"pointer cut in half", Header(0, 1) + "\x00"s + Fixed(12, 1) + "\xC0"s, Reason::Truncated},
      {"a chain of 200 pointers", pointerChain, Reason::TooManyPointers},
      {"label type 01", Header(1, 0) + "\x41"s + std::string(70, 'a') + q, Reason::BadLabelType},
      {"label type 10", Header(1, 0) + "\x81"s + std::string(70, 'a') + q, Reason::BadLabelType},
      {"name over 255 bytes", Header(1, 0) + Label(label63) + longName + q, Reason::NameTooLong},
      {"label running past the end", Header(0, 1) + "\x3F"s + "abc" + std::string(8, '\0'), Reason::Truncated},
      {"data length past the end", Header(0, 1) + "\x00"s + Fixed(1, 100) + "\x01\x02\x03\x04"s, Reason::Truncated},
      {"A record of 5 bytes", Header(0, 1) + "\x00"s + Fixed(1, 5) + "\x01\x02\x03\x04\x05"s, Reason::BadRdata},
      {"PTR with bytes after its name", Header(0, 1) + "\x00"s + Fixed(12, 3) + "\x00zz"s, Reason::BadRdata},
      {"SRV name running past its data",
       Header(0, 1) + "\x00"s + Fixed(33, 9) + "\x00\x00\x00\x00\x17\x4B"s + Label("host") + "\x00"s,
       Reason::Truncated},
      {"SRV too short for its numbers", Header(0, 1) + "\x00"s + Fixed(33, 4) + "\x00\x00\x00\x00"s,
       Reason::Truncated},
      {"TXT string longer than its record", Header(0, 1) + "\x00"s + Fixed(16, 3) + "\x05" "ab"s, Reason::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReasonOf(c.bytes), c.reason);
  }
}

TEST(ReadMessage, LimitsThatHonestMessagesMeet) {
  // A name of exactly 255 bytes on the wire, reached through a pointer.
  std::string label63(63, 'x'), label61(61, 'y');
  std::string name = Label(label63) + Label(label63) + Label(label63) + Label(label61) + "\x00"s;
  std::string bytes = Header(2, 0) + name + "\x00\x01\x00\x01"s + "\xC0\x0C"s + "\x00\x01\x00\x01"s;
  Message m = ReadMessage(bytes);
  ASSERT_EQ(m.questions.size(), 2u);
  EXPECT_EQ(m.questions[1].name.WireLength(), 255u);
  EXPECT_TRUE(SameName(m.questions[0].name, m.questions[1].name));

  // An empty TXT record and a TXT record of one empty string are alike.
  Message txt = ReadMessage(Header(0, 2) + "\x00"s + Fixed(16, 0) + "\x00"s + Fixed(16, 1) + "\x00"s);
  EXPECT_TRUE(SameRdata(txt.answers[0], txt.answers[1]));
  // Bytes after the last record are ignored.
  EXPECT_NO_THROW(ReadMessage(Header(0, 0) + "trailing"));
}

TEST(MessageWriter, CompressesRepeatedNamesAndReadsBack) {
  const Name instance = N("alpha._vello._tcp.local");
  const Name host = N("alpha-vello.local");
  std::vector<Record> records = {
      MakePtr(N("_vello._tcp.local"), instance, 4500),
      MakeSrv(instance, 5963, host, 120, true),
      MakeTxt(instance, {"ver=1.5"}, 4500, true),
      MakeA(host, Ip(198, 18, 0, 1), 120, true),
      MakeA(N("ALPHA-VELLO.local"), Ip(198, 18, 0, 2), 120, true),
  };
  MessageWriter w(0, kFlagResponse | kFlagAuthoritative);
  for (const Record& r : records) ASSERT_TRUE(w.AddAnswer(r));
  const std::string bytes = w.bytes();
  // Every name but the first spelling of each suffix is a pointer.
  EXPECT_EQ(bytes.find("_vello"), bytes.rfind("_vello"));
  EXPECT_EQ(bytes.find("alpha-vello"), bytes.rfind("alpha-vello"));
  EXPECT_EQ(bytes.find("local"), bytes.rfind("local"));
  EXPECT_EQ(bytes.find("ALPHA"), std::string::npos);  // the same name, whatever its case

  Message m = ReadMessage(bytes);
  ASSERT_EQ(m.answers.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SameRecord(m.answers[i], records[i]));
    EXPECT_EQ(m.answers[i].ttl, records[i].ttl);
    EXPECT_EQ(m.answers[i].cacheFlush, records[i].cacheFlush);
  }
}

TEST(MessageWriter, ARecordThatDoesNotFitLeavesNothingBehind) {
  MessageWriter w(0, kFlagResponse);
  ASSERT_TRUE(w.AddAnswer(MakeA(N("a.local"), 1, 120, true)));
  const std::string before = w.bytes();
  // Too big for the limit: refused whole, and its names are forgotten, so a
  // later record cannot point into bytes that were taken back.
  Record big = MakeTxt(N("new-name.example.local"), {std::string(200, 't')}, 4500, false);
  EXPECT_FALSE(w.AddAnswer(big, before.size() + 100));
  EXPECT_EQ(w.bytes(), before);
  ASSERT_TRUE(w.AddAnswer(MakePtr(N("x.local"), N("new-name.example.local"), 4500)));
  Message m = ReadMessage(w.bytes());
  ASSERT_EQ(m.answers.size(), 2u);
  EXPECT_TRUE(SameName(m.answers[1].ptr()->target, N("new-name.example.local")));
}

TEST(MessageWriter, RefusesWhatCannotBeWritten) {
  MessageWriter w(0, 0);
  w.AddAnswer(MakeA(N("a.local"), 1, 120, false));
  EXPECT_THROW(w.AddQuestion({N("a.local"), kTypeA, kClassIn, false}), std::logic_error);
  w.AddAdditional(MakeA(N("a.local"), 2, 120, false));
  EXPECT_THROW(w.AddAnswer(MakeA(N("a.local"), 3, 120, false)), std::logic_error);
  Name tooLong;
  tooLong.labels = {std::string(64, 'x'), "local"};
  EXPECT_THROW(MessageWriter(0, 0).AddAnswer(MakeA(tooLong, 1, 120, false)), std::invalid_argument);
  EXPECT_THROW(MessageWriter(0, 0).AddAnswer(MakeTxt(N("t.local"), {std::string(256, 'x')}, 1, false)),
               std::invalid_argument);
}

TEST(DnsName, ComparesAsciiLettersWithoutCaseAndOtherBytesExactly) {
  EXPECT_TRUE(SameName(N("Alpha._VELLO._tcp.local"), N("alpha._vello._TCP.Local")));
  EXPECT_FALSE(SameName(N("alpha.local"), N("alpha.local.local")));
  // "É" and "é" in UTF-8 are different instance names.
  EXPECT_FALSE(SameLabel("\xC3\x89", "\xC3\xA9"));
  EXPECT_EQ(NameKey(N("PC01.local")), NameKey(N("pc01.LOCAL")));
  // A label may hold a dot: it stays one label and its text says so.
  Name dotted;
  dotted.labels = {"my.pc", "local"};
  EXPECT_EQ(dotted.ToText(), "my\\.pc.local");
  EXPECT_NE(NameKey(dotted), NameKey(N("my.pc.local")));
}

TEST(DnsName, FoldsTheCaseOfEveryAsciiLetterAndOfNothingElse) {
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {
      {"A", "a", true},      {"Z", "z", true},   {"pc-Z", "PC-z", true}, {"zulu", "ZULU", true},
      {"@", "`", false},     {"[", "{", false},  {"Z", "[", false},      {"\xC3\x9A", "\xC3\xBA", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(SameLabel(c.a, c.b), c.same);
    EXPECT_EQ(NameKey(Name{{c.a, "local"}}) == NameKey(Name{{c.b, "local"}}), c.same);
  }
}

TEST(DnsName, LabelsOfUpTo63BytesAreValid) {
  for (std::size_t bytes : {1u, 62u, 63u, 64u}) {
    SCOPED_TRACE(bytes);
    Name name;
    name.labels = {std::string(bytes, 'x'), "local"};
    EXPECT_EQ(name.IsValid(), bytes <= 63);
  }
}
