#pragma once
// The schedule file: headerless 344-byte records in list order.
#include <filesystem>
#include <functional>
#include <vector>

#include "schedule/schedule_entry.h"

namespace vello {

// Errors (VelloError) name the file, then say what went wrong: the path as
// PathText shows it, ": ", then "ファイルへのアクセスが拒否されました" (read-only,
// locked), "ファイルの末尾以降を読み込みました" (a record cut short),
// "ディスクがいっぱいです" or "I/O エラー (%d)" with the system's own error
// number (GetLastError() on Windows, errno on POSIX). A writer kept waiting
// by another reports FileInUseText(path).

// Reads every whole record into `out` (emptied first). Creates an empty file
// when there is none. Opens the file writable, so a read-only file cannot be
// loaded. A record cut short throws after the whole records before it are
// in `out`.
void LoadScheduleFile(const std::filesystem::path& path, std::vector<TScheduleEntry>& out);

// Rewrites the file with `entries`, 344 bytes each, as every whole-file
// writer does (file_io.h): under the file's lock, a temporary file of this
// writer's own, flushed to the disk and renamed over the old one, so the
// old file is untouched on any failure. A read-only or locked file is
// refused as on load.
void SaveScheduleFile(const std::filesystem::path& path, const std::vector<TScheduleEntry>& entries);

// A change of the schedule another copy of the program may be making at the
// same moment (two users of one folder): under the file's lock, `change`
// gets the records the file holds now (none when there is no file) and
// says whether to write them back, which is then done as SaveScheduleFile
// does. A file that cannot be read whole (a record cut short, no right to
// read it) is never written over: the error is thrown and `change` is not
// called.
void UpdateScheduleFile(const std::filesystem::path& path,
                        const std::function<bool(std::vector<TScheduleEntry>&)>& change);

}  // namespace vello
