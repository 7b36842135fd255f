#pragma once
// The address book: a text file of "nickname : address" lines beside the
// executable, and the "*nickname" entries that stand for its lines in the
// destination boxes.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vello {

// Between the nickname and the address of a line.
inline constexpr std::string_view kAddressSeparator = " : ";

// Lines end at CR, LF or CR LF; a NUL byte ends the text. A break at the very
// end adds no empty line; empty lines inside the text are kept.
std::vector<std::string> ParseAddressBook(std::string_view bytes);

// Every line followed by CR LF, the last one included.
std::string SerializeAddressBook(const std::vector<std::string>& lines);

// A missing file is an empty address book. A file that exists but cannot be
// read throws VelloError "ファイル %s は開けません" (%s: the path as PathText
// shows it, as in every error text below).
std::vector<std::string> LoadAddressBook(const std::filesystem::path& path);

// Rewrites the whole file with these lines; when the system refuses, the old
// file stays as it was and VelloError "ファイル %s を作成できません" is thrown
// (FileInUseText(path) when another writer keeps the file).
void SaveAddressBook(const std::filesystem::path& path, const std::vector<std::string>& lines);

// The destinations page's changes, each a read-modify-write of the file under
// its lock, so lines another copy of the program added or removed since the
// page was filled stay as that copy left them. Both return the lines now
// stored. Errors: "ファイル %s は開けません" for a book that exists but cannot
// be read (it is never written over), "ファイル %s を作成できません" when the
// system refuses the new file, FileInUseText(path) when another writer keeps
// the file.
//
// Appends the line at the end.
std::vector<std::string> AddAddressBookLine(const std::filesystem::path& path, std::string_view line);
// Removes the line the page showed in row `row`: that row of the file when it
// still holds `line`, else the first line equal to it; nothing when another
// copy has removed it already.
std::vector<std::string> RemoveAddressBookLine(const std::filesystem::path& path, std::size_t row,
                                               std::string_view line);

// The text before the first " : "; empty for a line without one.
std::string NicknameOf(std::string_view line);

// The text after the first " : ", to the end of the line. A line without
// " : " (only a hand-edited file holds one) has no address at all.
std::optional<std::string> AddressOf(std::string_view line);

// "*" + nickname: how a line is listed in the destination boxes.
std::string DestinationEntry(std::string_view line);

// The address of the first line whose entry equals `destination` byte for
// byte (letter case counts), as the composer's send resolves it. Lines
// without " : " have no address and never match, so a bare "*" can still
// reach a line with an empty nickname. A destination not starting with "*"
// matches nothing.
std::optional<std::string> ResolveFirst(const std::vector<std::string>& lines, std::string_view destination);

// The same, but the last matching line wins, as the schedule page resolves
// a destination when an entry is added.
std::optional<std::string> ResolveLast(const std::vector<std::string>& lines, std::string_view destination);

}  // namespace vello
