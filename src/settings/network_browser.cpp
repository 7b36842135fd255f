#include "settings/network_browser.h"

#include <windows.h>
#include <winnetwk.h>

#include <map>
#include <memory>

#include "platform/win_text.h"
#include "settings/network_computers.h"

namespace vello {

namespace {

std::function<std::vector<std::string>()>& Hook() {
  static std::function<std::vector<std::string>()> fn;
  return fn;
}

// WNetOpenEnum / WNetEnumResource as a source for the walk. Each container
// record keeps a copy of its NETRESOURCE so it can be opened later.
class WNetSource : public NetworkSource {
 public:
  bool Open(const NetResourceRecord* container, std::size_t& handle) override {
    NETRESOURCEW* resource = nullptr;
    if (container) {
      auto it = containers_.find(container->containerId);
      if (it == containers_.end()) return false;
      resource = &it->second.resource;
    }
    HANDLE h = nullptr;
    if (WNetOpenEnumW(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, resource, &h) != NO_ERROR)
      return false;
    handle = reinterpret_cast<std::size_t>(h);
    return true;
  }

  bool Next(std::size_t handle, std::vector<NetResourceRecord>& batch) override {
    batch.clear();
    std::vector<BYTE> buffer(16384);
    DWORD count = static_cast<DWORD>(-1), size = static_cast<DWORD>(buffer.size());
    if (WNetEnumResourceW(reinterpret_cast<HANDLE>(handle), &count, buffer.data(), &size) != NO_ERROR) return false;
    auto* records = reinterpret_cast<NETRESOURCEW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      NetResourceRecord r;
      r.usage = records[i].dwUsage;
      r.remoteName = records[i].lpRemoteName ? Narrow(records[i].lpRemoteName) : std::string();
      r.containerId = ++lastId_;
      Stored& s = containers_[r.containerId];
      s.remote = records[i].lpRemoteName ? records[i].lpRemoteName : L"";
      s.provider = records[i].lpProvider ? records[i].lpProvider : L"";
      s.resource = records[i];
      s.resource.lpLocalName = nullptr;
      s.resource.lpComment = nullptr;
      s.resource.lpRemoteName = s.remote.empty() ? nullptr : s.remote.data();
      s.resource.lpProvider = s.provider.empty() ? nullptr : s.provider.data();
      batch.push_back(std::move(r));
    }
    return true;
  }

  void Close(std::size_t handle) override { WNetCloseEnum(reinterpret_cast<HANDLE>(handle)); }

 private:
  struct Stored {
    std::wstring remote, provider;
    NETRESOURCEW resource{};
  };
  std::map<std::size_t, Stored> containers_;
  std::size_t lastId_ = 0;
};

}  // namespace

std::vector<std::string> ListNetworkComputers() {
  if (Hook()) return Hook()();
  WNetSource source;
  return EnumerateNetworkComputers(source);
}

void SetNetworkComputersFunctionForTests(std::function<std::vector<std::string>()> fn) { Hook() = std::move(fn); }

}  // namespace vello
