// The portable core's one Win32 leaf: file paths are CP932 text in the model and UTF-16
// for the system, converted with code page 932 whatever the ANSI code page.
#include <windows.h>

#include <string>

#include "common/native_path.h"

namespace vello {

std::filesystem::path NativePath(std::string_view cp932Path) {
  if (cp932Path.empty()) return {};
  int n = MultiByteToWideChar(932, 0, cp932Path.data(), static_cast<int>(cp932Path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, cp932Path.data(), static_cast<int>(cp932Path.size()), wide.data(), n);
  return std::filesystem::path(wide);
}

}  // namespace vello
