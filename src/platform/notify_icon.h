#pragma once
// The notification-area icon record, kept for the whole run and reused by
// every call. On 64-bit Windows the original 88-byte layout is the version-1
// record of the 64-bit API (window and icon handles are 8 bytes wide).
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

namespace vello {

enum class TrayAction : DWORD { Add = NIM_ADD, Modify = NIM_MODIFY, Delete = NIM_DELETE };

// The call to the shell, behind a seam so tests read each record sent.
using TrayFunction = std::function<BOOL(TrayAction, const NOTIFYICONDATAW&)>;
void SetTrayFunction(TrayFunction fn);
BOOL CallTray(TrayAction action, const NOTIFYICONDATAW& record);

inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAW_V1_SIZE;

// Fills the record's fixed fields, sets the icon and tip (CP932 text, cut to
// the record's 64 units).
void FillTrayRecord(NOTIFYICONDATAW& record, HWND window, UINT flags, HICON icon, const std::string& tip);

}  // namespace vello
