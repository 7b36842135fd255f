#include "platform/executable_path.h"

#include <windows.h>

#include <string>

#include "common/file_paths.h"

namespace vello {

namespace {
std::filesystem::path& Override() {
  static std::filesystem::path path;
  return path;
}
}  // namespace

std::filesystem::path ExecutablePath() {
  if (!Override().empty()) return Override();
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);  // long paths are not cut
  }
  return std::filesystem::path(std::move(buffer));
}

void SetExecutablePathForTests(const std::filesystem::path& path) { Override() = path; }

std::filesystem::path FileBesideExecutable(std::string_view ending) {
  return BesideExecutable(ExecutablePath(), ending);
}

}  // namespace vello
