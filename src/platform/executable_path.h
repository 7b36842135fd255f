#pragma once
// The running executable's full path as the system gives it (UTF-16), and
// the program's files beside it, behind a seam so a test can work in a
// folder of its own.
#include <filesystem>
#include <string_view>

namespace vello {
std::filesystem::path ExecutablePath();
void SetExecutablePathForTests(const std::filesystem::path& path);  // empty: the real one again
std::filesystem::path FileBesideExecutable(std::string_view ending);
}  // namespace vello
