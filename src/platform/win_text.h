#pragma once
// The boundary between the model's CP932 bytes and Windows' UTF-16: always
// code page 932, whatever the system's ANSI code page is.
#include <string>
#include <string_view>

namespace vello {
std::wstring Widen(std::string_view cp932);
std::string Narrow(std::wstring_view utf16);
}  // namespace vello
