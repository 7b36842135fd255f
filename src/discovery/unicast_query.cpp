#include "discovery/unicast_query.h"

#include <stdexcept>

namespace vello::dns {

namespace {

constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kMaxMessageBytes = 0xFFFF;

std::size_t Count16(std::string_view b, std::size_t at) {
  return (static_cast<std::size_t>(static_cast<unsigned char>(b[at])) << 8) |
         static_cast<unsigned char>(b[at + 1]);
}

}  // namespace

std::string RcodeName(int rcode) {
  static const char* const kNames[] = {"NOERROR", "FORMERR",  "SERVFAIL", "NXDOMAIN", "NOTIMP",  "REFUSED",
                                       "YXDOMAIN", "YXRRSET", "NXRRSET",  "NOTAUTH",  "NOTZONE"};
  if (rcode >= 0 && rcode < static_cast<int>(std::size(kNames))) return kNames[rcode];
  return "RCODE" + std::to_string(rcode);
}

std::string BuildQuery(std::uint16_t id, const Name& name, std::uint16_t type) {
  MessageWriter w(id, kFlagRecursionDesired);
  w.AddQuestion(Question{name, type, kClassIn, false});
  return w.bytes();
}

UnicastAnswer ReadAnswer(std::string_view bytes, std::uint16_t id, const Question& question) {
  UnicastAnswer result;
  using Outcome = UnicastAnswer::Outcome;
  if (bytes.size() > kMaxMessageBytes) {
    result.outcome = Outcome::Oversized;
    return result;
  }
  // The counts first: a refused answer costs no reading.
  if (bytes.size() >= kHeaderBytes &&
      Count16(bytes, 6) + Count16(bytes, 8) + Count16(bytes, 10) > kMaxAnswerRecords) {
    result.outcome = Outcome::Oversized;
    return result;
  }
  Message m;
  try {
    m = ReadMessage(bytes);
  } catch (const MalformedMessage&) {
    result.outcome = Outcome::Malformed;
    return result;
  }
  if (!m.IsResponse() || m.id != id || m.Opcode() != kOpcodeQuery || m.questions.size() != 1 ||
      m.questions[0].type != question.type || m.questions[0].qclass != question.qclass ||
      !SameName(m.questions[0].name, question.name)) {
    result.outcome = Outcome::NotOurs;
    return result;
  }
  result.rcode = m.Rcode();
  if (m.IsTruncated()) {
    result.outcome = Outcome::Truncated;
    return result;
  }
  result.outcome = Outcome::Answered;
  for (Record& r : m.answers)
    if (r.type == question.type && r.rrclass == question.qclass && SameName(r.name, question.name))
      result.records.push_back(std::move(r));
  for (const Record& r : m.authorities)
    if (r.type == kTypeSoa) result.negativeTtl = r.ttl;
  return result;
}

std::string TcpFrame(std::string_view message) {
  if (message.size() > kMaxMessageBytes) throw std::length_error("DNS message over 65535 bytes");
  std::string out;
  out += static_cast<char>(message.size() >> 8);
  out += static_cast<char>(message.size() & 0xFF);
  out += message;
  return out;
}

void TcpFrameReader::Append(std::string_view bytes) {
  if (!broken_) buffer_ += bytes;
}

std::optional<std::string> TcpFrameReader::Next() {
  if (broken_ || buffer_.size() < 2) return std::nullopt;
  const std::size_t length = Count16(buffer_, 0);
  if (length < kHeaderBytes) {
    broken_ = true;
    buffer_.clear();
    return std::nullopt;
  }
  if (buffer_.size() - 2 < length) return std::nullopt;
  std::string message = buffer_.substr(2, length);
  buffer_.erase(0, 2 + length);
  return message;
}

}  // namespace vello::dns
