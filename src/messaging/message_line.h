#pragma once
// The message line: nine comma-separated fields carrying a message and its
// look, one line per TCP connection. Wire order: width, height, background
// colour, font colour, font size, "font name", style, mark, "text".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/message_look.h"

namespace vello {

// What a composer holds at most, in characters.
inline constexpr std::size_t kComposerMaxCharacters = 65536;
// The one bound for a message on the wire: room for a full composer in the
// worst case (every character a double-byte one, or a double quote that is
// doubled, and a line break after each displayed line), and the look.
// Senders refuse a longer line; receivers drop it.
inline constexpr std::size_t kMaxMessageLineBytes = 320 * 1024;

// The line for a message of this look and text; `importance` is the mark,
// "P" (important) or "N". The font name and the text are quoted so that
// they read back as they are and can never change another field: double
// quotes doubled, NUL bytes and broken double-byte characters left out.
std::string MakeMessageLine(const MessageLook& look, std::string_view text, std::string_view importance);

// Splits comma text into fields: bytes 1-32 between fields are skipped,
// a field in double quotes may hold commas, blanks and line breaks ("" is
// one quote), an unquoted field ends at a comma or a byte 0-32, and a NUL
// byte ends the text. A quoted field whose closing quote never comes runs
// to the end of the data.
std::vector<std::string> SplitCommaText(std::string_view text);

// Whether the bytes hold a whole line: nine fields at least, the text (field
// 8) between quotes and its closing quote there. What a sender wrote before
// it reset its connection is a message only when it is whole.
bool IsWholeMessageLine(std::string_view line);

// Optional '-' then decimal digits; anything else, or a value outside the
// 32-bit range, is nullopt.
std::optional<int32_t> ParseInt32(std::string_view text);

struct ReceivedMessage {
  MessageLook look;        // fields 0 to 6; the style is the low 8 bits of field 6
  bool important = false;  // field 7 is exactly "P"
  std::string text;        // field 8
};

// How much of a field that is not a number an error quotes, in bytes.
inline constexpr std::size_t kQuotedFieldBytes = 16;

// Reads a received line. Throws VelloError with "'%s' は整数ではありません"
// (the start of the offending text, at most kQuotedFieldBytes bytes of whole
// characters followed by "…" where it was cut, control bytes shown as "?") or "リストのインデックスが範囲を超えています (%d)" (the
// missing index). Fields are read in the receiver's order (0, 1, 2, 8, 7, 3,
// 4, 5, 6), so the first error raised is the one the user sees.
ReceivedMessage ReadMessageLine(std::string_view line);

}  // namespace vello
