#pragma once
// The schedule file: headerless 344-byte records in list order.
#include <string_view>
#include <vector>

#include "schedule/schedule_entry.h"

namespace vello {

// Reads every whole record into `out` (emptied first). Creates an empty file
// when there is none. Opens the file writable, so a read-only file cannot be
// loaded. Errors (VelloError): "ファイルへのアクセスが拒否されました",
// "ファイルの末尾以降を読み込みました" (a record cut short: the whole records
// before it are in `out`), "ディスクがいっぱいです", "I/O エラー (%d)" with the
// system error number.
void LoadScheduleFile(std::string_view path, std::vector<TScheduleEntry>& out);

// Rewrites the file with `entries`, 344 bytes each. The records go to a
// temporary file beside it that is then renamed over the old one, so the old
// file is untouched on any failure. A read-only or locked file is refused as
// on load. Same error texts.
void SaveScheduleFile(std::string_view path, const std::vector<TScheduleEntry>& entries);

}  // namespace vello
