#include "discovery/dns_message.h"

namespace vello::dns {

namespace {

using Reason = MalformedMessage::Reason;

constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kMinQuestionBytes = 5;  // the root name, type, class
constexpr std::size_t kMinRecordBytes = 11;   // the root name, type, class, TTL, length
constexpr int kMaxPointerJumps = 127;         // a name has at most 127 labels
constexpr std::size_t kMaxLabels = 127;
constexpr std::uint16_t kTopBit = 0x8000;

const char* ReasonText(Reason r) {
  switch (r) {
    case Reason::Truncated: return "DNS message: a field runs past its end";
    case Reason::ImpossibleCount: return "DNS message: more entries than bytes";
    case Reason::BadLabelType: return "DNS message: unknown label type";
    case Reason::BadPointer: return "DNS message: compression pointer not backwards";
    case Reason::TooManyPointers: return "DNS message: too many compression pointers";
    case Reason::NameTooLong: return "DNS message: name too long";
    case Reason::BadRdata: return "DNS message: record data does not fit its type";
  }
  return "DNS message: malformed";
}

// Reads fields from the message; every read is bounded by `end`, which is
// the end of the message or of the record data being read.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : b_(bytes) {}

  std::size_t size() const { return b_.size(); }

  std::uint8_t U8(std::size_t& pos, std::size_t end) const {
    Need(pos, 1, end);
    return static_cast<std::uint8_t>(b_[pos++]);
  }
  std::uint16_t U16(std::size_t& pos, std::size_t end) const {
    Need(pos, 2, end);
    std::uint16_t v = static_cast<std::uint16_t>((Byte(pos) << 8) | Byte(pos + 1));
    pos += 2;
    return v;
  }
  std::uint32_t U32(std::size_t& pos, std::size_t end) const {
    std::uint32_t hi = U16(pos, end);
    return (hi << 16) | U16(pos, end);
  }
  std::string Bytes(std::size_t& pos, std::size_t n, std::size_t end) const {
    Need(pos, n, end);
    std::string s(b_.substr(pos, n));
    pos += n;
    return s;
  }

  // A name at `pos`, which moves past the name's bytes in place. Pointers may
  // only lead to offsets before every byte of the name read so far, so the
  // walk always ends; the bounds on jumps, labels and length keep it short.
  Name ReadName(std::size_t& pos, std::size_t end) const {
    Name name;
    std::size_t cursor = pos;
    std::size_t lowest = pos;  // the earliest offset this name has used
    std::size_t limit = end;
    std::size_t wire = 1;
    int jumps = 0;
    bool jumped = false;
    for (;;) {
      const std::size_t at = cursor;
      std::uint8_t len = U8(cursor, limit);
      if (len == 0) break;
      if ((len & 0xC0) == 0xC0) {
        std::size_t target = (static_cast<std::size_t>(len & 0x3F) << 8) | U8(cursor, limit);
        if (target >= lowest) throw MalformedMessage(Reason::BadPointer, at);
        if (++jumps > kMaxPointerJumps) throw MalformedMessage(Reason::TooManyPointers, at);
        if (!jumped) pos = cursor;
        jumped = true;
        cursor = lowest = target;
        limit = b_.size();  // an earlier name lies anywhere before
        continue;
      }
      if ((len & 0xC0) != 0) throw MalformedMessage(Reason::BadLabelType, at);
      wire += 1 + len;
      if (wire > kMaxNameWireBytes || name.labels.size() >= kMaxLabels)
        throw MalformedMessage(Reason::NameTooLong, at);
      name.labels.push_back(Bytes(cursor, len, limit));
    }
    if (!jumped) pos = cursor;
    return name;
  }

 private:
  unsigned Byte(std::size_t i) const { return static_cast<unsigned char>(b_[i]); }
  void Need(std::size_t pos, std::size_t n, std::size_t end) const {
    if (pos > end || end - pos < n) throw MalformedMessage(Reason::Truncated, pos);
  }
  std::string_view b_;
};

Question ReadQuestion(const Reader& r, std::size_t& pos) {
  Question q;
  q.name = r.ReadName(pos, r.size());
  q.type = r.U16(pos, r.size());
  std::uint16_t cls = r.U16(pos, r.size());
  q.unicastResponse = (cls & kTopBit) != 0;
  q.qclass = cls & ~kTopBit;
  return q;
}

Record ReadRecord(const Reader& r, std::size_t& pos) {
  Record rec;
  rec.name = r.ReadName(pos, r.size());
  rec.type = r.U16(pos, r.size());
  std::uint16_t cls = r.U16(pos, r.size());
  rec.cacheFlush = (cls & kTopBit) != 0;
  rec.rrclass = cls & ~kTopBit;
  rec.ttl = r.U32(pos, r.size());
  std::size_t length = r.U16(pos, r.size());
  if (length > r.size() - pos) throw MalformedMessage(Reason::Truncated, pos);
  const std::size_t start = pos, end = pos + length;
  std::size_t p = start;
  switch (rec.type) {
    case kTypeA:
      if (length != 4) throw MalformedMessage(Reason::BadRdata, start);
      rec.data = AData{r.U32(p, end)};
      break;
    case kTypePtr:
      rec.data = PtrData{r.ReadName(p, end)};
      break;
    case kTypeSrv: {
      SrvData srv;
      srv.priority = r.U16(p, end);
      srv.weight = r.U16(p, end);
      srv.port = r.U16(p, end);
      srv.target = r.ReadName(p, end);
      rec.data = std::move(srv);
      break;
    }
    case kTypeTxt: {
      TxtData txt;
      while (p < end) {
        std::size_t n = r.U8(p, end);
        txt.strings.push_back(r.Bytes(p, n, end));
      }
      rec.data = std::move(txt);
      break;
    }
    default:
      rec.data = RawData{r.Bytes(p, length, end)};
      break;
  }
  if (p != end) throw MalformedMessage(Reason::BadRdata, start);
  pos = end;
  return rec;
}

void AppendName(std::string& out, const Name& name) {
  for (const std::string& l : name.labels) {
    out += static_cast<char>(l.size());
    out += l;
  }
  out += '\0';
}

void Append16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

void CheckName(const Name& name) {
  if (!name.IsValid()) throw std::invalid_argument("DNS name with an empty or over-long label: " + name.ToText());
}

}  // namespace

MalformedMessage::MalformedMessage(Reason reason, std::size_t offset)
    : std::runtime_error(ReasonText(reason)), reason_(reason), offset_(offset) {}

Record MakeA(Name name, std::uint32_t address, std::uint32_t ttl, bool cacheFlush) {
  return Record{std::move(name), kTypeA, kClassIn, cacheFlush, ttl, AData{address}};
}
Record MakePtr(Name name, Name target, std::uint32_t ttl) {
  return Record{std::move(name), kTypePtr, kClassIn, false, ttl, PtrData{std::move(target)}};
}
Record MakeSrv(Name name, std::uint16_t port, Name target, std::uint32_t ttl, bool cacheFlush) {
  return Record{std::move(name), kTypeSrv, kClassIn, cacheFlush, ttl, SrvData{0, 0, port, std::move(target)}};
}
Record MakeTxt(Name name, std::vector<std::string> strings, std::uint32_t ttl, bool cacheFlush) {
  return Record{std::move(name), kTypeTxt, kClassIn, cacheFlush, ttl, TxtData{std::move(strings)}};
}

std::string RdataBytes(const Record& r) {
  std::string out;
  if (const AData* a = r.a()) {
    Append16(out, static_cast<std::uint16_t>(a->address >> 16));
    Append16(out, static_cast<std::uint16_t>(a->address & 0xFFFF));
  } else if (const PtrData* p = r.ptr()) {
    AppendName(out, p->target);
  } else if (const SrvData* s = r.srv()) {
    Append16(out, s->priority);
    Append16(out, s->weight);
    Append16(out, s->port);
    AppendName(out, s->target);
  } else if (const TxtData* t = r.txt()) {
    for (const std::string& s : t->strings) {
      if (s.size() > 255) throw std::invalid_argument("TXT string over 255 bytes");
      out += static_cast<char>(s.size());
      out += s;
    }
    if (out.empty()) out += '\0';  // an empty TXT record is one empty string
  } else {
    out = std::get<RawData>(r.data).bytes;
  }
  return out;
}

bool SameRdata(const Record& a, const Record& b) {
  if (a.type != b.type) return false;
  if (a.ptr() && b.ptr()) return SameName(a.ptr()->target, b.ptr()->target);
  if (a.srv() && b.srv())
    return a.srv()->priority == b.srv()->priority && a.srv()->weight == b.srv()->weight &&
           a.srv()->port == b.srv()->port && SameName(a.srv()->target, b.srv()->target);
  return RdataBytes(a) == RdataBytes(b);
}

bool SameRecord(const Record& a, const Record& b) {
  return a.type == b.type && a.rrclass == b.rrclass && SameName(a.name, b.name) && SameRdata(a, b);
}

bool Answers(const Record& r, const Question& q) {
  return (q.type == kTypeAny || q.type == r.type) && (q.qclass == kClassAny || q.qclass == r.rrclass) &&
         SameName(r.name, q.name);
}

Message ReadMessage(std::string_view bytes) {
  Reader r(bytes);
  std::size_t pos = 0;
  Message m;
  m.id = r.U16(pos, r.size());
  m.flags = r.U16(pos, r.size());
  std::size_t qd = r.U16(pos, r.size()), an = r.U16(pos, r.size()), ns = r.U16(pos, r.size()),
              ar = r.U16(pos, r.size());
  // Refuse absurd counts before reserving anything for them.
  if (qd * kMinQuestionBytes + (an + ns + ar) * kMinRecordBytes > bytes.size() - kHeaderBytes)
    throw MalformedMessage(Reason::ImpossibleCount, 4);
  m.questions.reserve(qd);
  for (std::size_t i = 0; i < qd; ++i) m.questions.push_back(ReadQuestion(r, pos));
  for (auto [section, count] : {std::pair{&m.answers, an}, {&m.authorities, ns}, {&m.additionals, ar}}) {
    section->reserve(count);
    for (std::size_t i = 0; i < count; ++i) section->push_back(ReadRecord(r, pos));
  }
  return m;
}

MessageWriter::MessageWriter(std::uint16_t id, std::uint16_t flags) {
  out_.assign(kHeaderBytes, '\0');
  out_[0] = static_cast<char>(id >> 8);
  out_[1] = static_cast<char>(id & 0xFF);
  SetFlags(flags);
}

void MessageWriter::SetFlags(std::uint16_t flags) {
  out_[2] = static_cast<char>(flags >> 8);
  out_[3] = static_cast<char>(flags & 0xFF);
}

bool MessageWriter::AddQuestion(const Question& q, std::size_t limit) {
  if (section_ > 0) throw std::logic_error("a question after a record");
  CheckName(q.name);
  const std::size_t mark = out_.size();
  WriteName(q.name);
  Put16(q.type);
  Put16(static_cast<std::uint16_t>(q.qclass | (q.unicastResponse ? kTopBit : 0)));
  if (out_.size() > limit) {
    Rollback(mark);
    return false;
  }
  Commit(0);
  return true;
}

bool MessageWriter::AddRecord(int section, const Record& r, std::size_t limit) {
  const int index = section + 1;
  if (index < section_) throw std::logic_error("DNS sections out of order");
  CheckName(r.name);
  if (const PtrData* p = r.ptr()) CheckName(p->target);
  if (const SrvData* s = r.srv()) CheckName(s->target);
  // Data without names is complete before anything is written.
  const std::string plain = (r.ptr() || r.srv()) ? std::string() : RdataBytes(r);
  const std::size_t mark = out_.size();
  WriteName(r.name);
  Put16(r.type);
  Put16(static_cast<std::uint16_t>(r.rrclass | (r.cacheFlush ? kTopBit : 0)));
  Put32(r.ttl);
  const std::size_t lengthAt = out_.size();
  Put16(0);
  if (const PtrData* p = r.ptr()) {
    WriteName(p->target);
  } else if (const SrvData* s = r.srv()) {
    Put16(s->priority);
    Put16(s->weight);
    Put16(s->port);
    WriteName(s->target);
  } else {
    out_ += plain;
  }
  const std::size_t length = out_.size() - lengthAt - 2;
  if (out_.size() > limit || length > 0xFFFF) {
    Rollback(mark);
    return false;
  }
  out_[lengthAt] = static_cast<char>(length >> 8);
  out_[lengthAt + 1] = static_cast<char>(length & 0xFF);
  section_ = index;
  Commit(index);
  return true;
}

void MessageWriter::WriteName(const Name& name) {
  for (std::size_t i = 0; i < name.labels.size(); ++i) {
    Name suffix;
    suffix.labels.assign(name.labels.begin() + static_cast<std::ptrdiff_t>(i), name.labels.end());
    std::string key = NameKey(suffix);
    auto known = offsets_.find(key);
    if (known != offsets_.end()) {
      Put16(static_cast<std::uint16_t>(0xC000 | known->second));
      return;
    }
    if (out_.size() < 0x4000) offsets_.emplace(std::move(key), static_cast<std::uint16_t>(out_.size()));
    out_ += static_cast<char>(name.labels[i].size());
    out_ += name.labels[i];
  }
  out_ += '\0';
}

void MessageWriter::Put16(std::uint16_t v) { Append16(out_, v); }

void MessageWriter::Put32(std::uint32_t v) {
  Put16(static_cast<std::uint16_t>(v >> 16));
  Put16(static_cast<std::uint16_t>(v & 0xFFFF));
}

void MessageWriter::Commit(int countIndex) {
  std::size_t n = ++counts_[countIndex];
  std::size_t at = 4 + 2 * static_cast<std::size_t>(countIndex);
  out_[at] = static_cast<char>(n >> 8);
  out_[at + 1] = static_cast<char>(n & 0xFF);
}

void MessageWriter::Rollback(std::size_t mark) {
  out_.resize(mark);
  for (auto it = offsets_.begin(); it != offsets_.end();) {
    if (it->second >= mark) it = offsets_.erase(it);
    else ++it;
  }
}

std::string WriteMessage(const Message& m) {
  MessageWriter w(m.id, m.flags);
  for (const Question& q : m.questions) w.AddQuestion(q);
  for (const Record& r : m.answers) w.AddAnswer(r);
  for (const Record& r : m.authorities) w.AddAuthority(r);
  for (const Record& r : m.additionals) w.AddAdditional(r);
  return w.bytes();
}

}  // namespace vello::dns
