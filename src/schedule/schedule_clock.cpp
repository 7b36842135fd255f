#include "schedule/schedule_clock.h"

namespace vello {

std::string CurrentTimeText(int year, int month, int day, int hour, int minute) {
  return std::to_string(year) + "/" + std::to_string(month) + "/" + std::to_string(day) + " " +
         std::to_string(hour) + ":" + std::to_string(minute);
}

bool IsDue(std::string_view rowDateTime, std::string_view rowCaption, std::string_view currentTimeText) {
  return rowDateTime == currentTimeText && rowCaption != std::string_view("済");
}

std::string ComposeDateTimeText(std::string_view year, std::string_view month, std::string_view day,
                                std::string_view hour, std::string_view minute) {
  std::string text(year);
  text += '/';
  text.append(month);
  text += '/';
  text.append(day);
  text += ' ';
  text.append(hour);
  text += ':';
  text.append(minute);
  return text;
}

std::string RowTextFromStored(std::string_view storedText) {
  if (storedText.size() < 2) return {};
  return std::string(storedText.substr(0, storedText.size() - 2));
}

std::vector<std::string> YearChoices(int presentYear) {
  std::vector<std::string> years;
  for (int i = 0; i < 5; ++i) years.push_back(std::to_string(presentYear + i));
  return years;
}

}  // namespace vello
