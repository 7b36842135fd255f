#pragma once
// The font style bit set of messages, files and the composer: 1 bold,
// 2 italic, 4 underline, 8 strike-out. Decoded here once.
#include <cstdint>

namespace vello {

struct FontStyle {
  bool bold = false, italic = false, underline = false, strikeOut = false;

  static constexpr FontStyle FromBits(uint32_t bits) {
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
  }
  constexpr uint8_t Bits() const {
    return static_cast<uint8_t>((bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0) | (strikeOut ? 8 : 0));
  }
  friend constexpr bool operator==(const FontStyle&, const FontStyle&) = default;
};

}  // namespace vello
