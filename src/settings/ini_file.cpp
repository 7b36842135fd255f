#include "settings/ini_file.h"

#include <filesystem>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "common/file_io.h"
#include "common/native_path.h"
#include "common/sjis.h"
#include "common/vello_error.h"

namespace vello {

namespace {

namespace fs = std::filesystem;

// GetPrivateProfileStringA callers pass a 2048-byte buffer: one byte is the NUL.
constexpr std::size_t kMaxValueBytes = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum class LineKind { kBlank, kComment, kSection, kKey };

// One line of the file. `start`..`end` is its text, `end`..`next` its line
// break (empty for a last line without one).
struct Line {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t next = 0;
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // section name or key name, blanks dropped
  bool hasValue = false;   // a key line with "="
  std::string_view value;  // after "=", blanks dropped
};

// Offset of the last "]" that is a character of its own, or npos. A trail
// byte of a double-byte character can be 0x5D.
std::size_t LastCloseBracket(std::string_view text) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (text[i] == ']' && CharLength(text, i) == 1) found = i;
  }
  return found;
}

Line ClassifyLine(std::string_view bytes, std::size_t start, std::size_t end, std::size_t next) {
  Line line;
  line.start = start;
  line.end = end;
  line.next = next;
  std::string_view text = TrimBlanks(bytes.substr(start, end - start));
  if (text.empty()) {
    line.kind = LineKind::kBlank;
    return line;
  }
  if (text.front() == ';') {
    line.kind = LineKind::kComment;
    return line;
  }
  if (text.front() == '[') {
    std::size_t close = LastCloseBracket(text);
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = TrimBlanks(text.substr(1, close - 1));
      return line;
    }
    // Without a closing bracket the line is an ordinary key line.
  }
  line.kind = LineKind::kKey;
  // "=" (0x3D) never occurs as a trail byte, so a plain search is exact.
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    line.name = text;
  } else {
    line.name = TrimBlanks(text.substr(0, eq));
    line.hasValue = true;
    line.value = TrimBlanks(text.substr(eq + 1));
  }
  return line;
}

// A UTF-8 byte-order mark, as editors put at the start when they save as
// UTF-8. It is no text of the first line: read as such, it would hide the
// first section's header. It stays in the file, before the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::size_t TextStart(std::string_view bytes) { return bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0; }

// Splits on CR LF, lone CR and lone LF. CR and LF are never trail bytes, so
// the scan needs no character stepping.
std::vector<Line> ParseLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t start = TextStart(bytes);
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    std::size_t next;
    if (end == std::string_view::npos) {
      end = next = bytes.size();
    } else {
      next = end + 1;
      if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
    }
    lines.push_back(ClassifyLine(bytes, start, end, next));
    start = next;
  }
  return lines;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Index of the header of the first section of that name. Lines above the
// first header belong to no section, so an empty name never matches.
std::size_t FindSection(const std::vector<Line>& lines, std::string_view name) {
  if (name.empty()) return kNone;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection && !lines[i].name.empty() &&
        SameTextIgnoreCase(lines[i].name, name)) {
      return i;
    }
  }
  return kNone;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != LineKind::kSection) ++i;
  return i;
}

// The first line of the section that names the key, with or without "=".
std::size_t FindKey(const std::vector<Line>& lines, std::size_t header, std::string_view key) {
  if (key.empty()) return kNone;
  std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind == LineKind::kKey && SameTextIgnoreCase(lines[i].name, key)) return i;
  }
  return kNone;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Cuts at kMaxValueBytes without leaving half of a double-byte character.
std::string CutValue(std::string text) {
  if (text.size() <= kMaxValueBytes) return text;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = CharLength(text, i);
    if (i + n > kMaxValueBytes) break;
    i += n;
  }
  text.resize(i);
  return text;
}

bool EndsWithBreak(std::string_view bytes) {
  return !bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n');
}

std::string ReadAll(const fs::path& path) { return ReadFileBytes(path).value_or(std::string()); }

[[noreturn]] void ThrowNotWritable(const fs::path& path) { throw VelloError(PathText(path) + " に書き込めません"); }

// Keys of the section whose header is at `header`, as the system lists them.
std::vector<std::string> KeysOf(const std::vector<Line>& lines, std::size_t header) {
  std::vector<std::string> keys;
  for (std::size_t i = header + 1, end = SectionEnd(lines, header); i < end; ++i) {
    // An empty name would end a NUL-separated list early: leave it out.
    if (lines[i].kind == LineKind::kKey && lines[i].hasValue && !lines[i].name.empty()) {
      keys.emplace_back(lines[i].name);
    }
  }
  return keys;
}

// Headers of the sections in file order, the first of each name only.
std::vector<std::size_t> DistinctSections(const std::vector<Line>& lines) {
  std::vector<std::size_t> headers;
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::kSection || lines[i].name.empty()) continue;
    if (seen.insert(AsciiUpper(lines[i].name)).second) headers.push_back(i);
  }
  return headers;
}

// A read-modify-write of the whole file under its lock. `change` edits the
// bytes and says whether there is anything to store. A file that exists but
// cannot be read is refused: writing over it would lose what it holds.
template <typename Change>
void EditFile(const fs::path& path, Change&& change) {
  FileLock lock(path);
  if (lock.state() == FileLock::State::kBusy) throw VelloError(FileInUseText(path));
  std::string bytes;
  std::error_code ec;
  if (fs::exists(path, ec)) {
    std::optional<std::string> read = ReadFileBytes(path);
    if (!read) ThrowNotWritable(path);
    bytes = std::move(*read);
  }
  if (!change(bytes)) return;  // nothing to remove: nothing to refuse either
  // A folder that refuses the lock file refuses the new file as well.
  if (lock.state() != FileLock::State::kHeld || !ReplaceFileBytes(path, bytes)) ThrowNotWritable(path);
}

}  // namespace

IniFile::IniFile(fs::path path) : path_(std::move(path)) {}

const fs::path& IniFile::path() const { return path_; }

IniFile IniFile::Held() const {
  IniFile held(path_);
  held.held_ = std::make_shared<const std::string>(Bytes());
  return held;
}

std::string IniFile::Bytes() const { return held_ ? *held_ : ReadAll(path_); }

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  std::string bytes = Bytes();
  std::vector<Line> lines = ParseLines(bytes);
  std::size_t header = FindSection(lines, TrimBlanks(section));
  if (header == kNone) return std::string(def);
  std::size_t at = FindKey(lines, header, TrimBlanks(key));
  if (at == kNone || !lines[at].hasValue) return std::string(def);
  return CutValue(Unquote(lines[at].value));
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  // A missing key reads as an empty text, which does not parse: the default.
  return ParseProfileInteger(ReadString(section, key, "")).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (section.empty() || key.empty()) return;

  held_.reset();
  EditFile(path_, [&](std::string& bytes) {
    std::vector<Line> lines = ParseLines(bytes);
    std::size_t header = FindSection(lines, section);
    if (header == kNone) {
      if (bytes.size() > TextStart(bytes) && !EndsWithBreak(bytes)) bytes += "\r\n";
      bytes.append("[").append(section).append("]\r\n");
      bytes.append(key).append("=").append(value).append("\r\n");
      return true;
    }

    std::size_t at = FindKey(lines, header, key);
    if (at != kNone) {
      // The key keeps the spelling it has in the file; only its line changes.
      const Line& line = lines[at];
      std::string replaced = std::string(line.name) + "=" + std::string(value);
      bytes.replace(line.start, line.end - line.start, replaced);
      return true;
    }

    // A new key goes below the section's last non-blank line, so blank lines
    // that separate it from the next section stay below it.
    std::size_t last = header;
    for (std::size_t i = header + 1, end = SectionEnd(lines, header); i < end; ++i) {
      if (lines[i].kind != LineKind::kBlank) last = i;
    }
    const Line& after = lines[last];
    std::string inserted;
    if (after.next == after.end) inserted = "\r\n";  // last line of the file, unterminated
    inserted.append(key).append("=").append(value).append("\r\n");
    bytes.insert(after.next, inserted);
    return true;
  });
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> IniFile::ReadSections() const {
  std::string bytes = Bytes();
  std::vector<Line> lines = ParseLines(bytes);
  std::vector<std::string> names;
  for (std::size_t header : DistinctSections(lines)) names.emplace_back(lines[header].name);
  return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  std::string bytes = Bytes();
  std::vector<Line> lines = ParseLines(bytes);
  std::size_t header = FindSection(lines, TrimBlanks(section));
  if (header == kNone) return {};
  return KeysOf(lines, header);
}

std::vector<IniSection> IniFile::ReadAllSections() const {
  std::string bytes = Bytes();
  std::vector<Line> lines = ParseLines(bytes);
  std::vector<IniSection> sections;
  for (std::size_t header : DistinctSections(lines))
    sections.push_back({std::string(lines[header].name), KeysOf(lines, header)});
  return sections;
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  held_.reset();
  EditFile(path_, [&](std::string& bytes) {
    std::vector<Line> lines = ParseLines(bytes);
    std::size_t header = FindSection(lines, TrimBlanks(section));
    if (header == kNone) return false;
    std::size_t at = FindKey(lines, header, TrimBlanks(key));
    if (at == kNone) return false;
    bytes.erase(lines[at].start, lines[at].next - lines[at].start);
    return true;
  });
}

namespace {

// Removes the section's header and every line up to the next section.
bool EraseSectionLines(const fs::path& path, std::string& bytes, std::string_view section,
                       bool onlyWithoutKeys) {
  std::vector<Line> lines = ParseLines(bytes);
  std::size_t header = FindSection(lines, TrimBlanks(section));
  if (header == kNone) return false;
  if (onlyWithoutKeys && !KeysOf(lines, header).empty()) {
    if (!MayReplaceFile(path)) ThrowNotWritable(path);
    return false;
  }
  std::size_t end = SectionEnd(lines, header);
  std::size_t from = lines[header].start;
  std::size_t to = end < lines.size() ? lines[end].start : bytes.size();
  bytes.erase(from, to - from);
  return true;
}

}  // namespace

void IniFile::EraseSection(std::string_view section) {
  held_.reset();
  EditFile(path_, [&](std::string& bytes) { return EraseSectionLines(path_, bytes, section, false); });
}

void IniFile::EraseSectionWithoutKeys(std::string_view section) {
  held_.reset();
  EditFile(path_, [&](std::string& bytes) { return EraseSectionLines(path_, bytes, section, true); });
}

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
  std::string prefixed;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    prefixed = "$" + std::string(text.substr(2));
    text = prefixed;
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = !text.empty() && text.front() == '$';
  if (hex) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;

  uint64_t magnitude = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
  }

  if (hex) {
    // Hexadecimal spells the 32 bits themselves: 0x80000005 is a system colour.
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<int32_t>(0 - static_cast<int64_t>(magnitude));
  }
  if (magnitude > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<int32_t>(magnitude);
}

}  // namespace vello
