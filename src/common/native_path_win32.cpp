// Paths shown in messages: UTF-16 to code page 932 whatever the ANSI code page.
#include <windows.h>

#include <string>

#include "common/native_path.h"

namespace vello {

std::string PathText(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  if (wide.empty()) return {};
  // No best fit: a character without bytes of its own becomes the code
  // page's default character, "?".
  int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

}  // namespace vello
