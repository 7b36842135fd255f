#include "schedule/schedule_entry.h"

#include <algorithm>
#include <stdexcept>

#include "common/sjis.h"

namespace vello {

namespace {

// A full date-time text, "2026/12/10 14:05", is the only shape a current-time
// text can have at 16 bytes (four-digit year, every other number two digits).
// It is stored as "2026/12/1014:05": 15 bytes, recognised by this exact shape
// with no blank, which no composed text lacks before its hour.
constexpr std::size_t kFullLength = 16;
constexpr std::size_t kBlankAt = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "dddd/dd/dddd:dd"
bool IsPackedDateTime(std::string_view s) {
  if (s.size() != kFullLength - 1) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char want = (i == 4 || i == 7) ? '/' : (i == 12 ? ':' : '0');
    if (want == '0' ? !IsDigit(s[i]) : s[i] != want) return false;
  }
  return true;
}

std::string UnpackDateTime(std::string_view packed) {
  std::string full(packed.substr(0, kBlankAt));
  full += ' ';
  full.append(packed.substr(kBlankAt));
  return full;
}

}  // namespace

TScheduleEntry::TScheduleEntry() { bytes_.fill(0); }

TScheduleEntry TScheduleEntry::FromBytes(std::string_view record) {
  if (record.size() != kSize) throw std::invalid_argument("schedule record must be 344 bytes");
  TScheduleEntry e;
  std::copy(record.begin(), record.end(), e.bytes_.begin());
  return e;
}

std::string TScheduleEntry::ReadText(std::size_t offset, std::size_t capacity) const {
  std::size_t n = std::min<std::size_t>(bytes_[offset], capacity);
  return std::string(reinterpret_cast<const char*>(bytes_.data()) + offset + 1, n);
}

void TScheduleEntry::WriteText(std::size_t offset, std::size_t capacity, std::string_view text) {
  // A half character would make every receiver of the message refuse it.
  text = WholeCharsPrefix(text, capacity);
  std::size_t n = text.size();
  bytes_[offset] = static_cast<unsigned char>(n);
  std::copy_n(text.begin(), n, bytes_.begin() + static_cast<std::ptrdiff_t>(offset + 1));
}

int32_t TScheduleEntry::ReadInt(std::size_t offset) const {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[offset + static_cast<std::size_t>(i)];
  return static_cast<int32_t>(v);
}

void TScheduleEntry::WriteInt(std::size_t offset, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

std::string TScheduleEntry::DateTime() const {
  std::string stored = ReadText(kDateTimeOffset, kDateTimeCapacity);
  return IsPackedDateTime(stored) ? UnpackDateTime(stored) : stored;
}

void TScheduleEntry::SetDateTime(std::string_view text) {
  if (text.size() == kFullLength && text[kBlankAt] == ' ') {
    std::string packed(text.substr(0, kBlankAt));
    packed.append(text.substr(kBlankAt + 1));
    // Only a text that comes back unchanged is packed; anything else is cut.
    if (IsPackedDateTime(packed) && UnpackDateTime(packed) == text) {
      WriteText(kDateTimeOffset, kDateTimeCapacity, packed);
      return;
    }
  }
  WriteText(kDateTimeOffset, kDateTimeCapacity, text);
}

std::string TScheduleEntry::Destination() const { return ReadText(kDestinationOffset, kDestinationCapacity); }
void TScheduleEntry::SetDestination(std::string_view text) {
  WriteText(kDestinationOffset, kDestinationCapacity, text);
}

int32_t TScheduleEntry::Width() const { return ReadInt(kWidthOffset); }
void TScheduleEntry::SetWidth(int32_t value) { WriteInt(kWidthOffset, value); }
int32_t TScheduleEntry::Height() const { return ReadInt(kHeightOffset); }
void TScheduleEntry::SetHeight(int32_t value) { WriteInt(kHeightOffset, value); }
int32_t TScheduleEntry::Color() const { return ReadInt(kColorOffset); }
void TScheduleEntry::SetColor(int32_t value) { WriteInt(kColorOffset, value); }

std::string TScheduleEntry::FontName() const { return ReadText(kFontNameOffset, kFontNameCapacity); }
void TScheduleEntry::SetFontName(std::string_view text) { WriteText(kFontNameOffset, kFontNameCapacity, text); }
int32_t TScheduleEntry::FontColor() const { return ReadInt(kFontColorOffset); }
void TScheduleEntry::SetFontColor(int32_t value) { WriteInt(kFontColorOffset, value); }
int32_t TScheduleEntry::FontSize() const { return ReadInt(kFontSizeOffset); }
void TScheduleEntry::SetFontSize(int32_t value) { WriteInt(kFontSizeOffset, value); }
uint8_t TScheduleEntry::FontStyle() const { return bytes_[kFontStyleOffset]; }
void TScheduleEntry::SetFontStyle(uint8_t value) { bytes_[kFontStyleOffset] = value; }

std::string TScheduleEntry::Text() const { return ReadText(kTextOffset, kTextCapacity); }
void TScheduleEntry::SetText(std::string_view text) { WriteText(kTextOffset, kTextCapacity, text); }
std::string TScheduleEntry::Importance() const { return ReadText(kImportanceOffset, kImportanceCapacity); }
void TScheduleEntry::SetImportance(std::string_view text) {
  WriteText(kImportanceOffset, kImportanceCapacity, text);
}
uint8_t TScheduleEntry::Sent() const { return bytes_[kSentOffset]; }
void TScheduleEntry::SetSent(uint8_t value) { bytes_[kSentOffset] = value; }

MessageLook TScheduleEntry::Look() const {
  MessageLook look;
  look.width = Width();
  look.height = Height();
  look.color = Color();
  look.fontName = FontName();
  look.fontColor = FontColor();
  look.fontSize = FontSize();
  look.fontStyle = FontStyle();
  return look;
}

void TScheduleEntry::SetLook(const MessageLook& look) {
  SetWidth(look.width);
  SetHeight(look.height);
  SetColor(look.color);
  SetFontName(look.fontName);
  SetFontColor(look.fontColor);
  SetFontSize(look.fontSize);
  SetFontStyle(look.fontStyle);
}

}  // namespace vello

namespace vello {

bool SameEntry(const TScheduleEntry& a, const TScheduleEntry& b) {
  return std::equal(a.bytes().begin(), a.bytes().begin() + TScheduleEntry::kSentOffset, b.bytes().begin()) &&
         std::equal(a.bytes().begin() + TScheduleEntry::kSentOffset + 1, a.bytes().end(),
                    b.bytes().begin() + TScheduleEntry::kSentOffset + 1);
}

std::string ScheduleKey(const TScheduleEntry& entry) {
  // FNV-1a, 64 bits: a user's schedule holds tens of entries, so two
  // different ones sharing a key is out of reach.
  uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < TScheduleEntry::kSize; ++i) {
    if (i == TScheduleEntry::kSentOffset) continue;
    hash = (hash ^ entry.bytes()[i]) * 1099511628211ull;
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string key(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) key[i] = kDigits[hash & 0xF];
  return key;
}

std::optional<std::string> ScheduledTextFor(std::string_view linesText) {
  constexpr std::size_t capacity = TScheduleEntry::kTextCapacity;
  if (linesText.size() <= capacity) return std::string(linesText);
  // The final line break may go, as it always has for a text of exactly
  // the capacity; nothing else of the message may.
  if (linesText.size() <= capacity + 2 && linesText.ends_with("\r\n"))
    return std::string(linesText.substr(0, linesText.size() - 2));
  return std::nullopt;
}

}  // namespace vello
