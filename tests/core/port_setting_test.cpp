// The port box's text at OK: numbers that are no port are refused, however
// many digits they have; a text that is no number is stored as typed.
#include <gtest/gtest.h>

#include "settings/settings_keys.h"

using namespace vello;

TEST(PortSetting, NumbersThatAreNoPortAreRefusedWhateverTheirLength) {
  struct Case { const char* typed; const char* refusedAs; } cases[] = {
      {"5963", nullptr}, {"1", nullptr}, {"65535", nullptr}, {"0x1F", nullptr}, {"$FFFF", nullptr},
      {" 6000 ", nullptr},
      // No number at all: stored as typed, read back as the default.
      {"abc", nullptr}, {"", nullptr}, {"12a", nullptr}, {"-0x10", nullptr}, {"0x", nullptr}, {"1 2", nullptr},
      {"0", "0"}, {"65536", "65536"}, {"70000", "70000"}, {"-1", "-1"}, {"0x10000", "65536"}, {" 70000 ", "70000"},
      {"0xFFFFFFFF", "-1"},
      // Too long for 32 bits: they read back as the default, so they are
      // refused as typed.
      {"4294967296", "4294967296"}, {"99999999999", "99999999999"}, {"-99999999999", "-99999999999"},
      {"0x100000000", "0x100000000"}, {"000000000000000000005963", nullptr},
  };
  for (const auto& c : cases) {
    std::optional<std::string> refusal = PortTextRefusal(c.typed);
    if (c.refusedAs) {
      EXPECT_EQ(refusal, NotAPortText(std::string_view(c.refusedAs))) << c.typed;
    } else {
      EXPECT_EQ(refusal, std::nullopt) << c.typed;
    }
  }
  EXPECT_EQ(NotAPortText(std::string_view("99999999999")),
            "ポート番号 99999999999 は使えません。1 から 65535 までの番号にしてください");
}
