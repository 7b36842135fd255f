#include "platform/computer_name.h"

#include <windows.h>

#include "platform/win_text.h"

namespace vello {

std::string ComputerName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) && size > 0) return Narrow(name);
  size = 256;
  if (GetComputerNameW(name, &size)) return Narrow(name);
  return {};
}

}  // namespace vello
