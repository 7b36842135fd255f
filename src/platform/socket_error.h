#pragma once
#include <string>

namespace vello {
// The system's own text for an error number, trimmed of trailing blanks and
// dots as the error display wants it.
std::string SystemErrorText(int code);
// "'<api>' API でWindows ソケットエラー: <text> (<code>)"
std::string SocketApiErrorText(int code, const std::string& api);
// Starts Winsock once for the process.
void EnsureWinsock();
}  // namespace vello
namespace vello {
// "非同期ソケットエラー %d": an error the socket layer reports on its own.
std::string FormatSocketEventError(int code);
}
