#pragma once
// The local date and time as the program uses them (the scheduler's minute,
// the log's date-time text), and the user's locale rules for writing them.
#include <string>

namespace vello {

struct LocalDateTime { int year, month, day, hour, minute, second; };

// How the user's locale writes a time of day (the date is the system's to
// write, in the user's short date format).
struct LocaleTimeFormat {
  std::string timeSeparator;      // ":"
  bool hourLeadingZero = false;
  bool twelveHour = false;
  std::string amDesignator, pmDesignator;
  bool designatorBeforeTime = false;
};

}  // namespace vello
