// DNS UPDATE messages: register, refresh and delete, each byte checked by
// hand against RFC 2136's formats (and read back by dnspython when they
// were written), and the server's answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/dns_update.h"
#include "discovery/unicast_query.h"

using namespace vello::dns;
using namespace std::string_literals;

namespace {

Registration Sample() {
  Registration r;
  r.zone = Name::FromDotted("ex.org");
  r.instanceLabel = "al";
  r.host = Name::FromDotted("al-vello.ex.org");
  r.address = 0x0A000005;
  r.port = 5963;
  r.version = "1.5";
  return r;
}

// Offsets: the zone "ex.org" at 12 (0x0C); the instance name at 24 (0x18),
// its "_vello._tcp.ex.org" at 27 (0x1B).
const std::string kHeaderAndZone = "\x01\x02\x28\x00"s;  // id, opcode 5
const std::string kZone = "\x02" "ex\x03org\x00" "\x00\x06\x00\x01"s;  // ex.org SOA IN
const std::string kInstance = "\x02" "al\x06_vello\x04_tcp\xC0\x0C"s;
// SRV data, uncompressed: priority 0, weight 0, port 5963, al-vello.ex.org.
const std::string kSrvData = "\x00\x17" "\x00\x00\x00\x00\x17\x4B\x08" "al-vello\x02" "ex\x03org\x00"s;
const std::string kTtl120 = "\x00\x00\x00\x78"s, kTtl0 = "\x00\x00\x00\x00"s;

// PTR, SRV, TXT replaced, A replaced: the update section of register and
// refresh, after a prerequisite of 27 bytes (ending at 51).
const std::string kOurRecords =
    "\xC0\x1B\x00\x0C\x00\x01"s + kTtl120 + "\x00\x02\xC0\x18"s +  // PTR -> instance
    "\xC0\x18\x00\x21\x00\x01"s + kTtl120 + kSrvData +             // SRV, added
    "\xC0\x18\x00\x10\x00\xFF"s + kTtl0 + "\x00\x00"s +            // TXT RRset deleted (class ANY)
    "\xC0\x18\x00\x10\x00\x01"s + kTtl120 + "\x00\x08\x07ver=1.5"s +  // TXT added
    "\x08" "al-vello\xC0\x0C\x00\x01\x00\xFF"s + kTtl0 + "\x00\x00"s +  // A RRset deleted, host at 132
    "\xC0\x84\x00\x01\x00\x01"s + kTtl120 + "\x00\x04\x0A\x00\x00\x05"s;  // A 10.0.0.5

std::string Counts(int zo, int pr, int up) {
  return std::string{0, static_cast<char>(zo), 0, static_cast<char>(pr), 0, static_cast<char>(up), 0, 0};
}

}  // namespace

TEST(DnsUpdate, MessagesMatchTheRfcByteForByte) {
  struct Case {
    const char* what;
    std::string built, expected;
  };
  const std::vector<Case> cases = {
      {"register: the instance's name not in use (ANY, class NONE)", BuildRegister(0x0102, Sample()),
       kHeaderAndZone + Counts(1, 1, 6) + kZone + kInstance + "\x00\xFF\x00\xFE"s + kTtl0 + "\x00\x00"s +
           kOurRecords},
      {"delete: our pointer (class NONE), the instance's name and the host's A (class ANY)",
       BuildDelete(0x0102, Sample()),
       kHeaderAndZone + Counts(1, 1, 3) + kZone + kInstance + "\x00\x21\x00\x01"s + kTtl0 + kSrvData +
           "\xC0\x1B\x00\x0C\x00\xFE"s + kTtl0 + "\x00\x02\xC0\x18"s +
           "\xC0\x18\x00\xFF\x00\xFF"s + kTtl0 + "\x00\x00"s +
           "\x08" "al-vello\xC0\x0C\x00\x01\x00\xFF"s + kTtl0 + "\x00\x00"s},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected) << c.what;
  // Refresh: register's bytes with our SRV (class IN, TTL 0, its data) as
  // the prerequisite; its 23 bytes of data move the host from 132 to 155.
  std::string refresh = kHeaderAndZone + Counts(1, 1, 6) + kZone + kInstance + "\x00\x21\x00\x01"s + kTtl0 +
                        kSrvData + kOurRecords;
  refresh[refresh.size() - 15] = '\x9B';  // the last A record's pointer to its host
  EXPECT_EQ(BuildRefresh(0x0102, Sample()), refresh);
}

TEST(DnsUpdate, NamesTooLongForTheZoneAreRefused) {
  Registration r = Sample();
  r.zone = Name::FromDotted(std::string(60, 'z') + "." + std::string(60, 'z') + "." + std::string(60, 'z') + ".org");
  r.instanceLabel = std::string(63, 'a');
  EXPECT_THROW(BuildRegister(1, r), std::invalid_argument);
}

TEST(DnsUpdate, ServerAnswersAreReadWithTheirCodes) {
  const Name zone = Name::FromDotted("ex.org");
  auto answer = [&](std::uint16_t id, int opcode, int rcode, const char* zoneName, bool withZone = true) {
    MessageWriter w(id, static_cast<std::uint16_t>(kFlagResponse | (opcode << 11) | rcode));
    if (withZone) w.AddQuestion(Question{Name::FromDotted(zoneName), kTypeSoa, kClassIn, false});
    return w.bytes();
  };
  using Outcome = UpdateAnswer::Outcome;
  struct Case {
    const char* what;
    std::string bytes;
    Outcome outcome;
    int rcode;
  };
  const std::vector<Case> cases = {
      {"done", answer(9, 5, 0, "ex.org"), Outcome::Answered, 0},
      {"refused", answer(9, 5, 5, "EX.org"), Outcome::Answered, 5},
      {"not authoritative", answer(9, 5, 9, "ex.org"), Outcome::Answered, 9},
      {"name held", answer(9, 5, 6, "ex.org"), Outcome::Answered, 6},
      {"our SRV gone", answer(9, 5, 8, "ex.org"), Outcome::Answered, 8},
      {"form error without the zone", answer(9, 5, 1, "", false), Outcome::Answered, 1},
      {"another id", answer(10, 5, 0, "ex.org"), Outcome::NotOurs, 0},
      {"a query's answer", answer(9, 0, 0, "ex.org"), Outcome::NotOurs, 0},
      {"another zone", answer(9, 5, 0, "ex.net"), Outcome::NotOurs, 0},
      {"garbage", "\x00\x09\xA8"s, Outcome::Malformed, 0},
  };
  for (const Case& c : cases) {
    const UpdateAnswer a = ReadUpdateAnswer(c.bytes, 9, zone);
    EXPECT_EQ(a.outcome, c.outcome) << c.what;
    if (c.outcome == Outcome::Answered) {
      EXPECT_EQ(RcodeName(a.rcode), RcodeName(c.rcode)) << c.what;
    }
  }
}
