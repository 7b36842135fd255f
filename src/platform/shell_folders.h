#pragma once
// The current user's shell folder paths as the registry records them under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders.
#include <string>
#include <string_view>

namespace vello {

inline constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The string stored under `valueName` (for example "Startup" or "Desktop"),
// in CP932; an expandable string comes back as stored. Any failure (no key,
// no value, not a string) gives the empty string.
std::string ShellFolderPath(std::string_view valueName);

}  // namespace vello
