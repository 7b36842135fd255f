#include "vello_send/text_convert.h"

#include <cstdio>

#include "common/sjis.h"

namespace vello::send {

std::string ComposerLines(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() + 16);
  for (const std::string& line : SplitLines(cp932)) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::size_t DecodeUtf8(std::string_view utf8, std::size_t offset, char32_t& codePoint) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(offset);
  std::size_t length;
  char32_t value, minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (utf8.size() - offset < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char c = byte(offset + k);
    if ((c & 0xC0) != 0x80) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  codePoint = value;
  return length;
}

std::string DescribePosition(std::string_view utf8, std::size_t offset) {
  std::size_t line = 1, column = 1, i = 0;
  while (i < offset && i < utf8.size()) {
    const char c = utf8[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      ++i;
      ++line;
      column = 1;
      continue;
    }
    char32_t ignored;
    const std::size_t n = DecodeUtf8(utf8, i, ignored);
    i += n == 0 ? 1 : n;
    ++column;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

void CheckUtf8(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t ignored;
    const std::size_t n = DecodeUtf8(utf8, i, ignored);
    if (n == 0) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(utf8[i]));
      throw TextError(std::string("byte ") + byte + " (" + DescribePosition(utf8, i) + ") is not UTF-8");
    }
    i += n;
  }
}

std::string UnmappableMessage(std::string_view utf8, std::size_t offset) {
  char32_t codePoint = 0;
  const std::size_t n = DecodeUtf8(utf8, offset, codePoint);
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codePoint));
  std::string shown;
  // Control characters are named by their code only; printing them would
  // garble the one-line message.
  if (codePoint >= 0x20 && codePoint != 0x7F && !(codePoint >= 0x80 && codePoint < 0xA0))
    shown = "\"" + std::string(utf8.substr(offset, n)) + "\" ";
  return shown + "(" + code + ", " + DescribePosition(utf8, offset) + ") is not in code page 932";
}

}  // namespace vello::send
