#pragma once
// The local date and time as the program uses them (the scheduler's minute,
// the log's date-time text), and the user's locale rules for writing them.
#include <string>

namespace vello {

struct LocalDateTime { int year, month, day, hour, minute, second; };

struct LocaleTimeFormat {
  std::string shortDatePattern;   // Windows pattern, e.g. "yyyy/MM/dd", "M/d/yyyy"; '...' quoted literals
  std::string timeSeparator;      // ":"
  bool hourLeadingZero = false;
  bool twelveHour = false;
  std::string amDesignator, pmDesignator;
  bool designatorBeforeTime = false;
};

}  // namespace vello
