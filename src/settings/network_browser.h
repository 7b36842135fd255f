#pragma once
// The computers of the network neighbourhood through the Windows network
// interface, behind a seam so tests supply their own network.
#include <functional>
#include <string>
#include <vector>

namespace vello {
std::vector<std::string> ListNetworkComputers();
void SetNetworkComputersFunctionForTests(std::function<std::vector<std::string>()> fn);  // empty: real network
}  // namespace vello
