#include "discovery/discovery.h"

#include <algorithm>
#include <set>

#include "common/vello_error.h"
#include "platform/win_text.h"
#include "platform/window_messages.h"

namespace vello {

namespace {

const wchar_t kClassName[] = L"VelloDiscovery";
constexpr std::size_t kLookupsAtOnce = 8;

}  // namespace

TDiscovery::TDiscovery(std::function<void()> onCopiesChanged, DiscoveryOptions options)
    : MessageOnlyWindow(kClassName),
      onChanged_(std::move(onCopiesChanged)),
      options_(std::move(options)),
      worker_([this] {
        // On the worker's thread: one update waits at a time.
        if (!updatePosted_.exchange(true) && !PostMessageW(window_, kDeferredMessage, 0, 0)) updatePosted_ = false;
      }) {}

TDiscovery::~TDiscovery() {
  onChanged_ = nullptr;
  Close();
  Destroy();
}

void TDiscovery::Start(const std::string& computerName, int port) {
  const bool renamed = computerName != computerName_;
  computerName_ = computerName;
  port_ = port;
  started_ = true;
  if (!enabled_) return;
  if (running() && !renamed) {
    ChangePort(port);
    return;
  }
  Close();
  Open();
}

void TDiscovery::ChangePort(int port) {
  port_ = port;
  worker_.SetPort(static_cast<std::uint16_t>(port));
}

void TDiscovery::Stop() {
  started_ = false;
  Close();
}

void TDiscovery::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (!on) Close();
  else if (started_) Open();
}

std::string TDiscovery::AnnouncedName() const {
  const std::string utf8 = worker_.instanceName();
  std::optional<std::wstring> wide = FromUtf8(utf8);
  return wide ? Narrow(*wide) : utf8;
}

void TDiscovery::Open() {
  lastError_.clear();
  window_ = window();  // made here, before the worker may post to it
  DiscoveryWorker::Settings settings;
  settings.instanceName = ToUtf8(Widen(computerName_));
  settings.messagePort = static_cast<std::uint16_t>(port_);
  settings.version = options_.version;
  settings.interfaces = options_.interfaces;
  settings.multicastPort = options_.port;
  try {
    worker_.Start(settings);
  } catch (const VelloError& e) {
    lastError_ = e.text();
  }
}

void TDiscovery::Close() {
  worker_.Stop();  // the goodbye goes out first
  lookups_.CancelAll();
  nameChecks_.clear();
  if (!copies_.empty()) {
    copies_.clear();
    if (onChanged_) onChanged_();
  }
}

void TDiscovery::UpdateCopies() {
  std::vector<FoundCopy> copies;
  std::map<std::string, NameCheck> checks;
  // Look-ups at once: a few in all, one per address, so that one sender
  // with many names cannot keep the others' names waiting.
  std::size_t inFlight = 0;
  std::set<std::string> busy;
  for (const auto& [key, check] : nameChecks_)
    if (!check.done) {
      ++inFlight;
      busy.insert(key.substr(key.rfind('@') + 1));
    }
  for (const mdns::FoundInstance& f : worker_.Found()) {
    FoundCopy c;
    c.address = mdns::AddressText(f.address);
    c.port = f.port;
    std::optional<std::wstring> wide = FromUtf8(f.name);
    std::optional<std::string> name = wide ? NarrowExactly(*wide) : std::nullopt;
    c.computerName = name ? *name : Narrow(wide ? *wide : std::wstring(L"?"));
    // A name that code page 932 cannot hold cannot be sent to: the address.
    if (name && !name->empty()) {
      const std::string key = *name + "@" + c.address;
      auto known = nameChecks_.find(key);
      if (known != nameChecks_.end()) {
        checks[key] = known->second;
        c.reachableByName = known->second.reachable;
      } else if (inFlight < kLookupsAtOnce && !busy.count(c.address)) {
        ++inFlight;
        busy.insert(c.address);
        checks[key] = NameCheck{};
        const std::uint32_t address = f.address;
        const bool started =
            lookups_.Start(*name, [this, key, address](const std::string&, const std::vector<in_addr>& found) {
              auto it = nameChecks_.find(key);
              if (it == nameChecks_.end()) return;  // that copy has gone meanwhile
              it->second.done = true;
              it->second.reachable = std::any_of(found.begin(), found.end(),
                                                 [&](const in_addr& a) { return ntohl(a.s_addr) == address; });
              UpdateCopies();
            });
        checks[key].done = !started;  // a look-up that cannot start: by address
      }
    }
    copies.push_back(std::move(c));
  }
  nameChecks_.swap(checks);
  if (copies != copies_) {
    copies_ = std::move(copies);
    if (onChanged_) onChanged_();
  }
}

LRESULT TDiscovery::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kDeferredMessage) {
    updatePosted_ = false;
    // A list handed over before a Stop has nothing left to say.
    if (running()) UpdateCopies();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
