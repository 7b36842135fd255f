#pragma once
// The date-time text of a log entry written now, in the user's own date and
// time formats.
#include <string>

#include "common/date_time.h"

namespace vello {

std::string LogDateTimeText(const LocalDateTime& t);
// The present moment's, by the clock (which tests may set).
std::string LogDateTimeNow();

}  // namespace vello
