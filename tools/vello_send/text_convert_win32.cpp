// UTF-8 to code page 932 with the system's own tables, character by
// character, so the first character the code page lacks can be named.
#include <windows.h>

#include "vello_send/text_convert.h"

namespace vello::send {

std::string Utf8ToCp932(std::string_view utf8) {
  CheckUtf8(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t n = DecodeUtf8(utf8, i, cp);
    wchar_t units[2];
    int unitCount = 1;
    if (cp >= 0x10000) {
      units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      unitCount = 2;
    } else {
      units[0] = static_cast<wchar_t>(cp);
    }
    char bytes[4];
    BOOL usedDefault = FALSE;
    // No best fit: "é" must fail rather than arrive as "e".
    const int written = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, units, unitCount, bytes, sizeof bytes,
                                            nullptr, &usedDefault);
    if (written <= 0 || usedDefault) throw TextError(UnmappableMessage(utf8, i));
    out.append(bytes, static_cast<std::size_t>(written));
    i += n;
  }
  return out;
}

}  // namespace vello::send
