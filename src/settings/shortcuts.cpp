#include "settings/shortcuts.h"

#include <windows.h>

#include "platform/executable_path.h"
#include "platform/shell_folders.h"
#include "platform/shell_link.h"

namespace vello {

namespace {
std::function<std::filesystem::path(std::string_view)>& Hook() {
  static std::function<std::filesystem::path(std::string_view)> fn;
  return fn;
}
}  // namespace

void SetShellFolderFunctionForTests(std::function<std::filesystem::path(std::string_view)> fn) {
  Hook() = std::move(fn);
}

std::filesystem::path ShellFolder(std::string_view folderName) {
  return Hook() ? Hook()(folderName) : ShellFolderPath(folderName);
}

std::filesystem::path ShortcutPath(const std::filesystem::path& folder) {
  return std::filesystem::path(folder.native() + L"\\message.lnk");
}

void MakeShortcut(const std::filesystem::path& folder) {
  SaveShellLink(ShortcutPath(folder).native(),
                {.target = ExecutablePath().native(), .workingDirectory = L"C:\\", .description = L"Vello"});
}

void RemoveShortcut(const std::filesystem::path& folder) { DeleteFileW(ShortcutPath(folder).c_str()); }

}  // namespace vello
