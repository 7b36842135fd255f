// The tests' own message pump: a thread whose queue never runs dry (an owner
// that posts to itself on every message, as a broken client retrying at once
// would) must not hold a test past its deadline, nor hide a condition that
// has come true.
#include <gtest/gtest.h>

#include <windows.h>

#include "message_pump.h"

namespace vello::testing {
namespace {

constexpr UINT kAgain = WM_APP + 77;

LRESULT CALLBACK PostsToItself(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kAgain) {
    ++*reinterpret_cast<long*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    PostMessageW(hwnd, kAgain, 0, 0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(MessagePump, AQueueThatNeverRunsDryEndsAtTheDeadlineOrTheCondition) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = PostsToItself;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VelloTestPostsToItself";
  RegisterClassW(&wc);
  HWND w = CreateWindowW(wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  long handled = 0;
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
  PostMessageW(w, kAgain, 0, 0);

  ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(PumpMessagesUntil([] { return false; }, 300));
  EXPECT_LT(GetTickCount64() - start, 2000u) << "the pump outlasted its deadline";
  EXPECT_GT(handled, 0);

  start = GetTickCount64();
  const long target = handled + 1000;
  EXPECT_TRUE(PumpMessagesUntil([&] { return handled >= target; }, 5000));
  EXPECT_LT(GetTickCount64() - start, 2000u) << "the condition was looked at only once the queue ran dry";

  DestroyWindow(w);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, kAgain, kAgain, PM_REMOVE)) {
  }
}

}  // namespace
}  // namespace vello::testing
