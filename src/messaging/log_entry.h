#pragma once
// The send/receive log: entries of text appended to a CP932 file with CR LF
// line ends, and the locale's date-time text they carry.
#include <filesystem>
#include <string>
#include <string_view>

#include "common/date_time.h"

namespace vello {

// The date as the system writes it in the user's short date format (day and
// month names and eras are the system's to spell), then, unless the time is
// exactly 00:00:00, a blank and the time by the locale's rules:
// "2026/12/08 9:04:02", "12/8/2026 9:04:02 AM".
std::string DateTimeText(std::string_view shortDate, const LocalDateTime& t, const LocaleTimeFormat& f);

// "【送信】" CR LF "Date : " date-time CR LF "To : " destination CR LF text CR LF.
// The text comes from the network or a user and the log is read in editors
// and terminals: its line breaks (CR LF, lone CR, lone LF) are written as
// CR LF and its other control bytes except tab (ESC, BEL, NUL, DEL, ...)
// as "?". Only an entry's first line starts with "【送信】" or "【受信】": a
// line of the text that would (after any blanks) is written with one blank
// more in front. Control bytes in the destination or sender, line breaks
// and tabs included, become "?".
std::string SentLogEntry(std::string_view dateTimeText, std::string_view destination, std::string_view text);
// "【受信】" CR LF "Date : " date-time CR LF "From : " sender CR LF text CR LF.
std::string ReceivedLogEntry(std::string_view dateTimeText, std::string_view sender, std::string_view text);

// Appends an entry at the end of the log, creating the file when missing; a
// non-empty file that does not end with CR or LF gets CR LF first. What the
// log already holds is never rewritten. An append that fails half-way (a
// full disk) is taken back: the log is left as it was. Another copy of the
// program appending to the same log meanwhile is no harm: each append lands
// at the end as it is then.
// Errors: the file exists but cannot be opened for reading -> "ファイル %s は開けません";
// it cannot be created or written -> "ファイル %s を作成できません" (the path as
// PathText shows it in place of %s).
void AppendLogEntry(const std::filesystem::path& logPath, std::string_view entry);

}  // namespace vello
