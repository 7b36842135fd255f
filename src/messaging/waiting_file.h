#pragma once
// The file of messages waiting for their receiver, beside the executable
// (kWaitingEnding). Its text is waiting_message.h's; it is written only as
// every whole-file writer is (file_io.h): under the file's lock, into a
// temporary file of the writer's own, flushed to the disk and renamed over
// the old one. So a writer killed at any moment leaves the old file or the
// new one, never a part, and the next writer removes what it left.
#include <filesystem>
#include <functional>
#include <vector>

#include "messaging/waiting_message.h"

namespace vello {

// Errors (VelloError) are the schedule file's: the path as PathText shows
// it, ": ", then "ファイルへのアクセスが拒否されました" (read-only, locked),
// "ディスクがいっぱいです" or "I/O エラー (%d)" with the system's own number;
// FileInUseText(path) for a writer kept waiting by another. A file of
// another version of the format than this program's (see
// WaitingFileVersion) is "<path>: ファイルの形式の版が違います (%d)" with the
// version it names.

// The messages the file holds; none when there is no file. Messages stored
// as kSending come back as kUnknown: their attempt was cut short (the
// program ended during it) and nobody knows whether the line arrived. A
// read-only file is refused, as a writer would be: the program could keep
// none of what it promises about these messages.
std::vector<WaitingMessage> LoadWaitingFile(const std::filesystem::path& path);

// A change of the waiting messages: under the file's lock, `change` gets the
// messages the file holds now, states as stored (kSending included: an
// attempt of another copy sharing the folder may be under way), and says
// whether to write them back. Lines of the file that do not read as
// messages are written back unchanged after them. A file that cannot be
// read, or is of another version, is never written over: the error is
// thrown and `change` is not called.
void UpdateWaitingFile(const std::filesystem::path& path,
                       const std::function<bool(std::vector<WaitingMessage>&)>& change);

}  // namespace vello
