#pragma once
// The local date and time, behind a seam for the scheduler's tests.
#include <functional>

#include "messaging/log_entry.h"

namespace vello {
LocalDateTime Now();
void SetClockForTests(std::function<LocalDateTime()> clock);  // empty: the real clock
}  // namespace vello
