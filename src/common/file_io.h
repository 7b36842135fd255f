#pragma once
// Whole-file reads and safe replacement, with CP932 paths.
#include <optional>
#include <string>
#include <string_view>

namespace vello {

bool FileExists(std::string_view path);

// The file's bytes; nullopt when it is not a regular file or cannot be read.
std::optional<std::string> ReadFileBytes(std::string_view path);

// Replaces the file's contents by writing a temporary file beside it and
// renaming it over the old one, so a failure never leaves a half-written
// file in place of a good one. An existing file that is read-only, locked
// or not a regular file is refused, as a write to it would be. Returns false
// when anything fails (the old file is then untouched).
bool ReplaceFileBytes(std::string_view path, std::string_view bytes);

// Appends bytes at the end of the file, creating it when missing; false when
// the file cannot be opened or written.
bool AppendFileBytes(std::string_view path, std::string_view bytes);

}  // namespace vello
