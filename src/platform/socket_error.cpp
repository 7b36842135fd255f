#include "platform/socket_error.h"

#include <winsock2.h>
#include <windows.h>

#include "common/text_format.h"
#include "common/vello_error.h"
#include "platform/win_text.h"

namespace vello {

std::string SystemErrorText(int code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  return Narrow(text);
}

std::string SocketApiErrorText(int code, const std::string& api) {
  return FormatText("'%2:s' API でWindows ソケットエラー: %0:s (%1:d)",
                    {SystemErrorText(code), std::to_string(code), api});
}

void EnsureWinsock() {
  // Once per process, whichever thread asks first.
  static const int rc = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (rc != 0) throw VelloError(SocketApiErrorText(rc, "WSAStartup"));
}

}  // namespace vello
namespace vello {
std::string FormatSocketEventError(int code) { return FormatText("非同期ソケットエラー %d", {std::to_string(code)}); }
}
