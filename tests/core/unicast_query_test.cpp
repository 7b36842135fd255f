// Queries to the site's DNS server and its answers: the query's bytes, an
// answer matched to its id and question, the records kept, truncation,
// negative answers, hostile answers, and DNS over TCP's length prefix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/unicast_query.h"

using namespace vello::dns;
using namespace std::string_literals;
using Outcome = UnicastAnswer::Outcome;

namespace {

Name N(const char* dotted) { return Name::FromDotted(dotted); }

const Question kAsked{N("_vello._tcp.example.com"), kTypePtr, kClassIn, false};

std::string Answer(std::uint16_t id, std::uint16_t flags, const Question& q, const std::vector<Record>& answers,
                   const std::vector<Record>& authorities = {}) {
  MessageWriter w(id, flags);
  w.AddQuestion(q);
  for (const Record& r : answers) w.AddAnswer(r);
  for (const Record& r : authorities) w.AddAuthority(r);
  return w.bytes();
}

constexpr std::uint16_t kResponse = kFlagResponse | kFlagRecursionDesired;

}  // namespace

TEST(UnicastQuery, QueryBytesAskOneQuestionWithRecursionDesired) {
  const std::string expected =
      "\xBE\xEF\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"  // id, RD, one question
      "\x06_vello\x04_tcp\x07" "example\x03" "com\x00"
      "\x00\x0C\x00\x01"s;  // PTR, IN
  EXPECT_EQ(BuildQuery(0xBEEF, kAsked.name, kTypePtr), expected);
}

TEST(UnicastQuery, RcodesAreNamed) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "NOERROR"}, {2, "SERVFAIL"}, {3, "NXDOMAIN"}, {5, "REFUSED"},  {6, "YXDOMAIN"},
      {7, "YXRRSET"}, {8, "NXRRSET"},  {9, "NOTAUTH"},  {10, "NOTZONE"}, {11, "RCODE11"}};
  for (const auto& [code, name] : cases) EXPECT_EQ(RcodeName(code), name) << code;
}

TEST(UnicastQuery, AnswerKeepsOnlyRecordsOfTheQuestion) {
  const Record wanted = MakePtr(N("_vello._tcp.EXAMPLE.com"), N("alpha._vello._tcp.example.com"), 300);
  const Record otherName = MakePtr(N("_vello._tcp.evil.org"), N("beta._vello._tcp.evil.org"), 300);
  const Record otherType = MakeA(N("_vello._tcp.example.com"), 0x0A000001, 300, false);
  const UnicastAnswer a = ReadAnswer(Answer(7, kResponse, kAsked, {otherName, wanted, otherType}), 7, kAsked);
  ASSERT_EQ(a.outcome, Outcome::Answered);
  EXPECT_EQ(a.rcode, 0);
  ASSERT_EQ(a.records.size(), 1u);
  EXPECT_TRUE(SameRecord(a.records[0], wanted));
}

TEST(UnicastQuery, AnswersToAnotherQueryAreNotOurs) {
  const Record r = MakePtr(kAsked.name, N("alpha._vello._tcp.example.com"), 300);
  Question otherName = kAsked;
  otherName.name = N("_vello._tcp.example.net");
  Question otherType = kAsked;
  otherType.type = kTypeSrv;
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"another id", Answer(8, kResponse, kAsked, {r})},
      {"a query, not a response", Answer(7, kFlagRecursionDesired, kAsked, {r})},
      {"another name asked", Answer(7, kResponse, otherName, {r})},
      {"another type asked", Answer(7, kResponse, otherType, {r})},
      {"an update's answer", Answer(7, kResponse | (kOpcodeUpdate << 11), kAsked, {r})},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAnswer(c.bytes, 7, kAsked).outcome, Outcome::NotOurs) << c.what;
}

TEST(UnicastQuery, TruncatedAnswerAsksForTcp) {
  const UnicastAnswer a = ReadAnswer(Answer(7, kResponse | kFlagTruncated, kAsked, {}), 7, kAsked);
  EXPECT_EQ(a.outcome, Outcome::Truncated);
  EXPECT_TRUE(a.records.empty());
}

TEST(UnicastQuery, NegativeAnswerCarriesTheSoaLifetime) {
  Record soa{N("example.com"), kTypeSoa, kClassIn, false, 300, RawData{std::string(22, '\0')}};
  const UnicastAnswer a = ReadAnswer(Answer(7, kResponse | 3, kAsked, {}, {soa}), 7, kAsked);
  ASSERT_EQ(a.outcome, Outcome::Answered);
  EXPECT_EQ(a.rcode, static_cast<int>(Rcode::NxDomain));
  ASSERT_TRUE(a.negativeTtl.has_value());
  EXPECT_EQ(*a.negativeTtl, 300u);
  EXPECT_FALSE(ReadAnswer(Answer(7, kResponse | 2, kAsked, {}), 7, kAsked).negativeTtl.has_value());
}

TEST(UnicastQuery, HostileAnswersAreRefused) {
  // 1025 small records: within what the bytes can hold, over our bound.
  std::vector<Record> many(kMaxAnswerRecords + 1, MakeA(kAsked.name, 1, 60, false));
  const std::string crowd = Answer(7, kResponse, kAsked, many);
  EXPECT_EQ(ReadAnswer(crowd, 7, kAsked).outcome, Outcome::Oversized);
  many.pop_back();
  EXPECT_EQ(ReadAnswer(Answer(7, kResponse, kAsked, many), 7, kAsked).outcome, Outcome::Answered);

  std::string loop = Answer(7, kResponse, kAsked, {});
  loop[7] = 1;                        // one answer...
  loop += "\xC0"s + char(loop.size()); // ...whose name points at itself
  loop += std::string(10, '\0');
  EXPECT_EQ(ReadAnswer(loop, 7, kAsked).outcome, Outcome::Malformed);

  std::string huge = Answer(7, kResponse, kAsked, {});
  huge.resize(0x10000, '\0');
  EXPECT_EQ(ReadAnswer(huge, 7, kAsked).outcome, Outcome::Oversized);
  EXPECT_EQ(ReadAnswer("\x00\x07\x80", 7, kAsked).outcome, Outcome::Malformed);
}

TEST(UnicastQuery, TcpFramesCarryTheLengthInFront) {
  const std::string query = BuildQuery(0x1234, kAsked.name, kTypePtr);
  const std::string frame = TcpFrame(query);
  EXPECT_EQ(frame.substr(0, 2), "\x00\x29"s);  // 41 bytes
  EXPECT_EQ(frame.substr(2), query);
  EXPECT_THROW(TcpFrame(std::string(0x10000, 'x')), std::length_error);
  EXPECT_EQ(TcpFrame(std::string(0xFFFF, 'x')).substr(0, 2), "\xFF\xFF"s);

  // Byte by byte, then two messages in one read.
  TcpFrameReader reader;
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    reader.Append(frame.substr(i, 1));
    EXPECT_FALSE(reader.Next().has_value()) << i;
  }
  reader.Append(frame.substr(frame.size() - 1));
  EXPECT_EQ(reader.Next(), query);
  reader.Append(frame + frame + frame.substr(0, 5));
  EXPECT_EQ(reader.Next(), query);
  EXPECT_EQ(reader.Next(), query);
  EXPECT_FALSE(reader.Next().has_value());
  EXPECT_EQ(reader.buffered(), 5u);
}

TEST(UnicastQuery, TcpLengthTooShortForAHeaderBreaksTheStream) {
  TcpFrameReader reader;
  reader.Append("\x00\x0B"s + std::string(11, 'x') + TcpFrame(BuildQuery(1, kAsked.name, kTypePtr)));
  EXPECT_FALSE(reader.Next().has_value());
  EXPECT_TRUE(reader.broken());
  EXPECT_EQ(reader.buffered(), 0u);
}
