#pragma once
// The destination list of the main window's destination box: address-book
// entries ("*" + nickname), the separator, then the computers the network
// shows.
#include <string>
#include <string_view>
#include <vector>

namespace vello {

inline constexpr std::string_view kSeparator = "------";

// Taken for a typed IP address: exactly three '.' characters, whatever else
// the text holds.
bool IsIPAddress(std::string_view text);

// The list built at start-up: an entry for every address-book line, the
// separator, then each network name that is not a whole address-book line
// (letter case ignored). Network duplicates stay.
std::vector<std::string> BuildDestinationList(const std::vector<std::string>& addressBookLines,
                                              const std::vector<std::string>& networkNames);

// The list after a drop-down: old entries that are still on the network
// (letter case ignored), the separator, IP addresses and "*" entries are
// kept in order; vanished computers are dropped; network names not among the
// old entries are appended in enumeration order. After the separator an IP
// address is a copy found on the network by its address, and goes when the
// network list no longer holds it, as a name does.
std::vector<std::string> RefreshDestinationList(const std::vector<std::string>& oldEntries,
                                                const std::vector<std::string>& networkNames);

// The separator was chosen at index `selected` of a list of `count` entries:
// the index to select instead. The entry after it when there is one; -1
// (nothing selected) when the separator is the last entry; `selected`
// unchanged when the separator is the only entry. With nothing selected
// (-1: the separator was typed) the first entry follows.
int EntryAfterSeparator(int selected, int count);

}  // namespace vello
