#pragma once
// Finding every running copy on the local network, for the main window. It
// announces this copy ("<computer name>._vello._tcp.local" with the message
// port), browses for the others, keeps the list of copies found and calls
// back when that list changes. The multicast socket and the engine run on
// a thread of their own (DiscoveryWorker), so that nothing arriving there
// can hold back this thread; the list they find comes back here, where the
// name checks run as the system's asynchronous look-ups. Nothing here
// blocks, but Stop, which waits for the goodbye to go out.
//
//   TDiscovery discovery([&] { listChanged = true; });  // the copies found changed
//   discovery.SetEnabled(settingIsOn);      // before or after Start
//   discovery.Start(computerName, port);    // announce and browse
//   discovery.ChangePort(newPort);          // announce the new port
//   for (const FoundCopy& c : discovery.Copies()) list.push_back(c.Destination());
//   discovery.Stop();                       // goodbye, on an orderly exit
//
// Start never throws: finding copies is an extra, so when the multicast
// port cannot be had this copy stays unannounced and lastError() says why.
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/version.h"
#include "discovery/discovery_worker.h"
#include "platform/host_lookups.h"
#include "platform/network_interfaces.h"
#include "platform/window.h"

namespace vello {

struct FoundCopy {
  std::string computerName;      // model text (code page 932), as the copy announces it
  std::string address;           // dotted IPv4, where its announcements come from
  int port = 0;                  // its message port
  bool reachableByName = false;  // the name, looked up here as a send would, leads to that address
  // The text for a destination list: the name, or the address where the
  // name cannot be reached from here.
  std::string Destination() const { return reachableByName ? computerName : address; }
  bool operator==(const FoundCopy&) const = default;
};

struct DiscoveryOptions {
  // The interfaces to announce and browse on, with their subnets; empty
  // means every IPv4 interface that is up and can multicast (read again
  // every 30 s).
  std::vector<Ipv4Interface> interfaces;
  std::string version = VELLO_VERSION;  // the TXT record's "ver="
  // The multicast DNS port; another only where a test must not meet the
  // programs that hold 5353 on the machine.
  std::uint16_t port = mdns::kPort;
};

class TDiscovery : public MessageOnlyWindow {
 public:
  explicit TDiscovery(std::function<void()> onCopiesChanged, DiscoveryOptions options = {});
  ~TDiscovery() override;

  // `computerName` is model text; the port is the message port.
  void Start(const std::string& computerName, int port);
  void ChangePort(int port);
  // Goodbye to the others; the list empties.
  void Stop();
  // Off: goodbye, nothing sent or listed; on again: as started before.
  void SetEnabled(bool on);

  bool enabled() const { return enabled_; }
  bool running() const { return worker_.running(); }
  // The other copies, by computer name; never this one.
  const std::vector<FoundCopy>& Copies() const { return copies_; }
  const std::string& lastError() const { return lastError_; }
  // Our instance name as announced (changed when another copy held it).
  std::string AnnouncedName() const;
  mdns::DiscoveryEngine::Counters counters() const { return worker_.counters(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct NameCheck {
    bool done = false;
    bool reachable = false;
  };

  void Open();
  void Close();
  void UpdateCopies();

  std::function<void()> onChanged_;
  DiscoveryOptions options_;
  DiscoveryWorker worker_;
  HWND window_ = nullptr;  // where the worker's news is posted
  std::atomic<bool> updatePosted_{false};
  HostLookups lookups_;
  bool enabled_ = true;
  bool started_ = false;  // Start called, Stop not since
  std::string computerName_;
  int port_ = 0;
  std::vector<FoundCopy> copies_;
  std::map<std::string, NameCheck> nameChecks_;  // by name and address
  std::string lastError_;
};

}  // namespace vello
