#pragma once
#include <string>

#include "common/date_time.h"

namespace vello {
// The user's time-of-day settings, as the log's date-time text needs them.
LocaleTimeFormat UserLocaleTimeFormat();
// The date as the system writes it in the user's short date format, with
// its own day and month names and eras, in CP932 as the log holds it (a
// character that code page cannot hold takes the system's nearest
// look-alike, or "?").
std::string UserShortDateText(const LocalDateTime& t);
}  // namespace vello
