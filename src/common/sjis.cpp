#include "common/sjis.h"

namespace vello {

std::size_t CharLength(std::string_view text, std::size_t i) {
  if (i + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[i]))) return 2;
  return 1;
}

std::string_view WholeCharsPrefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t next = end + CharLength(text, end);
    if (next > maxBytes) break;
    end = next;
  }
  return text.substr(0, end);
}

std::size_t LastCharStart(std::string_view text) {
  if (text.empty()) return std::string_view::npos;
  std::size_t i = 0, last = 0;
  while (i < text.size()) {
    last = i;
    i += CharLength(text, i);
  }
  return last;
}

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i >= from && text.compare(i, needle.size(), needle) == 0) return i;
    i += CharLength(text, i);
  }
  return std::string_view::npos;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      // Byte by byte: CR and LF are never trail bytes, so this is exact for
      // whole characters, and a lead byte cut off right before a break must
      // not swallow the break and join two lines.
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  std::size_t i = 0;
  while (i < out.size()) {
    std::size_t n = CharLength(out, i);
    if (n == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
    i += n;
  }
  return out;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

std::size_t CountChar(std::string_view text, char c) {
  std::size_t count = 0, i = 0;
  while (i < text.size()) {
    std::size_t n = CharLength(text, i);
    if (n == 1 && text[i] == c) ++count;
    i += n;
  }
  return count;
}

}  // namespace vello
