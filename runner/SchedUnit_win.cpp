// Win32 half of SchedUnit: the user locale's AM/PM designators.
#include <windows.h>

#include "SchedUnit.h"

namespace {

std::string LocaleText(LCTYPE type) {
  char buffer[80] = {};
  // The count includes the terminating NUL; 0 means failure (empty designator then).
  const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return n > 1 ? std::string(buffer, static_cast<size_t>(n - 1)) : std::string();
}

}  // namespace

void CreateSchedule() {
  CreateScheduleWith(TAmPm{LocaleText(LOCALE_S1159), LocaleText(LOCALE_S2359)});
}
