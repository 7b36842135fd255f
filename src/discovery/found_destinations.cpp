#include "discovery/found_destinations.h"

#include <algorithm>

#include "common/sjis.h"

namespace vello {

std::vector<std::string> WithFoundCopies(std::vector<std::string> names, const std::vector<FoundDestination>& found) {
  std::vector<std::string> addresses;
  for (const FoundDestination& f : found) {
    const bool listed = std::any_of(names.begin(), names.end(),
                                    [&](const std::string& n) { return SameTextIgnoreCase(n, f.text); });
    const bool hostSeen = std::find(addresses.begin(), addresses.end(), f.address) != addresses.end();
    addresses.push_back(f.address);
    if (!listed && !hostSeen) names.push_back(f.text);
  }
  return names;
}

}  // namespace vello
