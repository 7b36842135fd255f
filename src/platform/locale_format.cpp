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
  f.shortDatePattern = Info(LOCALE_SSHORTDATE);
  std::string separator = Info(LOCALE_STIME);
  f.timeSeparator = separator.empty() ? std::string(1, ':') : separator;
  f.hourLeadingZero = Info(LOCALE_ITLZERO) == "1";
  f.twelveHour = Info(LOCALE_ITIME) == "0";
  f.amDesignator = Info(LOCALE_S1159);
  f.pmDesignator = Info(LOCALE_S2359);
  f.designatorBeforeTime = Info(LOCALE_ITIMEMARKPOSN) == "1";
  return f;
}

}  // namespace vello
