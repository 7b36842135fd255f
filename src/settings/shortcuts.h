#pragma once
// The program's shortcut "message.lnk" in one of the user's shell folders
// (the start-up folder, the desktop), made and removed at the settings
// dialog's OK.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vello {

inline constexpr std::string_view kStartupFolder = "Startup";
inline constexpr std::string_view kDesktopFolder = "Desktop";

// The folder's path from the registry; empty when it cannot be read, so the
// shortcut then lands in the root of the current drive.
std::filesystem::path ShellFolder(std::string_view folderName);
// Tests name folders of their own: the shell rewrites the registry values
// with its own paths whenever it works one out (making a link does), so
// pointing the values elsewhere does not hold. Empty: the registry again.
void SetShellFolderFunctionForTests(std::function<std::filesystem::path(std::string_view folderName)> fn);

// folder + "\message.lnk", joined as text: an empty folder gives
// "\message.lnk", the root of the current drive.
std::filesystem::path ShortcutPath(const std::filesystem::path& folder);

// A link to the running executable (its path as the system gave it),
// working folder "C:\", description "Vello", replacing any file of that
// name. Throws VelloError when the shell's link object cannot be had; a
// failed save goes unreported.
void MakeShortcut(const std::filesystem::path& folder);

// Deletes the shortcut; a missing one is no error.
void RemoveShortcut(const std::filesystem::path& folder);

}  // namespace vello
