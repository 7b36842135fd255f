#include "settings/destination_list.h"

#include <algorithm>

#include "common/sjis.h"
#include "settings/address_book.h"

namespace vello {

namespace {

bool ContainsIgnoreCase(const std::vector<std::string>& list, std::string_view text) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& item) { return SameTextIgnoreCase(item, text); });
}

}  // namespace

bool IsIPAddress(std::string_view text) {
  return CountChar(text, '.') == 3;
}

std::vector<std::string> BuildDestinationList(const std::vector<std::string>& addressBookLines,
                                              const std::vector<std::string>& networkNames) {
  std::vector<std::string> entries;
  entries.reserve(addressBookLines.size() + 1 + networkNames.size());
  for (const auto& line : addressBookLines) entries.push_back(DestinationEntry(line));
  entries.emplace_back(kSeparator);
  for (const auto& name : networkNames)
    if (!ContainsIgnoreCase(addressBookLines, name)) entries.push_back(name);
  return entries;
}

std::vector<std::string> RefreshDestinationList(const std::vector<std::string>& oldEntries,
                                                const std::vector<std::string>& networkNames) {
  std::vector<std::string> entries;
  bool networkPart = false;  // after the separator: the rows the network list put there
  for (const auto& entry : oldEntries) {
    bool address = IsIPAddress(entry) && !networkPart;
    if (ContainsIgnoreCase(networkNames, entry) || entry == kSeparator || address || entry.starts_with('*'))
      entries.push_back(entry);
    if (entry == kSeparator) networkPart = true;
  }
  for (const auto& name : networkNames)
    if (!ContainsIgnoreCase(oldEntries, name)) entries.push_back(name);
  return entries;
}

int EntryAfterSeparator(int selected, int count) {
  if (count <= 1) return selected;
  int next = selected + 1;
  return next >= 0 && next < count ? next : -1;
}

}  // namespace vello
