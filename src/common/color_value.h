#pragma once
// A colour value as messages and files carry it: a signed 32-bit value
// holding 0x00BBGGRR, or, with the top bit set, one of the desktop's system
// colours by the index in its lowest byte (-2147483643 is the window
// background). Decided here once; the platform layer turns it into a
// colour of the screen.
#include <cstdint>

namespace vello {

constexpr bool IsSystemColor(int32_t value) { return value < 0; }
constexpr int SystemColorIndex(int32_t value) { return value & 0xFF; }
// The red, green and blue bytes of a plain colour; whatever a stranger put
// into the fourth byte is not ours to pass on.
constexpr uint32_t PlainRgb(int32_t value) { return static_cast<uint32_t>(value) & 0x00FFFFFFu; }

}  // namespace vello
