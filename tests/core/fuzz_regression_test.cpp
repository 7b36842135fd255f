// Inputs the fuzzers found faults with, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include "common/sjis.h"
#include "settings/address_book.h"

using namespace vello;

TEST(FuzzRegression, LeadByteBeforeALineBreakDoesNotJoinLines) {
  // A lead byte cut off right before CR or LF used to take the break as its
  // trail byte, so the next line was joined to it.
  EXPECT_EQ(SplitLines("a\x81\nb"), (std::vector<std::string>{"a\x81", "b"}));
  EXPECT_EQ(SplitLines("\x81\r\x81\r\n"), (std::vector<std::string>{"\x81", "\x81"}));
  EXPECT_EQ(ParseAddressBook("\x83 : x\r\n\x81  : z\n\x81\ry: w"),
            (std::vector<std::string>{"\x83 : x", "\x81  : z", "\x81", "y: w"}));
}
