#pragma once
// File names are the system's own: std::filesystem::path holds them as the
// system gives them (UTF-16 on Windows, bytes on POSIX), from the
// executable's location to the file call. Code page 932 is only how a path
// is shown in a message.
#include <filesystem>
#include <string>

namespace vello {

// The path as CP932 text for a message the user reads. A character code
// page 932 cannot hold is shown as "?", never as a look-alike ("ü" would
// otherwise read "u" and name another folder). On POSIX the path's bytes
// are taken as UTF-8; a byte that is not is shown as "?" too.
std::string PathText(const std::filesystem::path& path);

}  // namespace vello
