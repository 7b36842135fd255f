#pragma once
// Ordinary (unicast) DNS over the same codec as multicast DNS: a query to
// the site's server with recursion desired and an id of the caller's
// drawing, the answer matched to its id and question and read with bounds,
// and the two-byte length prefix DNS uses over TCP.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dns_message.h"

namespace vello::dns {

inline constexpr std::uint16_t kTypeSoa = 6;
inline constexpr std::uint16_t kTypeCname = 5;
inline constexpr std::uint16_t kClassNone = 254;
inline constexpr std::uint16_t kFlagRecursionDesired = 0x0100;
inline constexpr int kOpcodeQuery = 0;
inline constexpr int kOpcodeUpdate = 5;

// Response codes, those of RFC 1035 and of DNS UPDATE (RFC 2136).
enum class Rcode : int {
  NoError = 0,
  FormErr = 1,
  ServFail = 2,
  NxDomain = 3,
  NotImp = 4,
  Refused = 5,
  YxDomain = 6,
  YxRrset = 7,
  NxRrset = 8,
  NotAuth = 9,
  NotZone = 10,
};
// "NOERROR", "NXDOMAIN", ...; "RCODE<n>" for codes without a name here.
std::string RcodeName(int rcode);

// A query for one name and type, class IN, recursion desired.
std::string BuildQuery(std::uint16_t id, const Name& name, std::uint16_t type);

// What came back for a query.
struct UnicastAnswer {
  enum class Outcome {
    Answered,    // read; see rcode and the records
    Truncated,   // the TC bit: ask again over TCP
    NotOurs,     // another id, another question, not a response, another opcode
    Malformed,   // bytes the codec refuses
    Oversized,   // more records than kMaxAnswerRecords, or a message over 64 KiB
  };
  Outcome outcome = Outcome::Malformed;
  int rcode = 0;
  // Answer-section records of the name and type asked (a CNAME or any other
  // owner is left out: we never follow names the server chose for us).
  std::vector<Record> records;
  // The lifetime to give an empty answer (NXDOMAIN or no data): the TTL of
  // an SOA in the authority section, as RFC 2308 has servers set it.
  std::optional<std::uint32_t> negativeTtl;
};

// A hostile server's answer may carry thousands of records; an honest one
// for our questions carries tens. A larger answer is refused whole.
inline constexpr std::size_t kMaxAnswerRecords = 1024;

// Reads `bytes` as the answer to the query of `id` for `question`.
UnicastAnswer ReadAnswer(std::string_view bytes, std::uint16_t id, const Question& question);

// DNS over TCP: each message with its length in two bytes in front.
std::string TcpFrame(std::string_view message);  // throws std::length_error over 65535 bytes

// Collects a TCP stream into whole messages.
class TcpFrameReader {
 public:
  void Append(std::string_view bytes);
  // The next whole message, or nothing while it is still arriving. A length
  // under a DNS header's 12 bytes makes the stream broken (see broken()).
  std::optional<std::string> Next();
  bool broken() const { return broken_; }
  std::size_t buffered() const { return buffer_.size(); }

 private:
  std::string buffer_;
  bool broken_ = false;
};

}  // namespace vello::dns
