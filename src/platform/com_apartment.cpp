#include "platform/com_apartment.h"

#include <windows.h>
#include <objbase.h>

namespace vello {

void UseComOnThisThread() {
  // Never left: the apartment lasts as long as the thread, as the shell's
  // objects it made may.
  thread_local bool entered = false;
  if (entered) return;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  entered = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

}  // namespace vello
