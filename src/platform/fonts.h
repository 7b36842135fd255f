#pragma once
// Fonts named as messages and files name them: a CP932 face name, a size
// in points and the style bits.
#include <windows.h>

#include <string_view>

#include "common/font_style.h"
#include "platform/unique_handle.h"

namespace vello {

// The logical font for that face, size and style at the screen's resolution.
LOGFONTW LogFontFor(std::string_view faceCp932, int points, FontStyle style);
FontStyle StyleOf(const LOGFONTW& font);
UniqueFont CreateFontFor(std::string_view faceCp932, int points, FontStyle style);

}  // namespace vello
