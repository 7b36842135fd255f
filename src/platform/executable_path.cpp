#include "platform/executable_path.h"

#include <windows.h>

#include "common/file_paths.h"
#include "platform/win_text.h"

namespace vello {

namespace {
std::string& Override() {
  static std::string path;
  return path;
}
}  // namespace

std::string ExecutablePath() {
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
  return Narrow(buffer);
}

void SetExecutablePathForTests(const std::string& path) { Override() = path; }

std::string FileBesideExecutable(std::string_view ending) { return BesideExecutable(ExecutablePath(), ending); }

}  // namespace vello
