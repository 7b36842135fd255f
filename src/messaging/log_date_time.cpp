#include "messaging/log_date_time.h"

#include "messaging/log_entry.h"
#include "platform/clock.h"
#include "platform/locale_format.h"

namespace vello {

std::string LogDateTimeText(const LocalDateTime& t) {
  return DateTimeText(UserShortDateText(t), t, UserLocaleTimeFormat());
}

std::string LogDateTimeNow() { return LogDateTimeText(Now()); }

}  // namespace vello
