#pragma once
#include "common/date_time.h"

namespace vello {
// The user's date and time settings, as the log's date-time text needs them.
LocaleTimeFormat UserLocaleTimeFormat();
}
