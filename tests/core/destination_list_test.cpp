// Building and refreshing the destination list, and skipping its separator.
#include <gtest/gtest.h>

#include "settings/destination_list.h"

using namespace vello;
using List = std::vector<std::string>;

namespace {

TEST(IsIPAddress, OnlyTheNumberOfDotsCounts) {
  struct Case { const char* text; bool ip; } cases[] = {
    {"192.168.0.1", true}, {"a.b.c.d", true}, {"...", true}, {"pc.example.co.jp", true},
    {"192.168.0", false}, {"", false}, {"1.2.3.4.5", false}, {"PC01", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsIPAddress(c.text), c.ip) << c.text;
}

TEST(BuildDestinationList, BookEntriesSeparatorThenNetworkNotAlreadyWholeLines) {
  List book = {"Taro : 192.168.0.5", "pc02", "Jiro : PC03", "Taro : PC04"};
  List network = {"PC01", "PC02", "PC03", "PC04", "taro : 192.168.0.5"};
  // PC02 and the last name equal whole lines (case ignored) and are left out;
  // PC03 and PC04 only appear as addresses and stay.
  EXPECT_EQ(BuildDestinationList(book, network),
            (List{"*Taro", "*", "*Jiro", "*Taro", "------", "PC01", "PC03", "PC04"}));
}

TEST(BuildDestinationList, DoubleByteNamesAreNotFoldedThroughTheirTrailBytes) {
  // 濛 (E0 61) and 漓 (E0 41) differ only in a trail byte that is a letter
  // of another case: they are different names.
  EXPECT_EQ(BuildDestinationList({"濛"}, {"漓", "濛"}), (List{"*", "------", "漓"}));
  EXPECT_EQ(RefreshDestinationList({"漓PC", "PC濛"}, {"濛PC", "PC漓"}), (List{"濛PC", "PC漓"}));
}

TEST(BuildDestinationList, EdgeShapes) {
  EXPECT_EQ(BuildDestinationList({}, {}), List{"------"});
  EXPECT_EQ(BuildDestinationList({}, {"PC01"}), (List{"------", "PC01"}));
  EXPECT_EQ(BuildDestinationList({"a : 1"}, {}), (List{"*a", "------"}));
  // A computer in two workgroups is enumerated twice and listed twice.
  EXPECT_EQ(BuildDestinationList({"a : 1"}, {"PC01", "PC02", "PC01"}), (List{"*a", "------", "PC01", "PC02", "PC01"}));
}

TEST(RefreshDestinationList, WhatIsKeptDroppedAndAppended) {
  struct Case { const char* what; List old, network, result; } cases[] = {
    {"name still present, case ignored", {"PC01"}, {"pc01"}, {"PC01"}},
    {"vanished name", {"PC02"}, {"PC01"}, {"PC01"}},
    {"separator", {"------"}, {}, {"------"}},
    {"near separator", {"-----", "------ "}, {}, {}},
    {"three dots", {"192.168.0.9", "a.b.c.d"}, {}, {"192.168.0.9", "a.b.c.d"}},
    {"an address after the separator goes with the network's",
     {"10.0.0.1", "------", "198.18.0.2", "198.18.0.3"}, {"198.18.0.3"}, {"10.0.0.1", "------", "198.18.0.3"}},
    {"a name found for an address replaces it", {"------", "198.18.0.2"}, {"pc-b"}, {"------", "pc-b"}},
    {"two or four dots", {"192.168.0", "1.2.3.4.5"}, {}, {}},
    {"book entries", {"*Taro", "*"}, {}, {"*Taro", "*"}},
    {"star inside", {"Taro*"}, {}, {}},
    {"new names appended in order", {"*a", "------"}, {"PC03", "PC01"}, {"*a", "------", "PC03", "PC01"}},
    {"no new name twice for an old one", {"PC01"}, {"PC01", "PC01"}, {"PC01"}},
    {"new duplicates both appended", {}, {"PC05", "PC05"}, {"PC05", "PC05"}},
    {"old duplicates both kept", {"PC01", "PC01"}, {"PC01"}, {"PC01", "PC01"}},
  };
  for (const auto& c : cases) EXPECT_EQ(RefreshDestinationList(c.old, c.network), c.result) << c.what;
}

TEST(RefreshDestinationList, KeptEntriesKeepTheirPlacesNewOnesGoLast) {
  List old = {"*Taro", "10.0.0.1", "------", "PC01", "PC02", "pc03", "*Jiro"};
  List network = {"PC04", "PC03", "pc01"};
  EXPECT_EQ(RefreshDestinationList(old, network), (List{"*Taro", "10.0.0.1", "------", "PC01", "pc03", "*Jiro", "PC04"}));
}

TEST(EntryAfterSeparator, NextEntryOrNothing) {
  struct Case { int selected, count, result; } cases[] = {
    {0, 3, 1},   // empty address book: the first computer follows
    {1, 4, 2},
    {2, 3, -1},  // separator last: nothing selected
    {0, 1, 0},   // separator alone: it stays
    {-1, 3, 0},  // typed, nothing selected
    {5, 3, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EntryAfterSeparator(c.selected, c.count), c.result) << c.selected << " of " << c.count;
}

}  // namespace
