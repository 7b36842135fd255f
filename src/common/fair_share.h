#pragma once
// One room shared by many sources (addresses on the network), none of which
// may crowd out the others: a source that holds nothing yet may take what
// fits; one that holds some may take more only while it would then hold no
// more than is left free for the others. A lone source gets about half the
// room; as the room fills, the sources that hold most are the first to be
// turned away, and a newcomer finds a place for as long as one is free.
#include <cstdint>

namespace vello {

// Whether a source that holds `held` of a room of `bound`, of which `used`
// is taken in all (its own included), may take `amount` more.
constexpr bool FairShareAllows(uint64_t held, uint64_t used, uint64_t bound, uint64_t amount) {
  if (used > bound || amount > bound - used) return false;
  uint64_t leftFree = bound - used - amount;
  return held == 0 || (held <= leftFree && amount <= leftFree - held);
}

}  // namespace vello
