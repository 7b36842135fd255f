#include "platform/host_lookups.h"

#include "platform/socket_error.h"
#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloHostLookups";
}

HostLookups::HostLookups() {
  EnsureWinsock();
  RegisterClassOnce(kClassName);
  Create({.className = kClassName, .style = 0, .parent = HWND_MESSAGE});
}

HostLookups::~HostLookups() {
  CancelAll();
  Destroy();
}

bool HostLookups::Start(const std::string& name, Handler done) {
  Pending p{name, std::vector<char>(MAXGETHOSTSTRUCT), std::move(done)};
  HANDLE h = WSAAsyncGetHostByName(hwnd(), kHostLookupMessage, p.name.c_str(), p.hostent.data(),
                                   static_cast<int>(p.hostent.size()));
  if (!h) return false;
  pending_.emplace(h, std::move(p));
  return true;
}

void HostLookups::CancelAll() {
  for (auto& [h, p] : pending_) WSACancelAsyncRequest(h);
  pending_.clear();
}

LRESULT HostLookups::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kHostLookupMessage) return Default(msg, wp, lp);
  auto it = pending_.find(reinterpret_cast<HANDLE>(wp));
  if (it == pending_.end()) return 0;  // cancelled
  Pending p = std::move(it->second);
  pending_.erase(it);
  std::vector<in_addr> addresses;
  const auto* he = reinterpret_cast<const hostent*>(p.hostent.data());
  if (WSAGETASYNCERROR(lp) == 0 && he->h_addrtype == AF_INET && he->h_length == sizeof(in_addr))
    for (char** a = he->h_addr_list; a && *a; ++a) addresses.push_back(*reinterpret_cast<const in_addr*>(*a));
  if (p.done) p.done(p.name, addresses);
  return 0;
}

}  // namespace vello
