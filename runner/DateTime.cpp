#include "DateTime.h"

#include <cmath>

namespace {

// Days from 0001-01-01 (proleptic Gregorian) to the given date, civil algorithm.
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(const TDateParts& p) {
  const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kEpochOffset);
  const double time =
      (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.millisecond) / 86400000.0;
  // Days before the epoch keep their time as a positive fraction of a negative day count
  // in the classic format; nothing in this system goes before 1980, so plain addition is
  // enough.
  return days + time;
}

TDateParts DecodeDateTime(TDateTime t) {
  TDateParts p;
  if (!std::isfinite(t)) return p;
  const double whole = std::floor(t);
  long long ms = std::llround((t - whole) * 86400000.0);
  long long days = static_cast<long long>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++days;
  }
  CivilFromDays(days + kEpochOffset, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

int DatePart(TDateTime t) {
  if (!std::isfinite(t)) return 0;
  return static_cast<int>(std::floor(t + 0.5 / 86400000.0));
}

int DayOfWeek(TDateTime t) {
  // 30 Dec 1899 was a Saturday (7).
  const long long days = DatePart(t);
  const long long r = ((days + 6) % 7 + 7) % 7;  // 0 = Sunday
  return static_cast<int>(r) + 1;
}

int HourOf(TDateTime t) { return DecodeDateTime(t).hour; }

TDateTime FromDosDateTime(uint16_t dosDate, uint16_t dosTime) {
  TDateParts p;
  p.year = 1980 + (dosDate >> 9);
  p.month = (dosDate >> 5) & 0x0F;
  p.day = dosDate & 0x1F;
  p.hour = dosTime >> 11;
  p.minute = (dosTime >> 5) & 0x3F;
  p.second = (dosTime & 0x1F) * 2;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour > 23 || p.minute > 59 ||
      p.second > 59)
    return 0;
  return EncodeDateTime(p);
}
