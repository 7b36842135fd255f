#pragma once
// Text from the terminal on its way to the wire: UTF-8 in, code page 932 out,
// and the composer's line rule.
#include <stdexcept>
#include <string>
#include <string_view>

namespace vello::send {

// Text the wire cannot carry. The message is UTF-8, for the terminal.
class TextError : public std::runtime_error {
 public:
  explicit TextError(const std::string& message) : std::runtime_error(message) {}
};

// Converts UTF-8 to code page 932. A byte sequence that is not UTF-8, or a
// character code page 932 has no place for, throws TextError naming it and
// where it stands; nothing is ever replaced by "?".
std::string Utf8ToCp932(std::string_view utf8);

// The composer's lines: every line of the text followed by CR LF, where a
// line ends at CR LF, CR or LF and an empty last line is not a line. So
// "a\nb\n" and "a\nb" both give "a\r\nb\r\n", and "" gives "".
std::string ComposerLines(std::string_view cp932);

// The position of a byte offset for messages: "line 2, column 5" (columns
// count characters, both from 1). `utf8` is the text the offset points into.
std::string DescribePosition(std::string_view utf8, std::size_t offset);

// Decodes the UTF-8 character at `offset`; returns its length in bytes and
// sets `codePoint`, or returns 0 when the bytes there are not UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t DecodeUtf8(std::string_view utf8, std::size_t offset, char32_t& codePoint);

// Throws TextError naming the first byte that is not UTF-8.
void CheckUtf8(std::string_view utf8);

// A message naming the character at `offset` that code page 932 cannot hold.
std::string UnmappableMessage(std::string_view utf8, std::size_t offset);

}  // namespace vello::send
