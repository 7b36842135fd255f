// One room shared by many sources: no source holds more than is left free.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/fair_share.h"

using namespace vello;

TEST(FairShare, ASourceTakesOnlyWhileItHoldsNoMoreThanIsLeftFree) {
  struct Case { uint64_t held, used, bound, amount; bool allowed; } cases[] = {
      {0, 0, 10, 1, true},
      {4, 4, 10, 1, true},    // it would hold 5, with 5 left free
      {5, 5, 10, 1, false},   // it would hold 6, with 4 left free
      {0, 9, 10, 1, true},    // a newcomer takes the last place
      {1, 9, 10, 1, false},   // one that holds a place already does not
      {0, 10, 10, 1, false},  // full
      {0, 12, 10, 1, false},  // over (bounds lowered meanwhile)
      {0, 0, 10, 10, true},   // a newcomer takes what fits, however large
      {0, 5, 10, 6, false},   // but not more
      {1, 0, 10, 5, false},   // 6 held, 5 left free
      {1, 0, 10, 4, true},    // 5 held, 6 left free
      {3, 3, 100, 0, true},
      {1, 0, UINT64_MAX, UINT64_MAX - 1, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FairShareAllows(c.held, c.used, c.bound, c.amount), c.allowed)
        << c.held << " held, " << c.used << " used of " << c.bound << ", " << c.amount << " more";
}

// Sources fill the room one after another, each taking all it may: a lone
// source gets half, each newcomer about half of what is left and never more
// than it leaves free, and every newcomer finds a place until the room is
// full.
TEST(FairShare, EachNewcomerFindsAPlaceUntilTheRoomIsFull) {
  const uint64_t bound = 500;
  std::vector<uint64_t> held;
  uint64_t used = 0;
  while (used < bound) {
    uint64_t freeBefore = bound - used;
    held.push_back(0);
    while (FairShareAllows(held.back(), used, bound, 1)) {
      ++held.back();
      ++used;
    }
    SCOPED_TRACE("source " + std::to_string(held.size()) + " of " + std::to_string(freeBefore) + " free");
    EXPECT_GE(held.back(), 1u);
    EXPECT_GE(held.back(), freeBefore / 2);
    if (held.back() > 1) {
      EXPECT_LE(held.back(), bound - used);
    }
  }
  EXPECT_EQ(held[0], 250u);
  EXPECT_LE(held.size(), 10u);
}
