#pragma once
// Every private window message of the program, in one place.
#include <windows.h>

namespace vello {
// The notification area calls the main window back with this message.
inline constexpr UINT kTrayCallbackMessage = 0x40A;  // WM_USER + 10
inline constexpr UINT kSocketEventMessage = WM_APP + 1;
// Work posted to run after the current handler (e.g. freeing a finished send).
inline constexpr UINT kDeferredMessage = WM_APP + 3;
// Work done on a background thread is ready to be handed back.
inline constexpr UINT kBackgroundDoneMessage = WM_APP + 4;
}  // namespace vello
