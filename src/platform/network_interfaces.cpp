#include "platform/network_interfaces.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vello {

namespace {
// Set once by a test's main before anything reads it.
std::optional<std::vector<Ipv4Interface>>& Override() {
  static std::optional<std::vector<Ipv4Interface>> interfaces;
  return interfaces;
}
}  // namespace

void SetMulticastInterfacesForTests(std::optional<std::vector<Ipv4Interface>> interfaces) {
  Override() = std::move(interfaces);
}

namespace {

// The IPv4 addresses of the interfaces that are up, loopback left out;
// with `multicastOnly`, only of those that can multicast.
std::vector<Ipv4Interface> InterfacesUp(bool multicastOnly) {
  std::vector<Ipv4Interface> result;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    rc = GetAdaptersAddresses(AF_INET,
                              GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                                  GAA_FLAG_SKIP_FRIENDLY_NAME,
                              nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (rc != NO_ERROR) return result;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK ||
        (multicastOnly && (a->Flags & IP_ADAPTER_NO_MULTICAST)))
      continue;
    for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
      if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
      in_addr addr = reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr;
      if ((ntohl(addr.s_addr) >> 24) == 127) continue;
      // Filled by every system since Vista and by Wine; a length that makes
      // no sense is taken as the usual local network's.
      int prefix = u->OnLinkPrefixLength;
      if (prefix < 1 || prefix > 32) prefix = 24;
      result.push_back({addr, prefix});
    }
  }
  return result;
}

}  // namespace

std::vector<Ipv4Interface> MulticastIpv4Interfaces() {
  if (Override()) return *Override();
  return InterfacesUp(true);
}

std::string NetworkFingerprint() {
  std::string text;
  for (const Ipv4Interface& i : InterfacesUp(false)) {
    char one[32];
    unsigned long a = ntohl(i.address.s_addr);
    std::snprintf(one, sizeof one, "%lu.%lu.%lu.%lu/%d ", (a >> 24) & 255, (a >> 16) & 255, (a >> 8) & 255, a & 255,
                  i.prefixLength);
    text += one;
  }
  return text;
}

}  // namespace vello
