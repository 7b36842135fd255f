#pragma once
// Pumping the test thread's messages until a condition holds, bounded: the
// deadline and the condition are looked at between batches of messages too,
// so an owner that keeps posting to itself (a broken client retrying at once,
// say) fails the test at its deadline instead of hanging the whole suite.
#include <windows.h>

#include <functional>

namespace vello::testing {

inline bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs,
                              const std::function<void(MSG&)>& dispatch = {}) {
  constexpr int kBatch = 64;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    MSG msg;
    for (int n = 0; n < kBatch && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
      if (msg.message == WM_QUIT) continue;
      if (dispatch) {
        dispatch(msg);
      } else {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace vello::testing
