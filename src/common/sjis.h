#pragma once
// Code page 932 (Shift-JIS) text held as bytes. Every scan that looks for a
// particular byte must step over double-byte characters, whose trail byte
// can be 0x5C ('\') or a letter.
#include <string>
#include <string_view>
#include <vector>

namespace vello {

inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// A byte that can follow a lead byte in a double-byte character.
inline bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Length in bytes of the character starting at text[i] (1 or 2; 1 for a lead
// byte cut off at the end of the text).
std::size_t CharLength(std::string_view text, std::size_t i);

// Offset of the first byte of the last character, or npos for an empty text.
std::size_t LastCharStart(std::string_view text);

// Position of the first occurrence of `needle` that starts on a character
// boundary, or npos.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 0);

// Splits on CR LF, lone CR and lone LF; a break at the very end adds no
// empty line. An empty text gives no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Upper-cases ASCII letters only, never touching the bytes of double-byte
// characters.
std::string AsciiUpper(std::string_view text);

// Equality ignoring the case of ASCII letters (the profile and destination
// rules compare this way).
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

// Number of occurrences of an ASCII byte outside double-byte characters.
std::size_t CountChar(std::string_view text, char c);

// The longest start of the text of at most `maxBytes` bytes that ends on a
// character boundary: a double-byte character is never split.
std::string_view WholeCharsPrefix(std::string_view text, std::size_t maxBytes);

}  // namespace vello
