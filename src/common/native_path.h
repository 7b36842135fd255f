#pragma once
// CP932 path text to the file system's own path type. On Windows the bytes
// are decoded as code page 932 whatever the system's ANSI code page; on
// POSIX they are decoded to UTF-8.
#include <filesystem>
#include <string_view>

namespace vello {
std::filesystem::path NativePath(std::string_view cp932Path);
}
