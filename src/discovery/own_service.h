#pragma once
// Our own instance of the service: its names, derived from the computer
// name, and the records that announce it.
//
//   _vello._tcp.local            PTR  <instance>._vello._tcp.local   (shared, 4500 s)
//   <instance>._vello._tcp.local SRV  0 0 <port> <host>.local        (unique, 120 s)
//   <instance>._vello._tcp.local TXT  "ver=<version>"                (unique, 4500 s)
//   <host>.local                 A    each of our IPv4 addresses     (unique, 120 s)
//   _services._dns-sd._udp.local PTR  _vello._tcp.local              (shared, answered only)
//
// The host label is our own ("<computer>-vello"), not the computer's name:
// Windows 10/11 and Linux desktops already answer for "<computer>.local"
// with address sets of their own, and two owners of one name would keep
// flushing each other's records.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dns_message.h"

namespace vello::mdns {

struct OwnService {
  std::string instance;  // label, UTF-8
  std::string host;      // label
  std::uint16_t port = 0;
  std::vector<std::uint32_t> addresses;
  std::string version;
};

struct OwnRecord {
  dns::Record record;
  bool announced = true;  // false: sent only when asked for
};

// The instance label for a computer name (UTF-8): cut to 63 bytes on a
// character boundary; "Vello" when empty.
std::string InstanceLabelFor(std::string_view computerNameUtf8);
// The host label: letters, digits and "-" of the computer name, "-vello"
// appended.
std::string HostLabelFor(std::string_view computerNameUtf8);
// The n-th name tried after conflicts (n >= 2): "PC01 (2)", "PC01-vello-2".
std::string RenamedInstance(std::string_view base, int n);
std::string RenamedHost(std::string_view base, int n);

// The records, in the order above, with their full lifetimes.
std::vector<OwnRecord> OwnRecords(const OwnService& service);

// The records that follow a given answer in the additional section: for
// our instance's PTR the SRV, TXT and A records, for the SRV the A records.
std::vector<std::size_t> AdditionalsFor(const std::vector<OwnRecord>& records, std::size_t answer);

}  // namespace vello::mdns
