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
}  // namespace

void SetNameLookupForTests(std::function<std::optional<std::string>(const in_addr&)> fn) {
  std::lock_guard lock(hookMutex);
  Hook() = std::move(fn);
}

HostAddress LookUpHost(const std::string& host) {
  HostAddress result;
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  int error = GetAddrInfoW(Widen(host).c_str(), nullptr, &hints, &found);
  if (error != 0 || !found) {
    result.error = error ? error : WSAHOST_NOT_FOUND;
  } else {
    result.address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  }
  if (found) FreeAddrInfoW(found);
  return result;
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
