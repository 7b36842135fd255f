#include "settings/destinations.h"

#include <algorithm>
#include <optional>

#include "common/sjis.h"
#include "settings/address_book.h"

namespace vello {

namespace {

constexpr std::string_view kFullWidthSpace = "\x81\x40";

bool IsSeparator(char c) { return c == ',' || c == ';'; }

// The text without ASCII and full-width spaces at its ends. The end is found
// walking forward by characters: "\x81\x40" at the end may be the second
// byte of one character and an "@" (as in "求@").
std::string_view Trim(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    if (start < text.size() && text[start] == ' ') {
      ++start;
    } else if (text.substr(start, 2) == kFullWidthSpace) {
      start += 2;
    } else {
      break;
    }
  }
  std::size_t end = start;
  for (std::size_t i = start; i < text.size();) {
    const std::size_t length = CharLength(text, i);
    const std::string_view c = text.substr(i, length);
    i += length;
    if (c != " " && c != kFullWidthSpace) end = i;
  }
  return text.substr(start, end - start);
}

struct Span {
  std::size_t begin, end;  // the part, separators excluded
};

// Byte by byte: "," and ";" are below 0x40, never a second byte.
std::vector<Span> Parts(std::string_view text) {
  std::vector<Span> parts;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(text[i])) continue;
    parts.push_back({begin, i});
    begin = i + 1;
  }
  return parts;
}

class Collector {
 public:
  void Add(std::string name, std::string host) {
    for (const ResolvedDestination& d : result_.destinations)
      if (SameTextIgnoreCase(d.host, host)) return;
    result_.destinations.push_back({std::move(name), std::move(host)});
  }
  void Unresolved(std::string_view name) {
    if (std::find(result_.unresolved.begin(), result_.unresolved.end(), name) == result_.unresolved.end())
      result_.unresolved.emplace_back(name);
  }
  // The hosts of a nickname's address.
  void AddEntry(std::string_view nickname, std::string_view address) {
    std::vector<std::string> hosts = SplitDestinations(address);
    if (hosts.empty()) Unresolved(nickname);
    for (std::string& host : hosts) {
      if (host[0] == '*') {
        Unresolved(host);
      } else if (hosts.size() == 1) {
        Add(std::string(nickname), std::move(host));
      } else {
        std::string name = std::string(nickname) + " (" + host + ")";
        Add(std::move(name), std::move(host));
      }
    }
  }
  DestinationResolution Take() { return std::move(result_); }

 private:
  DestinationResolution result_;
};

}  // namespace

std::vector<std::string> SplitDestinations(std::string_view text) {
  std::vector<std::string> out;
  for (const Span& part : Parts(text)) {
    std::string_view trimmed = Trim(text.substr(part.begin, part.end - part.begin));
    if (!trimmed.empty()) out.emplace_back(trimmed);
  }
  return out;
}

DestinationResolution ResolveDestinations(std::string_view text, const std::vector<std::string>& addressBookLines) {
  Collector collector;
  // The one entry the user picked from the list, exactly as the composer
  // always resolved it.
  if (std::optional<std::string> address = ResolveFirst(addressBookLines, text)) {
    collector.AddEntry(text, *address);
    return collector.Take();
  }
  const std::vector<Span> parts = Parts(text);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = Trim(text.substr(parts[i].begin, parts[i].end - parts[i].begin));
    if (part.empty()) continue;
    if (part[0] != '*') {
      collector.Add(std::string(part), std::string(part));
      continue;
    }
    // The longest run of parts from here that spells an entry: a nickname
    // may hold the separators itself.
    bool found = false;
    for (std::size_t last = parts.size(); last-- > i && !found;) {
      const std::string_view run = Trim(text.substr(parts[i].begin, parts[last].end - parts[i].begin));
      if (std::optional<std::string> address = ResolveFirst(addressBookLines, run)) {
        collector.AddEntry(run, *address);
        i = last;
        found = true;
      }
    }
    if (!found) collector.Unresolved(part);
  }
  return collector.Take();
}

}  // namespace vello
