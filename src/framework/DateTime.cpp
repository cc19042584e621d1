#include "framework/DateTime.h"

#include <cmath>

namespace tabshift {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

CalendarDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  const int month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

const int64_t kDay0 = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

}  // namespace

bool IsValidDate(int64_t year, int month, int day) {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int last = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= last;
}

bool TryEncodeDate(int64_t year, int month, int day, TDateTime& value) {
  if (!IsValidDate(year, month, day)) return false;
  value = static_cast<TDateTime>(DaysFromCivil(year, month, day) - kDay0);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  value = ((hour * 60 + minute) * 60 + second) * 1000.0 + millisecond;
  value /= kMillisecondsInDay;
  return true;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  return date < 0 ? date - time : date + time;
}

CalendarDate DecodeDayNumber(int64_t days) {
  return CivilFromDays(days + kDay0);
}

TimeOfDay DecodeMilliseconds(int64_t milliseconds) {
  milliseconds %= kMillisecondsInDay;
  if (milliseconds < 0) milliseconds += kMillisecondsInDay;
  const int ms = static_cast<int>(milliseconds);
  return {ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000};
}

int64_t FractionMilliseconds(TDateTime value) {
  if (!std::isfinite(value)) return 0;
  double whole = 0;
  const double fraction = std::fabs(std::modf(value, &whole));
  return std::llround(fraction * kMillisecondsInDay);
}

}  // namespace tabshift
