// The locale of the texts that numbers, dates and times are converted to and from. One
// process-wide setting, read by every conversion, so texts are the same on every machine
// unless the program changes it:
//   decimal separator '.';
//   date format "yyyy-mm-dd", time format "hh:nn:ss", date-and-time format the date format, a
//   blank and the time format.
// Format letters: yyyy (4-digit year), yy (2 digits), mm and m (month), dd and d (day), hh and h
// (hour), nn and n (minute), ss and s (second), zzz (millisecond); a doubled letter pads to two
// digits. Any other character stands for itself. Reading follows the same format: every
// letter group takes 1 to its usual number of digits (up to 4 for a year), the other
// characters must be there as written, except that a text may end before the seconds; blanks
// around the text are ignored.
#pragma once

#include <string>
#include <string_view>

#include "framework/DateTime.h"

namespace tabshift {

struct TFormatSettings {
  char decimal_separator = '.';
  std::string short_date_format = "yyyy-mm-dd";
  std::string long_time_format = "hh:nn:ss";
};

// The setting in force; the program is single-threaded, so changing it is a plain assignment.
TFormatSettings& FormatSettings();

std::string FormatDateTime(std::string_view format, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);
bool TryStrToDate(std::string_view text, TDateTime& value);
bool TryStrToTime(std::string_view text, TDateTime& value);
// The date and time formats joined by blanks, or the date format alone.
bool TryStrToDateTime(std::string_view text, TDateTime& value);

// Up to 15 significant digits with the locale's decimal separator: fixed notation from 0.00001
// up to 15 integer digits, otherwise "1.5E20", "1E-6"; "NAN", "INF" and "-INF".
std::string FloatToStr(double value);
// A decimal number with '.' as separator whatever the locale: optional blanks and sign,
// digits, fraction, exponent. False for anything else.
bool TryStrToFloatFixed(std::string_view text, double& value);
// The amount rounded to 4 decimals, no trailing zeros, the locale's decimal separator.
std::string CurrToStr(double value);
// A decimal amount written with the locale's decimal separator, rounded to 4 decimals.
bool TryStrToCurr(std::string_view text, double& value);
// Optional blanks and sign, then decimal digits; false when out of range.
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);

}  // namespace tabshift
