#include "messaging/waiting_message.h"

#include <array>
#include <charconv>
#include <set>

namespace vello {

namespace {

constexpr std::string_view kCheckField = ",check=";
constexpr char kHex[] = "0123456789ABCDEF";

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Crc32(std::string_view bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (char b : bytes) c = kCrcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string CheckText(std::string_view record) {
  std::string out(8, '0');
  uint32_t crc = Crc32(record);
  for (int i = 7; i >= 0; --i, crc >>= 4) out[static_cast<std::size_t>(i)] = kHex[crc & 0xF];
  return out;
}

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == '%' || c == ','; }

void AppendEscaped(std::string& out, std::string_view value) {
  for (char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Byte by byte: "%" is never the second byte of a double-byte character.
std::optional<std::string> Unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return std::nullopt;
    const int high = HexValue(value[i + 1]), low = HexValue(value[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const auto c = static_cast<unsigned char>(high << 4 | low);
    // Each byte has one spelling, so a record reads back exactly as written.
    if (!NeedsEscape(c)) return std::nullopt;
    out += static_cast<char>(c);
    i += 2;
  }
  return out;
}

template <typename Int>
bool ParseNumber(std::string_view text, Int& out) {
  if (text.empty() || text.front() == '+') return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

std::string_view StateText(WaitState state) {
  switch (state) {
    case WaitState::kSending:
      return "sending";
    case WaitState::kUnknown:
      return "unknown";
    case WaitState::kWaiting:
      break;
  }
  return "waiting";
}

std::optional<WaitState> ParseState(std::string_view text) {
  for (WaitState s : {WaitState::kWaiting, WaitState::kSending, WaitState::kUnknown})
    if (StateText(s) == text) return s;
  return std::nullopt;
}

class RecordWriter {
 public:
  void Add(std::string_view name, std::string_view value) {
    if (!out_.empty()) out_ += ',';
    out_ += name;
    out_ += '=';
    AppendEscaped(out_, value);
  }
  void Add(std::string_view name, int64_t value) { Add(name, std::to_string(value)); }
  void AddRaw(std::string_view field) {
    if (!out_.empty()) out_ += ',';
    out_ += field;
  }
  void FinishInto(std::string& file) {
    file += out_;
    file += kCheckField;
    file += CheckText(out_);
    file += "\r\n";
  }

 private:
  std::string out_;
};

void AppendRecord(std::string& file, const WaitingMessage& m) {
  RecordWriter w;
  w.Add("id", m.id);
  w.Add("dest", m.destination);
  w.Add("host", m.host);
  w.Add("written", m.writtenAt);
  w.Add("expires", m.expiresAt);
  w.Add("attempts", m.attempts);
  w.Add("failures", m.failuresSinceSeen);
  w.Add("next", m.nextAttemptAt);
  w.Add("state", StateText(m.state));
  w.Add("reason", m.lastReason);
  w.Add("schedule", m.scheduleKey);
  w.Add("width", m.look.width);
  w.Add("height", m.look.height);
  w.Add("color", m.look.color);
  w.Add("fontColor", m.look.fontColor);
  w.Add("fontSize", m.look.fontSize);
  w.Add("font", m.look.fontName);
  w.Add("style", m.look.fontStyle);
  w.Add("importance", m.importance);
  for (const std::string& field : m.laterFields) w.AddRaw(field);
  // The text last, so that a person reading the file sees the short fields
  // of each line first.
  w.Add("text", m.text);
  w.FinishInto(file);
}

// One field's value into its place in the message; false when it does not
// read as that field's kind.
bool ReadField(WaitingMessage& m, std::string_view name, std::string value) {
  if (name == "id") m.id = std::move(value);
  else if (name == "dest") m.destination = std::move(value);
  else if (name == "host") m.host = std::move(value);
  else if (name == "written") return ParseNumber(value, m.writtenAt);
  else if (name == "expires") return ParseNumber(value, m.expiresAt);
  else if (name == "attempts") return ParseNumber(value, m.attempts);
  else if (name == "failures") return ParseNumber(value, m.failuresSinceSeen);
  else if (name == "next") return ParseNumber(value, m.nextAttemptAt);
  else if (name == "state") {
    std::optional<WaitState> state = ParseState(value);
    if (!state) return false;
    m.state = *state;
  } else if (name == "reason") m.lastReason = std::move(value);
  else if (name == "schedule") m.scheduleKey = std::move(value);
  else if (name == "width") return ParseNumber(value, m.look.width);
  else if (name == "height") return ParseNumber(value, m.look.height);
  else if (name == "color") return ParseNumber(value, m.look.color);
  else if (name == "fontColor") return ParseNumber(value, m.look.fontColor);
  else if (name == "fontSize") return ParseNumber(value, m.look.fontSize);
  else if (name == "font") m.look.fontName = std::move(value);
  else if (name == "style") return ParseNumber(value, m.look.fontStyle);
  else if (name == "importance") m.importance = std::move(value);
  else if (name == "text") m.text = std::move(value);
  return true;
}

constexpr std::array<std::string_view, 20> kKnownFields = {
    "id",    "dest",      "host",     "written", "expires", "attempts",   "failures",
    "next",  "state",     "reason",   "schedule", "width",  "height",     "color",
    "fontColor", "fontSize", "font",  "style",   "importance", "text"};

std::optional<WaitingMessage> ReadRecord(std::string_view line) {
  const std::size_t checkAt = line.rfind(kCheckField);
  if (checkAt == std::string_view::npos) return std::nullopt;
  const std::string_view body = line.substr(0, checkAt);
  if (line.substr(checkAt + kCheckField.size()) != CheckText(body)) return std::nullopt;

  WaitingMessage m;
  std::array<bool, kKnownFields.size()> seen{};
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find(',', start);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view field = body.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    const std::string_view name = field.substr(0, equals);
    std::optional<std::string> value = Unescape(field.substr(equals + 1));
    if (!value) return std::nullopt;
    std::size_t known = 0;
    while (known < kKnownFields.size() && kKnownFields[known] != name) ++known;
    if (known == kKnownFields.size()) {
      if (name == "check") return std::nullopt;
      m.laterFields.emplace_back(field);
      continue;
    }
    if (seen[known] || !ReadField(m, name, std::move(*value))) return std::nullopt;
    seen[known] = true;
  }
  for (bool s : seen)
    if (!s) return std::nullopt;
  if (m.id.empty()) return std::nullopt;
  return m;
}

// Lines end at LF, a CR before it included; what follows the last LF is a
// line of its own (a file cut short), without a CR at its end (cut between
// the two bytes of the line break, the record is whole).
std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

std::string HeaderLine() { return std::string(kWaitingFormat) + " " + std::to_string(kWaitingFormatVersion); }

}  // namespace

std::string EncodeWaitingFile(const std::vector<WaitingMessage>& messages, const std::vector<std::string>& unreadable) {
  std::string file = HeaderLine() + "\r\n";
  for (const WaitingMessage& m : messages) AppendRecord(file, m);
  for (const std::string& line : unreadable) {
    file += line;
    file += "\r\n";
  }
  return file;
}

std::optional<int> WaitingFileVersion(std::string_view bytes) {
  const std::vector<std::string_view> lines = Lines(bytes.substr(0, bytes.find('\n') + 1));
  if (lines.empty()) return std::nullopt;
  std::string_view line = lines.front();
  if (line.size() <= kWaitingFormat.size() + 1 || line.substr(0, kWaitingFormat.size()) != kWaitingFormat ||
      line[kWaitingFormat.size()] != ' ')
    return std::nullopt;
  int version = 0;
  if (!ParseNumber(line.substr(kWaitingFormat.size() + 1), version) || line[kWaitingFormat.size() + 1] == '-')
    return std::nullopt;
  return version;
}

std::vector<WaitingMessage> DecodeWaitingFile(std::string_view bytes, std::vector<std::string>* unreadable) {
  std::vector<std::string> ignored;
  std::vector<std::string>& aside = unreadable ? *unreadable : ignored;
  aside.clear();
  std::vector<WaitingMessage> messages;
  std::vector<std::string_view> lines = Lines(bytes);
  const std::optional<int> version = WaitingFileVersion(bytes);
  const bool ours = version == kWaitingFormatVersion;
  std::set<std::string> ids;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    if (ours && i == 0) continue;
    std::optional<WaitingMessage> m = ours || !version ? ReadRecord(lines[i]) : std::nullopt;
    if (m && ids.insert(m->id).second) {
      messages.push_back(std::move(*m));
    } else {
      aside.emplace_back(lines[i]);
    }
  }
  return messages;
}

bool SettleInterruptedAttempts(std::vector<WaitingMessage>& messages) {
  bool changed = false;
  for (WaitingMessage& m : messages) {
    if (m.state != WaitState::kSending) continue;
    m.state = WaitState::kUnknown;
    changed = true;
  }
  return changed;
}

}  // namespace vello
