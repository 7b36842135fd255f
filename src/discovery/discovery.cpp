#include "discovery/discovery.h"

#include <algorithm>
#include <climits>

#include "common/vello_error.h"
#include "platform/network_interfaces.h"
#include "platform/win_text.h"
#include "platform/window_messages.h"

namespace vello {

namespace {

const wchar_t kClassName[] = L"VelloDiscovery";
constexpr UINT_PTR kWakeTimer = 1;
constexpr UINT_PTR kInterfaceTimer = 2;
constexpr UINT kInterfaceCheckMs = 30000;
constexpr std::size_t kLookupsAtOnce = 8;

std::uint64_t Seed(const void* self) {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
         reinterpret_cast<std::uintptr_t>(self);
}

bool SameInterfaces(const std::vector<in_addr>& a, const std::vector<in_addr>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const in_addr& x, const in_addr& y) {
           return x.s_addr == y.s_addr;
         });
}

}  // namespace

TDiscovery::TDiscovery(std::function<void()> onCopiesChanged, DiscoveryOptions options)
    : MessageOnlyWindow(kClassName),
      onChanged_(std::move(onCopiesChanged)),
      options_(std::move(options)),
      engine_(mdns::DefaultRandom(Seed(this))),
      socket_([this](std::string_view bytes, const sockaddr_in& from) { OnDatagram(bytes, from); }) {}

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
  if (!running()) return;
  engine_.SetPort(static_cast<std::uint16_t>(port), Now());
  Step();
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
  std::optional<std::wstring> wide = FromUtf8(engine_.instanceName());
  return wide ? Narrow(*wide) : engine_.instanceName();
}

void TDiscovery::Open() {
  lastError_.clear();
  interfaces_ = Interfaces();
  in_addr group{};
  group.s_addr = htonl(mdns::kGroup);
  try {
    socket_.Open(mdns::kPort, group, interfaces_);
  } catch (const VelloError& e) {
    lastError_ = e.text();
    return;
  }
  engine_.Start({ToUtf8(Widen(computerName_)), static_cast<std::uint16_t>(port_), Addresses(socket_.joined()),
                 options_.version},
                Now());
  if (options_.interfaces.empty()) SetTimer(window(), kInterfaceTimer, kInterfaceCheckMs, nullptr);
  Step();
}

void TDiscovery::Close() {
  if (engine_.running()) Send(engine_.Stop(Now()));  // the goodbye goes before the socket closes
  socket_.Close();
  if (hwnd()) {
    KillTimer(hwnd(), kWakeTimer);
    KillTimer(hwnd(), kInterfaceTimer);
  }
  lookups_.CancelAll();
  nameChecks_.clear();
  if (!copies_.empty()) {
    copies_.clear();
    if (onChanged_) onChanged_();
  }
}

void TDiscovery::OnDatagram(std::string_view bytes, const sockaddr_in& from) {
  if (!engine_.running()) return;
  engine_.Receive(bytes, {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}, Now());
  // One step after the socket's batch of datagrams, not one per datagram.
  if (!stepPosted_) stepPosted_ = PostMessageW(window(), kDeferredMessage, 0, 0) != FALSE;
}

void TDiscovery::Step() {
  if (!engine_.running()) return;
  mdns::Millis now = Now();
  // Whatever is due now goes at once; a few rounds at most.
  for (int round = 0; round < 4; ++round) {
    Send(engine_.Poll(now));
    auto wake = engine_.NextWake();
    if (!wake || *wake > now) break;
  }
  if (auto wake = engine_.NextWake()) {
    mdns::Millis delay = std::clamp<mdns::Millis>(*wake - now, USER_TIMER_MINIMUM, INT_MAX);
    SetTimer(window(), kWakeTimer, static_cast<UINT>(delay), nullptr);
  } else {
    KillTimer(hwnd(), kWakeTimer);
  }
  UpdateCopies();
}

void TDiscovery::Send(const std::vector<mdns::Datagram>& out) {
  for (const mdns::Datagram& d : out) {
    if (d.multicast) {
      socket_.SendToGroup(d.bytes);
    } else {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(d.to.address);
      to.sin_port = htons(d.to.port);
      socket_.SendTo(d.bytes, to);
    }
  }
}

void TDiscovery::UpdateCopies() {
  std::vector<FoundCopy> copies;
  std::map<std::string, NameCheck> checks;
  std::size_t inFlight = 0;
  for (const auto& [key, check] : nameChecks_) inFlight += !check.done;
  for (const mdns::FoundInstance& f : engine_.Found(Now())) {
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
      } else if (inFlight < kLookupsAtOnce) {
        ++inFlight;
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

void TDiscovery::RefreshInterfaces() {
  std::vector<in_addr> now = Interfaces();
  if (SameInterfaces(now, interfaces_)) return;
  interfaces_ = now;
  socket_.SetInterfaces(now);
  engine_.SetAddresses(Addresses(socket_.joined()), Now());
  Step();
}

std::vector<in_addr> TDiscovery::Interfaces() const {
  return options_.interfaces.empty() ? MulticastIpv4Interfaces() : options_.interfaces;
}

std::vector<std::uint32_t> TDiscovery::Addresses(const std::vector<in_addr>& interfaces) {
  std::vector<std::uint32_t> addresses;
  for (const in_addr& a : interfaces) addresses.push_back(ntohl(a.s_addr));
  return addresses;
}

mdns::Millis TDiscovery::Now() const { return static_cast<mdns::Millis>(GetTickCount64()); }

LRESULT TDiscovery::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kDeferredMessage) {
    stepPosted_ = false;
    Step();
    return 0;
  }
  if (msg == WM_TIMER && wp == kWakeTimer) {
    Step();
    return 0;
  }
  if (msg == WM_TIMER && wp == kInterfaceTimer) {
    if (engine_.running()) RefreshInterfaces();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
