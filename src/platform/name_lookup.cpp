#include "platform/name_lookup.h"

#include <ws2tcpip.h>

#include <mutex>

#include "platform/socket_error.h"
#include "platform/win_text.h"

namespace vello {

namespace {
std::mutex hookMutex;
std::function<std::optional<std::string>(const in_addr&)>& Hook() {
  static std::function<std::optional<std::string>(const in_addr&)> fn;
  return fn;
}
std::function<std::vector<in_addr>(const std::string&)>& HostHook() {
  static std::function<std::vector<in_addr>(const std::string&)> fn;
  return fn;
}
}  // namespace

void SetHostLookupForTests(std::function<std::vector<in_addr>(const std::string&)> fn) {
  std::lock_guard lock(hookMutex);
  HostHook() = std::move(fn);
}

void SetNameLookupForTests(std::function<std::optional<std::string>(const in_addr&)> fn) {
  std::lock_guard lock(hookMutex);
  Hook() = std::move(fn);
}

namespace {
int LookUp(const std::string& host, std::vector<in_addr>& addresses) {
  std::function<std::vector<in_addr>(const std::string&)> hook;
  {
    std::lock_guard lock(hookMutex);
    hook = HostHook();
  }
  if (hook) {
    addresses = hook(host);
    return addresses.empty() ? WSAHOST_NOT_FOUND : 0;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  int error = GetAddrInfoW(Widen(host).c_str(), nullptr, &hints, &found);
  for (ADDRINFOW* a = found; a && error == 0; a = a->ai_next)
    if (a->ai_family == AF_INET) addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
  if (found) FreeAddrInfoW(found);
  if (error == 0 && addresses.empty()) error = WSAHOST_NOT_FOUND;
  return error;
}
}  // namespace

HostAddress LookUpHost(const std::string& host) {
  std::vector<in_addr> addresses;
  HostAddress result;
  result.error = LookUp(host, addresses);
  if (result.error == 0) result.address = addresses.front();
  return result;
}

std::vector<in_addr> LookUpHostAddresses(const std::string& host) {
  std::vector<in_addr> addresses;
  LookUp(host, addresses);
  return addresses;
}

std::optional<std::string> LookUpName(const in_addr& address) {
  std::function<std::optional<std::string>(const in_addr&)> hook;
  {
    std::lock_guard lock(hookMutex);
    hook = Hook();
  }
  if (hook) return hook(address);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr = address;
  wchar_t name[NI_MAXHOST] = {};
  if (GetNameInfoW(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, name, NI_MAXHOST, nullptr, 0,
                   NI_NAMEREQD) != 0)
    return std::nullopt;
  return Narrow(name);
}

}  // namespace vello
