// Cutting CP932 text to a number of bytes without splitting a character.
#include <gtest/gtest.h>

#include "common/sjis.h"

using namespace vello;

TEST(Sjis, APrefixOfWholeCharacters) {
  struct Case { std::string text; std::size_t max; std::string prefix; } cases[] = {
      {"abc", 5, "abc"},
      {"abc", 2, "ab"},
      {"abc", 0, ""},
      {"あい", 3, "あ"},                 // 82 A0 82 A2: the cut would split い
      {"あい", 4, "あい"},
      {"a饅b", 2, "a"},                  // 饅 = E9 5C: a lead byte from E0 to FC
      {"a饅b", 3, "a饅"},
      {"纊纊", 3, "纊"},                 // 纊 = FA 5C
      {"ｶﾀｶﾅ", 2, "ｶﾀ"},                 // half-width katakana are single bytes
      {std::string("ab\x81"), 3, std::string("ab\x81")},  // a lead byte at the end stays a character
      {std::string("ab\x81"), 2, "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeCharsPrefix(c.text, c.max), c.prefix) << c.text << " " << c.max;
}
