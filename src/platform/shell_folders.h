#pragma once
// The current user's shell folder paths as the registry records them under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders.
#include <filesystem>
#include <string_view>

namespace vello {

inline constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The path stored under `valueName` (for example "Startup" or "Desktop"),
// as the registry holds it (UTF-16); an expandable string comes back as
// stored. Any failure (no key, no value, not a string) gives an empty path.
std::filesystem::path ShellFolderPath(std::string_view valueName);

}  // namespace vello
