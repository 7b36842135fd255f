#pragma once
// The schedule file: headerless 344-byte records in list order.
#include <filesystem>
#include <vector>

#include "schedule/schedule_entry.h"

namespace vello {

// Reads every whole record into `out` (emptied first). Creates an empty file
// when there is none. Opens the file writable, so a read-only file cannot be
// loaded. Errors (VelloError): "ファイルへのアクセスが拒否されました" (read-only,
// locked), "ファイルの末尾以降を読み込みました" (a record cut short: the whole
// records before it are in `out`), "ディスクがいっぱいです", "I/O エラー (%d)"
// with the system's own error number (GetLastError() on Windows, errno on
// POSIX).
void LoadScheduleFile(const std::filesystem::path& path, std::vector<TScheduleEntry>& out);

// Rewrites the file with `entries`, 344 bytes each, as every whole-file
// writer does (file_io.h): a temporary file of this writer's own, flushed to
// the disk and renamed over the old one, so the old file is untouched on any
// failure. A read-only or locked file is refused as on load. Same error
// texts.
void SaveScheduleFile(const std::filesystem::path& path, const std::vector<TScheduleEntry>& entries);

}  // namespace vello
