#pragma once
#include "messaging/log_entry.h"

namespace vello {
// The user's date and time settings, as the log's date-time text needs them.
LocaleTimeFormat UserLocaleTimeFormat();
}
