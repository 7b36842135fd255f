#include "discovery/discovery_worker.h"

#include <winsock2.h>

#include <algorithm>

namespace vello {

namespace {

// Datagrams read between two looks at the commands and the timers.
constexpr int kDatagramsPerTurn = 64;
// Rounds of whatever is due now, per turn.
constexpr int kRoundsPerTurn = 4;
constexpr mdns::Millis kInterfaceCheck = 30000;
// The list of copies crosses over at most this often: during a flood of
// forged records it may change at every packet.
constexpr mdns::Millis kPublishGap = 100;
constexpr mdns::Millis kLongestSleep = 60000;

std::uint64_t Seed(const void* self) {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
         reinterpret_cast<std::uintptr_t>(self);
}

std::vector<in_addr> AddressesOf(const std::vector<Ipv4Interface>& interfaces) {
  std::vector<in_addr> addresses;
  for (const Ipv4Interface& i : interfaces) addresses.push_back(i.address);
  return addresses;
}

bool SameInterfaces(const std::vector<Ipv4Interface>& a, const std::vector<Ipv4Interface>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Ipv4Interface& x, const Ipv4Interface& y) {
    return x.address.s_addr == y.address.s_addr && x.prefixLength == y.prefixLength;
  });
}

}  // namespace

DiscoveryWorker::DiscoveryWorker(std::function<void()> changed)
    : changed_(std::move(changed)), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DiscoveryWorker::~DiscoveryWorker() {
  Stop();
  if (wake_) CloseHandle(wake_);
}

mdns::Millis DiscoveryWorker::Now() { return static_cast<mdns::Millis>(GetTickCount64()); }

std::vector<mdns::LinkAddress> DiscoveryWorker::Link() const {
  std::vector<mdns::LinkAddress> link;
  for (const in_addr& joined : socket_.joined())
    for (const Ipv4Interface& i : interfaces_)
      if (i.address.s_addr == joined.s_addr) {
        link.push_back({ntohl(joined.s_addr), i.prefixLength});
        break;
      }
  return link;
}

void DiscoveryWorker::Start(const Settings& settings) {
  Stop();
  interfaces_ = settings.interfaces.empty() ? MulticastIpv4Interfaces() : settings.interfaces;
  in_addr group{};
  group.s_addr = htonl(mdns::kGroup);
  socket_.Open(settings.multicastPort, group, AddressesOf(interfaces_));
  engine_.emplace(mdns::DefaultRandom(Seed(this)), settings.multicastPort);
  engine_->Start({settings.instanceName, settings.messagePort, Link(), settings.version}, Now());
  publishedVersion_ = 0;
  publishedAt_ = Now() - kPublishGap;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
    newPort_.reset();
    found_.clear();
    counters_ = engine_->counters();
    instanceName_ = engine_->instanceName();
  }
  thread_ = std::thread(&DiscoveryWorker::Run, this, settings);
}

void DiscoveryWorker::SetPort(std::uint16_t port) {
  if (!running()) return;
  {
    std::lock_guard lock(mutex_);
    newPort_ = port;
  }
  SetEvent(wake_);
}

void DiscoveryWorker::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  SetEvent(wake_);
  thread_.join();
  std::lock_guard lock(mutex_);
  found_.clear();
}

std::vector<mdns::FoundInstance> DiscoveryWorker::Found() const {
  std::lock_guard lock(mutex_);
  return found_;
}

mdns::DiscoveryEngine::Counters DiscoveryWorker::counters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

std::string DiscoveryWorker::instanceName() const {
  std::lock_guard lock(mutex_);
  return instanceName_;
}

void DiscoveryWorker::Send(const std::vector<mdns::Datagram>& out) {
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

void DiscoveryWorker::Publish(mdns::Millis now, bool force) {
  const std::uint64_t version = engine_->version();
  bool changed = false;
  if (force || (version != publishedVersion_ && now >= publishedAt_ + kPublishGap)) {
    std::vector<mdns::FoundInstance> found = engine_->Found(now);
    publishedVersion_ = version;
    publishedAt_ = now;
    std::lock_guard lock(mutex_);
    changed = found != found_;
    if (changed) found_ = std::move(found);
  }
  {
    std::lock_guard lock(mutex_);
    counters_ = engine_->counters();
    if (instanceName_ != engine_->instanceName()) instanceName_ = engine_->instanceName();
  }
  if (changed && changed_) changed_();
}

void DiscoveryWorker::Run(Settings settings) {
  // Below the user-interface thread: on a busy machine it goes first.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  const bool fixedInterfaces = !settings.interfaces.empty();
  mdns::Millis nextInterfaceCheck = Now() + kInterfaceCheck;
  for (;;) {
    bool stop = false;
    std::optional<std::uint16_t> port;
    {
      std::lock_guard lock(mutex_);
      stop = stop_;
      port.swap(newPort_);
    }
    mdns::Millis now = Now();
    if (stop) {
      Send(engine_->Stop(now));  // the goodbye goes before the socket closes
      Publish(now, true);
      break;
    }
    if (port) engine_->SetPort(*port, now);
    WSAResetEvent(socket_.readEvent());  // reading sets it again while datagrams remain
    const bool more = socket_.ReadSome(kDatagramsPerTurn, [&](std::string_view bytes, const sockaddr_in& from) {
      engine_->Receive(bytes, {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}, now);
    });
    now = Now();
    if (!fixedInterfaces && now >= nextInterfaceCheck) {
      nextInterfaceCheck = now + kInterfaceCheck;
      std::vector<Ipv4Interface> current = MulticastIpv4Interfaces();
      if (!SameInterfaces(current, interfaces_)) {
        interfaces_ = std::move(current);
        socket_.SetInterfaces(AddressesOf(interfaces_));
        engine_->SetLink(Link(), now);
      }
    }
    for (int round = 0; round < kRoundsPerTurn; ++round) {
      auto wake = engine_->NextWake();
      if (!wake || *wake > now) break;
      Send(engine_->Poll(now));
    }
    Publish(now, false);

    mdns::Millis until = fixedInterfaces ? now + kLongestSleep : nextInterfaceCheck;
    if (auto wake = engine_->NextWake()) until = std::min(until, *wake);
    if (engine_->version() != publishedVersion_) until = std::min(until, publishedAt_ + kPublishGap);
    const DWORD timeout = more ? 0 : static_cast<DWORD>(std::clamp<mdns::Millis>(until - now, 0, kLongestSleep));
    HANDLE events[] = {socket_.readEvent(), wake_};
    WSAWaitForMultipleEvents(2, events, FALSE, timeout, FALSE);
  }
  socket_.Close();
}

}  // namespace vello
