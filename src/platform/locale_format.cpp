#include "platform/locale_format.h"

#include <windows.h>

#include "platform/win_text.h"

namespace vello {

namespace {
std::string Info(LCTYPE type) {
  wchar_t buffer[128] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
  return Narrow(buffer);
}
}  // namespace

LocaleTimeFormat UserLocaleTimeFormat() {
  LocaleTimeFormat f;
  std::string separator = Info(LOCALE_STIME);
  f.timeSeparator = separator.empty() ? std::string(1, ':') : separator;
  f.hourLeadingZero = Info(LOCALE_ITLZERO) == "1";
  f.twelveHour = Info(LOCALE_ITIME) == "0";
  f.amDesignator = Info(LOCALE_S1159);
  f.pmDesignator = Info(LOCALE_S2359);
  f.designatorBeforeTime = Info(LOCALE_ITIMEMARKPOSN) == "1";
  return f;
}

std::string UserShortDateText(const LocalDateTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  // The day of the week, for "ddd" and "dddd", from the date itself.
  FILETIME ft;
  if (SystemTimeToFileTime(&st, &ft)) FileTimeToSystemTime(&ft, &st);
  wchar_t buffer[128] = {};
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128);
  if (n <= 0) return {};
  return Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
}

}  // namespace vello
