#include "DateTime.h"

#include <gtest/gtest.h>

TEST(DateTimeTest, EpochAndKnownDates) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1}), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2026, 12, 7, 18, 0, 0}), 46363.75);
  EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 7})), 2);   // a Monday
  EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 6})), 1);   // Sunday
  EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 12})), 7);  // Saturday
  EXPECT_EQ(DayOfWeek(0.0), 7);
}

TEST(DateTimeTest, RoundTripsThroughParts) {
  for (TDateParts p : {TDateParts{2024, 2, 29, 23, 59, 58}, TDateParts{1980, 1, 1, 0, 0, 0},
                       TDateParts{2107, 12, 31, 12, 30, 2}}) {
    const TDateParts q = DecodeDateTime(EncodeDateTime(p));
    EXPECT_EQ(q.year, p.year);
    EXPECT_EQ(q.month, p.month);
    EXPECT_EQ(q.day, p.day);
    EXPECT_EQ(q.hour, p.hour);
    EXPECT_EQ(q.minute, p.minute);
    EXPECT_EQ(q.second, p.second);
  }
  EXPECT_EQ(HourOf(EncodeDateTime({2026, 1, 1, 19, 59, 59})), 19);
}

TEST(DateTimeTest, DosPackedValues) {
  // 2026-12-07 18:30:46 -> date (46<<9)|(12<<5)|7, time (18<<11)|(30<<5)|23
  const uint16_t date = (46 << 9) | (12 << 5) | 7;
  const uint16_t time = (18 << 11) | (30 << 5) | 23;
  const TDateParts p = DecodeDateTime(FromDosDateTime(date, time));
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 7);
  EXPECT_EQ(p.hour, 18);
  EXPECT_EQ(p.minute, 30);
  EXPECT_EQ(p.second, 46);
  EXPECT_EQ(FromDosDateTime(0, 0), 0.0);  // month 0 is no date
}
