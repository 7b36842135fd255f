#pragma once
// One scheduled message as it lies in the schedule file: a fixed 344-byte
// little-endian record. The raw bytes are kept, so fillers and the unused
// bytes after each text survive a load and save byte for byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/message_look.h"

namespace vello {

class TScheduleEntry {
 public:
  static constexpr std::size_t kSize = 344;

  // Field offsets and text capacities within the record.
  static constexpr std::size_t kDateTimeOffset = 0, kDateTimeCapacity = 15;
  static constexpr std::size_t kDestinationOffset = 16, kDestinationCapacity = 20;
  static constexpr std::size_t kWidthOffset = 40, kHeightOffset = 44, kColorOffset = 48;
  static constexpr std::size_t kFontNameOffset = 52, kFontNameCapacity = 20;
  static constexpr std::size_t kFontColorOffset = 76, kFontSizeOffset = 80, kFontStyleOffset = 84;
  static constexpr std::size_t kTextOffset = 85, kTextCapacity = 255;
  static constexpr std::size_t kImportanceOffset = 341, kImportanceCapacity = 1;
  static constexpr std::size_t kSentOffset = 343;

  TScheduleEntry();  // all zero

  // `record` must hold exactly kSize bytes (std::invalid_argument otherwise).
  static TScheduleEntry FromBytes(std::string_view record);
  const std::array<unsigned char, kSize>& bytes() const { return bytes_; }

  // The date-time field holds 15 bytes, one short of a full "2026/12/10 14:05".
  // Such a text is stored without the blank between date and hour and given
  // back whole; any other text longer than 15 bytes is cut to 15.
  std::string DateTime() const;
  void SetDateTime(std::string_view text);

  // Texts longer than their field are cut at the last whole character that
  // fits.
  std::string Destination() const;
  void SetDestination(std::string_view text);  // cut to 20 bytes
  int32_t Width() const;
  void SetWidth(int32_t value);
  int32_t Height() const;
  void SetHeight(int32_t value);
  int32_t Color() const;
  void SetColor(int32_t value);
  std::string FontName() const;
  void SetFontName(std::string_view text);  // cut to 20 bytes
  int32_t FontColor() const;
  void SetFontColor(int32_t value);
  int32_t FontSize() const;
  void SetFontSize(int32_t value);
  uint8_t FontStyle() const;
  void SetFontStyle(uint8_t value);
  std::string Text() const;
  void SetText(std::string_view text);  // cut to 255 bytes
  std::string Importance() const;
  void SetImportance(std::string_view text);  // "P" or "N"; capacity 1
  uint8_t Sent() const;
  void SetSent(uint8_t value);

  // The message's look, from and into Width, Height, Color, FontName,
  // FontColor, FontSize and FontStyle (the name cut to 20 bytes).
  MessageLook Look() const;
  void SetLook(const MessageLook& look);

  friend bool operator==(const TScheduleEntry&, const TScheduleEntry&) = default;

 private:
  // A text field: one length byte, then `capacity` bytes. Setting writes the
  // length and the text and leaves the bytes after it as they were; reading
  // clamps a length byte larger than the capacity.
  std::string ReadText(std::size_t offset, std::size_t capacity) const;
  void WriteText(std::size_t offset, std::size_t capacity, std::string_view text);
  int32_t ReadInt(std::size_t offset) const;
  void WriteInt(std::size_t offset, int32_t value);

  std::array<unsigned char, kSize> bytes_;
};

// Whether two records are one scheduled message, sent or not: every byte
// but the sent mark agrees. How copies sharing a schedule file tell an
// entry again after another copy marked it sent.
bool SameEntry(const TScheduleEntry& a, const TScheduleEntry& b);

// What names an entry outside the schedule file (a message kept for its
// receiver names the entry whose sent mark it sets on delivery): 16 hex
// digits from every byte but the sent mark, so the key is the same before
// and after the mark. Records that are the SameEntry have the same key.
std::string ScheduleKey(const TScheduleEntry& entry);

// The text a scheduled entry stores for the composer's lines (each followed
// by CR LF): the lines as they are when they fit the record, without the
// final line break when only that is too much, and nothing (nullopt) when
// the message itself does not fit.
std::optional<std::string> ScheduledTextFor(std::string_view linesText);

}  // namespace vello
