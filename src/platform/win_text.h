#pragma once
// The boundary between the model's CP932 bytes and Windows' UTF-16: always
// code page 932, whatever the system's ANSI code page is.
#include <optional>
#include <string>
#include <string_view>

namespace vello {
std::wstring Widen(std::string_view cp932);
std::string Narrow(std::wstring_view utf16);
// Code page 932 only when every character has bytes of its own there
// (nothing replaced by "?" or a look-alike).
std::optional<std::string> NarrowExactly(std::wstring_view utf16);
// UTF-8, as other protocols carry names (multicast DNS).
std::string ToUtf8(std::wstring_view utf16);
// Nothing when the bytes are not UTF-8.
std::optional<std::wstring> FromUtf8(std::string_view utf8);
}  // namespace vello
