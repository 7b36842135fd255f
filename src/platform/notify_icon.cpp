#include "platform/notify_icon.h"

#include "platform/win_text.h"

namespace vello {

namespace {
TrayFunction& Hook() {
  static TrayFunction fn;
  return fn;
}
}  // namespace

void SetTrayFunction(TrayFunction fn) { Hook() = std::move(fn); }

BOOL CallTray(TrayAction action, const NOTIFYICONDATAW& record) {
  if (Hook()) return Hook()(action, record);
  return Shell_NotifyIconW(static_cast<DWORD>(action), const_cast<NOTIFYICONDATAW*>(&record));
}

void FillTrayRecord(NOTIFYICONDATAW& record, HWND window, UINT flags, HICON icon, const std::string& tip) {
  record.cbSize = kTrayRecordSize;
  record.hWnd = window;
  record.uID = 1;
  record.uFlags = flags;
  record.hIcon = icon;
  std::wstring wide = Widen(tip);
  wide.resize(std::min<std::size_t>(wide.size(), 63));
  std::fill(std::begin(record.szTip), std::end(record.szTip), L'\0');
  std::copy(wide.begin(), wide.end(), record.szTip);
}

}  // namespace vello
