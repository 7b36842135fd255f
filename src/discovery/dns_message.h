#pragma once
// DNS messages as multicast DNS and DNS service discovery use them: the
// header, questions and resource records (A, PTR, SRV, TXT decoded; any
// other type kept as its bytes), read safely from hostile bytes and written
// with name compression.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "discovery/dns_name.h"

namespace vello::dns {

inline constexpr std::uint16_t kTypeA = 1;
inline constexpr std::uint16_t kTypePtr = 12;
inline constexpr std::uint16_t kTypeTxt = 16;
inline constexpr std::uint16_t kTypeAaaa = 28;
inline constexpr std::uint16_t kTypeSrv = 33;
inline constexpr std::uint16_t kTypeNsec = 47;
inline constexpr std::uint16_t kTypeAny = 255;

inline constexpr std::uint16_t kClassIn = 1;
inline constexpr std::uint16_t kClassAny = 255;

inline constexpr std::uint16_t kFlagResponse = 0x8000;
inline constexpr std::uint16_t kFlagAuthoritative = 0x0400;
inline constexpr std::uint16_t kFlagTruncated = 0x0200;

struct Question {
  Name name;
  std::uint16_t type = kTypePtr;
  std::uint16_t qclass = kClassIn;  // without the top bit
  bool unicastResponse = false;     // the class's top bit in multicast DNS ("QU")
};

// Record data by type. An A address is held in host order (192.0.2.1 is
// 0xC0000201).
struct AData {
  std::uint32_t address = 0;
};
struct PtrData {
  Name target;
};
struct SrvData {
  std::uint16_t priority = 0, weight = 0, port = 0;
  Name target;
};
struct TxtData {
  std::vector<std::string> strings;
};
struct RawData {
  std::string bytes;
};
using Rdata = std::variant<AData, PtrData, SrvData, TxtData, RawData>;

struct Record {
  Name name;
  std::uint16_t type = 0;
  std::uint16_t rrclass = kClassIn;  // without the top bit
  bool cacheFlush = false;           // the class's top bit in multicast DNS
  std::uint32_t ttl = 0;             // seconds
  Rdata data = RawData{};

  const AData* a() const { return std::get_if<AData>(&data); }
  const PtrData* ptr() const { return std::get_if<PtrData>(&data); }
  const SrvData* srv() const { return std::get_if<SrvData>(&data); }
  const TxtData* txt() const { return std::get_if<TxtData>(&data); }
};

Record MakeA(Name name, std::uint32_t address, std::uint32_t ttl, bool cacheFlush);
Record MakePtr(Name name, Name target, std::uint32_t ttl);
Record MakeSrv(Name name, std::uint16_t port, Name target, std::uint32_t ttl, bool cacheFlush);
Record MakeTxt(Name name, std::vector<std::string> strings, std::uint32_t ttl, bool cacheFlush);

// The record data uncompressed, as the wire carries it.
std::string RdataBytes(const Record& r);
// Same data: names inside compare ignoring ASCII case.
bool SameRdata(const Record& a, const Record& b);
// Same name, type, class and data (the TTL and the cache-flush bit aside).
bool SameRecord(const Record& a, const Record& b);
// Whether the record answers the question (name, type or ANY, class or ANY).
bool Answers(const Record& r, const Question& q);

struct Message {
  std::uint16_t id = 0;
  std::uint16_t flags = 0;
  std::vector<Question> questions;
  std::vector<Record> answers, authorities, additionals;

  bool IsResponse() const { return (flags & kFlagResponse) != 0; }
  bool IsTruncated() const { return (flags & kFlagTruncated) != 0; }
  int Opcode() const { return (flags >> 11) & 0xF; }
  int Rcode() const { return flags & 0xF; }
};

class MalformedMessage : public std::runtime_error {
 public:
  enum class Reason {
    Truncated,        // a field runs past the end of the message or of its record
    ImpossibleCount,  // the counts promise more than the bytes can hold
    BadLabelType,     // a length byte of the reserved kinds 01 or 10
    BadPointer,       // a compression pointer not to an earlier offset
    TooManyPointers,  // more jumps than any honest name needs
    NameTooLong,      // over 255 bytes, or over 127 labels
    BadRdata,         // record data that does not fit its type
  };
  MalformedMessage(Reason reason, std::size_t offset);
  Reason reason() const { return reason_; }
  std::size_t offset() const { return offset_; }

 private:
  Reason reason_;
  std::size_t offset_;
};

// Reads a whole message. Throws MalformedMessage; bytes after the last
// record are ignored.
Message ReadMessage(std::string_view bytes);

// Builds a message section by section, in order (questions, answers,
// authorities, additionals), compressing names. An Add that would take the
// message past `limit` bytes adds nothing and returns false.
class MessageWriter {
 public:
  MessageWriter(std::uint16_t id, std::uint16_t flags);

  bool AddQuestion(const Question& q, std::size_t limit = kNoLimit);
  bool AddAnswer(const Record& r, std::size_t limit = kNoLimit) { return AddRecord(0, r, limit); }
  bool AddAuthority(const Record& r, std::size_t limit = kNoLimit) { return AddRecord(1, r, limit); }
  bool AddAdditional(const Record& r, std::size_t limit = kNoLimit) { return AddRecord(2, r, limit); }
  void SetFlags(std::uint16_t flags);

  std::size_t size() const { return out_.size(); }
  std::size_t questionCount() const { return counts_[0]; }
  std::size_t recordCount() const { return counts_[1] + counts_[2] + counts_[3]; }
  const std::string& bytes() const { return out_; }

  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

 private:
  bool AddRecord(int section, const Record& r, std::size_t limit);
  void WriteName(const Name& name);
  void Put16(std::uint16_t v);
  void Put32(std::uint32_t v);
  void Commit(int countIndex);
  void Rollback(std::size_t mark);

  std::string out_;
  int section_ = 0;  // 0 questions, 1 answers, 2 authorities, 3 additionals
  std::size_t counts_[4] = {};
  std::map<std::string, std::uint16_t> offsets_;  // NameKey of a written suffix -> its offset
};

// The whole message, without a size limit.
std::string WriteMessage(const Message& m);

}  // namespace vello::dns
