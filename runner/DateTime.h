// Date-time values: days since 30 December 1899 as a double, the fraction being the time
// of day, in local time. -1.0 means "no value".
#pragma once
#include <cstdint>

using TDateTime = double;

constexpr TDateTime kNoDateTime = -1.0;

struct TDateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Throws nothing; out-of-range parts give an unspecified but finite value.
TDateTime EncodeDateTime(const TDateParts& p);
TDateParts DecodeDateTime(TDateTime t);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime t);
int HourOf(TDateTime t);
// Whole days of the date part (floor), as used for "days since" arithmetic.
int DatePart(TDateTime t);
// A DOS packed date and time (FAT format, 2-second resolution) as a date-time; 0 when the
// packed date is not a valid date.
TDateTime FromDosDateTime(uint16_t dosDate, uint16_t dosTime);
