#include "platform/fonts.h"

#include <cwchar>

#include "platform/gdi.h"
#include "platform/win_text.h"

namespace vello {

LOGFONTW LogFontFor(std::string_view faceCp932, int points, FontStyle style) {
  LOGFONTW lf{};
  WindowDC screen(nullptr);
  lf.lfHeight = -MulDiv(points, GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
  lf.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = style.italic ? 1 : 0;
  lf.lfUnderline = style.underline ? 1 : 0;
  lf.lfStrikeOut = style.strikeOut ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  std::wstring face = Widen(faceCp932);
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return lf;
}

FontStyle StyleOf(const LOGFONTW& font) {
  return {font.lfWeight >= FW_BOLD, font.lfItalic != 0, font.lfUnderline != 0, font.lfStrikeOut != 0};
}

UniqueFont CreateFontFor(std::string_view faceCp932, int points, FontStyle style) {
  LOGFONTW lf = LogFontFor(faceCp932, points, style);
  return UniqueFont(CreateFontIndirectW(&lf));
}

}  // namespace vello
