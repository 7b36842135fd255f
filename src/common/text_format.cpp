#include "common/text_format.h"

#include <vector>

#include "common/sjis.h"

namespace vello {

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::vector<std::string_view> list(args);
  std::string out;
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < pattern.size()) {
    std::size_t n = CharLength(pattern, i);
    if (n == 2 || pattern[i] != '%') {
      out.append(pattern.substr(i, n));
      i += n;
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out.push_back('%');
      i += 2;
      continue;
    }
    // %[N:]s or %[N:]d
    std::size_t j = i + 1;
    std::size_t index = next;
    std::size_t digitsStart = j;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j;
    if (j > digitsStart && j < pattern.size() && pattern[j] == ':') {
      index = std::stoul(std::string(pattern.substr(digitsStart, j - digitsStart)));
      ++j;
    } else {
      j = digitsStart;
    }
    if (j < pattern.size() && (pattern[j] == 's' || pattern[j] == 'd') && index < list.size()) {
      out.append(list[index]);
      next = index + 1;
      i = j + 1;
    } else {
      out.push_back('%');
      ++i;
    }
  }
  return out;
}

std::string ErrorDisplayText(std::string_view message) {
  std::string out(message);
  std::size_t last = LastCharStart(message);
  if (last != std::string_view::npos && static_cast<unsigned char>(message[last]) > '.') out.push_back('.');
  return out;
}

}  // namespace vello
