#pragma once
// The computers of the network neighbourhood, found by walking the network's
// containers (providers, domains, workgroups) depth first. The walk runs over
// an abstract source so that it does not depend on the platform's browsing
// interface.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vello {

// Usage bit of a record that can itself be listed.
inline constexpr uint32_t kNetUsageContainer = 2;

// Deepest nesting of containers the walk follows (the top level counts as
// one). Real networks nest three or four levels; the bound keeps a source
// that keeps reporting new children from exhausting the stack.
inline constexpr int kMaxNetworkDepth = 16;

struct NetResourceRecord {
  uint32_t usage = 0;
  std::string remoteName;     // CP932; "\\NAME" for a computer
  std::size_t containerId = 0;  // the source's own id for opening this record
};

class NetworkSource {
 public:
  virtual ~NetworkSource() = default;
  // Opens an enumeration of the container (nullptr: the top level); false
  // when it cannot be listed.
  virtual bool Open(const NetResourceRecord* container, std::size_t& handle) = 0;
  // Fetches the next batch; false when there is nothing more (or an error).
  virtual bool Next(std::size_t handle, std::vector<NetResourceRecord>& batch) = 0;
  virtual void Close(std::size_t handle) = 0;
};

// Computer names (the text after the first "\\" of their remote names) in
// the order the network reports them, workgroup by workgroup; a computer
// shown in two workgroups is listed twice. A level that cannot be listed adds
// nothing. A container whose remote name is already open further up the walk
// is not entered again, so a source that lists a container inside itself
// cannot loop.
std::vector<std::string> EnumerateNetworkComputers(NetworkSource& source);

}  // namespace vello
