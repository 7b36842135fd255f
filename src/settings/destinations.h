#pragma once
// Several destinations in one destination box: "pc-a, *営業; 192.168.0.7".
// Each becomes a delivery of its own.
#include <string>
#include <string_view>
#include <vector>

namespace vello {

// The parts of the text between "," and ";" (neither is ever the second
// byte of a double-byte character), each without the ASCII and full-width
// spaces at its ends; empty parts are dropped.
std::vector<std::string> SplitDestinations(std::string_view text);

struct ResolvedDestination {
  std::string name;  // what the user is told and the log names
  std::string host;  // what the look-up gets
  friend bool operator==(const ResolvedDestination&, const ResolvedDestination&) = default;
};

struct DestinationResolution {
  std::vector<ResolvedDestination> destinations;
  // Names that lead nowhere, as the user wrote them: a "*" nickname the
  // address book does not hold (or holds with an empty address), and a "*"
  // nickname inside an address, which is never looked up again (no loops).
  std::vector<std::string> unresolved;
  friend bool operator==(const DestinationResolution&, const DestinationResolution&) = default;
};

// The deliveries the destination box asks for, in its order:
// - A "*" nickname resolves as the composer always has (ResolveFirst). Its
//   address may itself list several destinations, split as above; a single
//   one is named by the nickname, each of several by "*nickname (host)".
// - Anything else is the host itself, named as written.
// - A whole text that is one address-book entry is that entry, even when the
//   nickname holds "," or ";"; so is a run of parts that together spell one.
// - A host that comes twice (letter case ignored) is delivered once, under
//   the first name it came with.
DestinationResolution ResolveDestinations(std::string_view text, const std::vector<std::string>& addressBookLines);

}  // namespace vello
