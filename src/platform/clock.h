#pragma once
// The local date and time, behind a seam for the scheduler's tests.
#include <functional>

#include "common/date_time.h"

namespace vello {
LocalDateTime Now();
void SetClockForTests(std::function<LocalDateTime()> clock);  // empty: the real clock
}  // namespace vello
