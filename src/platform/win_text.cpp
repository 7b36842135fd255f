#include "platform/win_text.h"

#include <windows.h>

namespace vello {

std::wstring Widen(std::string_view cp932) {
  if (cp932.empty()) return {};
  int n = MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(932, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<std::string> NarrowExactly(std::wstring_view utf16) {
  if (utf16.empty()) return std::string();
  BOOL replaced = FALSE;
  int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                              nullptr, &replaced);
  if (n <= 0 || replaced) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr,
                      &replaced);
  if (replaced) return std::nullopt;
  return out;
}

std::string ToUtf8(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<std::wstring> FromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

}  // namespace vello
