// Several destinations in one destination box, with the address book.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "settings/destinations.h"

using namespace vello;

namespace vello {
void PrintTo(const ResolvedDestination& d, std::ostream* out) { *out << "{" << d.name << " | " << d.host << "}"; }
}  // namespace vello

TEST(SeveralDestinations, SplitAtCommasAndSemicolonsWithoutSpacesOrEmptyParts) {
  struct Case {
    std::string text;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {"pc-a", {"pc-a"}},
      {"pc-a,pc-b;pc-c", {"pc-a", "pc-b", "pc-c"}},
      {"  pc-a ,  pc-b  ", {"pc-a", "pc-b"}},
      {"　pc-a　,　　pc-b　 ", {"pc-a", "pc-b"}},  // full-width spaces
      {",,; ,　;", {}},
      {"", {}},
      {"表示,ソフト;能力", {"表示", "ソフト", "能力"}},  // trail bytes 0x5C
      {"求@, ァ@", {"求@", "ァ@"}},  // trail bytes 0x81 and 0x40 before "@": no full-width space
      {"中　央", {"中　央"}},         // spaces inside stay
      {"\x81,x", {"\x81", "x"}},     // a lead byte cut off before a separator
      {"*営業, 192.168.0.7", {"*営業", "192.168.0.7"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitDestinations(c.text), c.parts) << c.text;
}

TEST(SeveralDestinations, NicknamesResolveAndAddressesMayListSeveral) {
  const std::vector<std::string> book = {
      "営業 : pc-a, pc-b;pc-c",
      "表 : ソフト室",
      "ソ部 : pc-b",         // pc-b again
      "loop : *営業, pc-d",  // a nickname in an address is not looked up
      "a,b : pc-e",          // a nickname holding a separator
      "empty : ",
      "表 : later-line",  // the first line wins, as the composer resolves
      "no separator line",
  };
  using D = ResolvedDestination;
  struct Case {
    std::string text;
    std::vector<D> destinations;
    std::vector<std::string> unresolved;
  };
  const Case cases[] = {
      {"*表", {{"*表", "ソフト室"}}, {}},
      {"*営業", {{"*営業 (pc-a)", "pc-a"}, {"*営業 (pc-b)", "pc-b"}, {"*営業 (pc-c)", "pc-c"}}, {}},
      {"pc-z; *表 ,*ソ部", {{"pc-z", "pc-z"}, {"*表", "ソフト室"}, {"*ソ部", "pc-b"}}, {}},
      // The same host twice (letter case ignored) goes once, under its first name.
      {"PC-B, *営業, pc-b", {{"PC-B", "PC-B"}, {"*営業 (pc-a)", "pc-a"}, {"*営業 (pc-c)", "pc-c"}}, {}},
      {"*loop", {{"*loop (pc-d)", "pc-d"}}, {"*営業"}},
      {"*a,b", {{"*a,b", "pc-e"}}, {}},
      {"pc-1, *a,b ;pc-2", {{"pc-1", "pc-1"}, {"*a,b", "pc-e"}, {"pc-2", "pc-2"}}, {}},
      // Unknown nicknames are told, once each, not dropped.
      {"*nobody, pc-x, *nobody;*empty", {{"pc-x", "pc-x"}}, {"*nobody", "*empty"}},
      {"*no separator line", {}, {"*no separator line"}},
      {"*", {}, {"*"}},
      {" , ;　", {}, {}},
  };
  for (const Case& c : cases) {
    DestinationResolution got = ResolveDestinations(c.text, book);
    EXPECT_EQ(got.destinations, c.destinations) << c.text;
    EXPECT_EQ(got.unresolved, c.unresolved) << c.text;
  }
}

TEST(SeveralDestinations, TheWholeTextOfOneEntryResolvesAsTheComposerAlwaysDid) {
  // A nickname with spaces at its end and separators inside, picked from
  // the list: the entry as it is, byte for byte.
  const std::vector<std::string> book = {" 総務; 人事  : pc-f", "empty : "};
  DestinationResolution got = ResolveDestinations("* 総務; 人事 ", book);
  EXPECT_EQ(got.destinations, (std::vector<ResolvedDestination>{{"* 総務; 人事 ", "pc-f"}}));
  EXPECT_TRUE(got.unresolved.empty());
  got = ResolveDestinations("*empty", book);
  EXPECT_TRUE(got.destinations.empty());
  EXPECT_EQ(got.unresolved, std::vector<std::string>{"*empty"});
}
