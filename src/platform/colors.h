#pragma once
// A colour value of messages and files (see common/color_value.h) as a
// colour of this screen.
#include <windows.h>

#include <cstdint>

namespace vello {
COLORREF ToColorRef(int32_t colorValue);
}  // namespace vello
