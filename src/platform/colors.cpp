#include "platform/colors.h"

#include "common/color_value.h"

namespace vello {

COLORREF ToColorRef(int32_t colorValue) {
  if (IsSystemColor(colorValue)) return GetSysColor(SystemColorIndex(colorValue));
  return static_cast<COLORREF>(PlainRgb(colorValue));
}

}  // namespace vello
