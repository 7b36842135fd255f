#pragma once
// The discovery engine on its multicast socket, on a thread of its own.
// The thread owns the socket, the engine and their timers; whatever arrives
// on port 5353, however much of it, is read and handled there, so it never
// holds back the user-interface thread and the message connections it
// serves. What the user-interface thread needs crosses over in two small
// ways: commands (the port, the stop) and the list of copies found, handed
// over whenever it changes (at most ten times a second).
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_engine.h"
#include "platform/multicast_socket.h"
#include "platform/network_interfaces.h"

namespace vello {

class DiscoveryWorker {
 public:
  struct Settings {
    std::string instanceName;  // UTF-8
    std::uint16_t messagePort = 0;
    std::string version;
    // The interfaces to use; empty: every IPv4 interface that is up and can
    // multicast, read again every 30 s.
    std::vector<Ipv4Interface> interfaces;
    std::uint16_t multicastPort = mdns::kPort;
  };

  // `changed` runs on the worker's thread when the list of copies found
  // has changed: it must only post (say, a window message) and return.
  explicit DiscoveryWorker(std::function<void()> changed);
  ~DiscoveryWorker();
  DiscoveryWorker(const DiscoveryWorker&) = delete;
  DiscoveryWorker& operator=(const DiscoveryWorker&) = delete;

  // Opens the socket on the calling thread (throws VelloError when it
  // cannot be had), then runs on a thread of its own.
  void Start(const Settings& settings);
  void SetPort(std::uint16_t port);
  // The goodbye goes out, the socket closes and the thread ends; returns
  // once it has.
  void Stop();

  bool running() const { return thread_.joinable(); }
  // What the thread handed over last.
  std::vector<mdns::FoundInstance> Found() const;
  mdns::DiscoveryEngine::Counters counters() const;
  std::string instanceName() const;

 private:
  void Run(Settings settings);
  void Send(const std::vector<mdns::Datagram>& out);
  void Publish(mdns::Millis now, bool force);
  std::vector<mdns::LinkAddress> Link() const;
  static mdns::Millis Now();

  std::function<void()> changed_;
  std::thread thread_;
  HANDLE wake_ = nullptr;  // commands are waiting
  // The thread's own, untouched by others while it runs.
  MulticastSocket socket_;
  std::optional<mdns::DiscoveryEngine> engine_;
  std::vector<Ipv4Interface> interfaces_;
  std::uint64_t publishedVersion_ = 0;
  mdns::Millis publishedAt_ = 0;
  // Shared with the other threads.
  mutable std::mutex mutex_;
  bool stop_ = false;
  std::optional<std::uint16_t> newPort_;
  std::vector<mdns::FoundInstance> found_;
  mdns::DiscoveryEngine::Counters counters_;
  std::string instanceName_;
};

}  // namespace vello
