#include "settings/stored_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/text_format.h"
#include "platform/win_text.h"

namespace vello {

namespace {

// At most this many characters are named; more are summed up.
constexpr std::size_t kNamedCharacters = 5;

}  // namespace

std::optional<std::string> OutsideCodePageRefusal(std::string_view what, std::wstring_view typed) {
  if (NarrowExactly(typed)) return std::nullopt;
  // Each character on its own, a surrogate pair as one.
  std::vector<char32_t> missing;
  for (std::size_t i = 0; i < typed.size();) {
    std::size_t n = 1;
    if (typed[i] >= 0xD800 && typed[i] <= 0xDBFF && i + 1 < typed.size() && typed[i + 1] >= 0xDC00 &&
        typed[i + 1] <= 0xDFFF)
      n = 2;
    if (!NarrowExactly(typed.substr(i, n))) {
      char32_t c = n == 2 ? 0x10000 + ((typed[i] - 0xD800) << 10) + (typed[i + 1] - 0xDC00) : typed[i];
      if (std::find(missing.begin(), missing.end(), c) == missing.end()) missing.push_back(c);
    }
    i += n;
  }
  std::string named;
  for (std::size_t i = 0; i < missing.size() && i < kNamedCharacters; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(missing[i]));
    if (!named.empty()) named += ", ";
    named += number;
  }
  if (missing.size() > kNamedCharacters) named += " ほか";
  return FormatText("%sに、保存できない文字 (シフトJIS にない文字: %s) が含まれています。"
                    "保存すると別の文字に変わってしまうため、登録できません。",
                    {std::string(what), named});
}

}  // namespace vello
