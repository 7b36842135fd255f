#pragma once
// One room shared by many sources (addresses on the network), none of which
// may crowd out the others: a source may take more only while it would then
// hold no more than is left free for the others (give or take one unit, so
// that the last place goes to a source that holds none). A lone source gets
// half the room; as the room fills, the sources that hold most are the
// first to be turned away, and a source that holds nothing yet finds a
// place for as long as any is free.
#include <cstdint>

namespace vello {

// Whether a source that holds `held` of a room of `bound`, of which `used`
// is taken in all (its own included), may take `amount` more.
constexpr bool FairShareAllows(uint64_t held, uint64_t used, uint64_t bound, uint64_t amount) {
  if (used > bound || amount > bound - used || held > bound) return false;
  uint64_t leftFree = bound - used - amount;
  return held + amount <= leftFree + 1;
}

}  // namespace vello
