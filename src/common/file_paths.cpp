#include "common/file_paths.h"

namespace vello {

std::filesystem::path BesideExecutable(const std::filesystem::path& exePath, std::string_view ending) {
  // The system's own characters (UTF-16 units, or UTF-8 bytes): neither has
  // a part of a longer character that equals "\", "/", ":" or ".", so a
  // plain search for the last of them is exact.
  using String = std::filesystem::path::string_type;
  String out = exePath.native();
  std::size_t lastSep = out.find_last_of(String{'\\', '/', ':'});
  std::size_t lastDot = out.find_last_of(static_cast<String::value_type>('.'));
  if (lastDot != String::npos && (lastSep == String::npos || lastDot > lastSep)) out.resize(lastDot);
  for (char c : ending) out += static_cast<String::value_type>(c);
  return std::filesystem::path(std::move(out));
}

}  // namespace vello
