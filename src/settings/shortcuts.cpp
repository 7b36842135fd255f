#include "settings/shortcuts.h"

#include <windows.h>

#include "platform/executable_path.h"
#include "platform/shell_folders.h"
#include "platform/shell_link.h"
#include "platform/win_text.h"

namespace vello {

namespace {
std::function<std::string(std::string_view)>& Hook() {
  static std::function<std::string(std::string_view)> fn;
  return fn;
}
}  // namespace

void SetShellFolderFunctionForTests(std::function<std::string(std::string_view)> fn) { Hook() = std::move(fn); }

std::string ShellFolder(std::string_view folderName) {
  return Hook() ? Hook()(folderName) : ShellFolderPath(folderName);
}

std::string ShortcutPath(std::string_view folder) { return std::string(folder) + "\\message.lnk"; }

void MakeShortcut(std::string_view folder) {
  SaveShellLink(Widen(ShortcutPath(folder)),
                {.target = Widen(ExecutablePath()), .workingDirectory = L"C:\\", .description = L"Vello"});
}

void RemoveShortcut(std::string_view folder) { DeleteFileW(Widen(ShortcutPath(folder)).c_str()); }

}  // namespace vello
