#include "platform/shell_folders.h"

#include <windows.h>

#include "platform/win_text.h"

namespace vello {

std::filesystem::path ShellFolderPath(std::string_view valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::wstring name = Widen(valueName);
  std::wstring result;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    // One unit more than asked for, so a value stored without its terminator still ends.
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      value.resize(size / sizeof(wchar_t));
      if (std::size_t nul = value.find(L'\0'); nul != std::wstring::npos) value.resize(nul);
      result = std::move(value);
    }
  }
  RegCloseKey(key);
  return result;
}

}  // namespace vello
