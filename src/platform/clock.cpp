#include "platform/clock.h"

#include <windows.h>

namespace vello {

namespace {
std::function<LocalDateTime()>& Hook() {
  static std::function<LocalDateTime()> fn;
  return fn;
}
}  // namespace

LocalDateTime Now() {
  if (Hook()) return Hook()();
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

void SetClockForTests(std::function<LocalDateTime()> clock) { Hook() = std::move(clock); }

}  // namespace vello
