#pragma once
// This computer's name on the network (CP932): the host name the system's
// resolver knows it by.
#include <string>

namespace vello {
std::string ComputerName();
}  // namespace vello
