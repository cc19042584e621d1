// The framework's date-time value: a floating count of days whose day 0 is 1899-12-30, the
// fraction being the time of day (for values before day 0 the fraction's magnitude is the
// time, as in -1.25, 1899-12-29 06:00). Calendar arithmetic uses the proleptic Gregorian
// calendar.
#pragma once

#include <cstdint>

namespace tabshift {

using TDateTime = double;

inline constexpr int32_t kMillisecondsInDay = 86400000;

struct CalendarDate {
  int64_t year;
  int month;
  int day;
};

struct TimeOfDay {
  int hour;
  int minute;
  int second;
  int millisecond;
};

bool IsValidDate(int64_t year, int month, int day);
// False unless year 1 to 9999 and a real month and day.
bool TryEncodeDate(int64_t year, int month, int day, TDateTime& value);
// False unless hour < 24, minute < 60, second < 60, millisecond < 1000.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value);

// A date and a time of day joined into one value; before day 0 the time counts away from zero.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// The calendar date of a day count from 1899-12-30 (any count, also outside years 1 to 9999).
CalendarDate DecodeDayNumber(int64_t days);
// The time of day of a millisecond count from midnight (taken modulo a day).
TimeOfDay DecodeMilliseconds(int64_t milliseconds);
// The fraction's magnitude in milliseconds, rounded to the nearest; can be 86400000 when the
// fraction rounds up to a whole day.
int64_t FractionMilliseconds(TDateTime value);

}  // namespace tabshift
