#pragma once
// The scheduler's time texts and its due rule. Times are compared as texts:
// an entry is due in the minute whose current-time text equals its own.
#include <string>
#include <string_view>
#include <vector>

namespace vello {

// "2002/7/5 9:5": year/month/day hour:minute, decimal, no leading zeros.
std::string CurrentTimeText(int year, int month, int day, int hour, int minute);

// Due when the row's date-time text equals the current-time text byte for
// byte and the row is not marked "済".
bool IsDue(std::string_view rowDateTime, std::string_view rowCaption, std::string_view currentTimeText);

// The timer page's five boxes joined as typed, without any check.
std::string ComposeDateTimeText(std::string_view year, std::string_view month, std::string_view day,
                                std::string_view hour, std::string_view minute);

// A loaded entry's row shows its text without the final CR LF (the last two
// bytes); a text shorter than two bytes shows as empty.
std::string RowTextFromStored(std::string_view storedText);

// The year box's choices: the present year and the four after it.
std::vector<std::string> YearChoices(int presentYear);

}  // namespace vello
