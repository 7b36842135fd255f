#include "settings/network_computers.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/sjis.h"

namespace vello {

namespace {

constexpr std::string_view kComputerPrefix = "\\\\";

class Walk {
 public:
  explicit Walk(NetworkSource& source) : source_(source) {}

  void Container(const NetResourceRecord* container) {
    if (static_cast<int>(path_.size()) >= kMaxNetworkDepth) return;
    std::size_t handle = 0;
    if (!source_.Open(container, handle)) return;
    // Close even when a nested level throws.
    struct Closer {
      NetworkSource& source;
      std::size_t handle;
      ~Closer() { source.Close(handle); }
    } closer{source_, handle};
    path_.push_back(container ? container->remoteName : std::string());

    std::vector<NetResourceRecord> batch;
    while (true) {
      batch.clear();
      // An empty batch is no progress: take it as the end, never spin on it.
      if (!source_.Next(handle, batch) || batch.empty()) break;
      for (const auto& record : batch) {
        if ((record.usage & kNetUsageContainer) == 0) continue;
        std::size_t at = FindText(record.remoteName, kComputerPrefix);
        if (at != std::string::npos) {
          names_.push_back(record.remoteName.substr(at + kComputerPrefix.size()));
        } else if (!OnPath(record.remoteName)) {
          Container(&record);
        }
      }
    }
    path_.pop_back();
  }

  std::vector<std::string> TakeNames() { return std::move(names_); }

 private:
  bool OnPath(const std::string& name) const {
    // Unnamed containers cannot be told apart; only the depth bound guards them.
    return !name.empty() && std::find(path_.begin(), path_.end(), name) != path_.end();
  }

  NetworkSource& source_;
  std::vector<std::string> path_;  // remote names of the open containers
  std::vector<std::string> names_;
};

}  // namespace

std::vector<std::string> EnumerateNetworkComputers(NetworkSource& source) {
  Walk walk(source);
  walk.Container(nullptr);
  return walk.TakeNames();
}

}  // namespace vello
