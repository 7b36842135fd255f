#pragma once
// Where the copies found go in a destination list: after the names the
// network browse list gave, each host once. A copy is left out when the
// list already holds its text (letter case aside) or when another copy
// found at the same address came first. Texts are model text (CP932).
#include <string>
#include <vector>

namespace vello {

struct FoundDestination {
  std::string text;     // the computer name, or the address where the name cannot be reached
  std::string address;  // dotted IPv4
};

std::vector<std::string> WithFoundCopies(std::vector<std::string> networkNames,
                                         const std::vector<FoundDestination>& found);

}  // namespace vello
