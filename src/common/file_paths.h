#pragma once
#include <filesystem>
#include <string_view>

namespace vello {

// The program's files lie beside the executable and carry its name: the
// extension (from the last "." of the final path component) is replaced by
// `ending`; without an extension the ending is appended.
//   C:\Tools\vello.exe + ".ini"      -> C:\Tools\vello.ini
//   C:\Tools\vello.exe + "Fixed.dat" -> C:\Tools\velloFixed.dat
// The path stays as the system gave it; `ending` is ASCII.
std::filesystem::path BesideExecutable(const std::filesystem::path& exePath, std::string_view ending);

// Endings of the program's files.
inline constexpr std::string_view kSettingsEnding = ".ini";
inline constexpr std::string_view kAddressBookEnding = ".dat";
inline constexpr std::string_view kLogEnding = ".log";
inline constexpr std::string_view kPhrasesEnding = "Fixed.dat";
inline constexpr std::string_view kScheduleEnding = "t.dat";
// Messages waiting for their receiver (messaging/waiting_file.h). An
// extension no other file of the program has, so that no copy under another
// name (vellot.exe, vellow.exe) takes it for one of its own files.
inline constexpr std::string_view kWaitingEnding = ".wait";

}  // namespace vello
