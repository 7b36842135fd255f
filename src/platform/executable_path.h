#pragma once
// The running executable's full path (CP932), behind a seam so a test can
// work in a folder of its own.
#include <string>

namespace vello {
std::string ExecutablePath();
void SetExecutablePathForTests(const std::string& path);  // empty: the real one again
std::string FileBesideExecutable(std::string_view ending);
}  // namespace vello
