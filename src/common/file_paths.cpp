#include "common/file_paths.h"

#include "common/sjis.h"

namespace vello {

std::string BesideExecutable(std::string_view exePath, std::string_view ending) {
  // Find the last separator and the last dot, stepping over double-byte
  // characters (a trail byte can be 0x5C, the same byte as '\').
  std::size_t lastSep = std::string_view::npos, lastDot = std::string_view::npos;
  std::size_t i = 0;
  while (i < exePath.size()) {
    std::size_t n = CharLength(exePath, i);
    if (n == 1) {
      char c = exePath[i];
      if (c == '\\' || c == ':' || c == '/') lastSep = i;
      if (c == '.') lastDot = i;
    }
    i += n;
  }
  std::string out(exePath);
  if (lastDot != std::string_view::npos && (lastSep == std::string_view::npos || lastDot > lastSep))
    out.resize(lastDot);
  out.append(ending);
  return out;
}

}  // namespace vello
