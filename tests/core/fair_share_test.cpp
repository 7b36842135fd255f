// One room shared by many sources: no source holds more than is left free.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/fair_share.h"

using namespace vello;

TEST(FairShare, ASourceTakesOnlyWhileItHoldsNoMoreThanIsLeftFree) {
  struct Case { uint64_t held, used, bound, amount; bool allowed; } cases[] = {
      {0, 0, 10, 1, true},
      {4, 4, 10, 1, true},    // it would hold 5, with 6 free now
      {5, 5, 10, 1, false},   // it would hold 6, with 5 free now
      {0, 9, 10, 1, true},    // a newcomer takes the last place
      {1, 9, 10, 1, false},   // one that holds a place already does not
      {0, 10, 10, 1, false},  // full
      {0, 12, 10, 1, false},  // over (bounds lowered meanwhile)
      {0, 0, 10, 6, false},   // more than half at once
      {0, 0, 10, 5, true},
      {3, 3, 100, 0, true},
      {0, 0, UINT64_MAX, UINT64_MAX, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FairShareAllows(c.held, c.used, c.bound, c.amount), c.allowed)
        << c.held << " held, " << c.used << " used of " << c.bound << ", " << c.amount << " more";
}

// Sources fill the room one after another, each taking all it may: a lone
// source gets half, each newcomer half of what is left, and every newcomer
// finds a place until the room is full.
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
    EXPECT_EQ(held.back(), (freeBefore + 1) / 2) << "source " << held.size();
  }
  EXPECT_EQ(held[0], 250u);
  EXPECT_EQ(held.size(), 9u);
}
