#include "framework/FormatSettings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tabshift {
namespace {

constexpr double kCurrencyLimit = 922337203685477.5807;  // the 4-decimal 64-bit amount range

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsFormatLetter(char c) {
  const char l = Lower(c);
  return l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 'n' || l == 's' || l == 'z';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

size_t RunLength(std::string_view format, size_t pos) {
  size_t end = pos;
  while (end < format.size() && Lower(format[end]) == Lower(format[pos])) ++end;
  return end - pos;
}

void AppendNumber(std::string& out, int64_t value, int min_digits) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, std::llabs(value));
  if (value < 0) out += '-';
  for (int pad = min_digits - static_cast<int>(end - digits); pad > 0; --pad) out += '0';
  out.append(digits, end);
}

struct DateTimeFields {
  int64_t year = -1;
  int month = -1;
  int day = -1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// True when what is left of the format holds no letters but seconds and milliseconds, which a
// text may leave out.
bool OnlySecondsLeft(std::string_view format, size_t pos) {
  for (; pos < format.size(); ++pos) {
    const char letter = Lower(format[pos]);
    if (IsFormatLetter(letter) && letter != 's' && letter != 'z') return false;
  }
  return true;
}

// Reads `text` by `format`; false when a group or a literal character does not fit.
bool ParseByFormat(std::string_view text, std::string_view format, DateTimeFields& fields) {
  size_t pos = 0;
  for (size_t f = 0; f < format.size();) {
    if (IsBlank(format[f])) {  // a blank of the format takes any run of blanks
      if (pos >= text.size() || !IsBlank(text[pos])) return false;
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      ++f;
      continue;
    }
    if (!IsFormatLetter(format[f])) {
      if (pos >= text.size() && OnlySecondsLeft(format, f)) return true;
      if (pos >= text.size() || text[pos] != format[f]) return false;
      ++pos;
      ++f;
      continue;
    }
    const char letter = Lower(format[f]);
    const size_t run = RunLength(format, f);
    f += run;
    const size_t max_digits = letter == 'y' ? (run > 2 ? 4 : 2) : letter == 'z' ? 3 : 2;
    int value = 0;
    size_t digits = 0;
    while (digits < max_digits && pos < text.size() && IsDigit(text[pos])) {
      value = value * 10 + (text[pos++] - '0');
      ++digits;
    }
    if (digits == 0) return false;
    switch (letter) {
      case 'y':
        fields.year = run > 2 ? value : (value < 50 ? 2000 + value : 1900 + value);
        break;
      case 'm':
        fields.month = value;
        break;
      case 'd':
        fields.day = value;
        break;
      case 'h':
        fields.hour = value;
        break;
      case 'n':
        fields.minute = value;
        break;
      case 's':
        fields.second = value;
        break;
      default:
        fields.millisecond = value;
        break;
    }
  }
  return pos == text.size();
}

bool EncodeFields(const DateTimeFields& fields, bool with_date, bool with_time, TDateTime& value) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (with_date && !TryEncodeDate(fields.year, fields.month, fields.day, date)) return false;
  if (with_time &&
      !TryEncodeTime(fields.hour, fields.minute, fields.second, fields.millisecond, time)) {
    return false;
  }
  value = ComposeDateTime(date, time);
  return true;
}

bool TryParse(std::string_view text, std::string_view format, bool with_date, bool with_time,
              TDateTime& value) {
  DateTimeFields fields;
  return ParseByFormat(TrimBlanks(text), format, fields) &&
         EncodeFields(fields, with_date, with_time, value);
}

}  // namespace

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 1e13) value = 0;
  int64_t days = static_cast<int64_t>(std::trunc(value));
  int64_t milliseconds = FractionMilliseconds(value);
  if (milliseconds == kMillisecondsInDay) {  // rounds up into the next day
    ++days;
    milliseconds = 0;
  }
  const CalendarDate date = DecodeDayNumber(days);
  const TimeOfDay time = DecodeMilliseconds(milliseconds);
  std::string out;
  for (size_t f = 0; f < format.size();) {
    if (!IsFormatLetter(format[f])) {
      out += format[f++];
      continue;
    }
    const char letter = Lower(format[f]);
    const size_t run = RunLength(format, f);
    f += run;
    const int pad = run > 1 ? 2 : 1;
    switch (letter) {
      case 'y':
        if (run > 2) {
          AppendNumber(out, date.year, 4);
        } else {
          AppendNumber(out, date.year % 100, 2);
        }
        break;
      case 'm':
        AppendNumber(out, date.month, pad);
        break;
      case 'd':
        AppendNumber(out, date.day, pad);
        break;
      case 'h':
        AppendNumber(out, time.hour, pad);
        break;
      case 'n':
        AppendNumber(out, time.minute, pad);
        break;
      case 's':
        AppendNumber(out, time.second, pad);
        break;
      default:
        AppendNumber(out, time.millisecond, run > 1 ? 3 : 1);
        break;
    }
  }
  return out;
}

std::string DateToStr(TDateTime value) {
  return FormatDateTime(FormatSettings().short_date_format, value);
}

std::string TimeToStr(TDateTime value) {
  return FormatDateTime(FormatSettings().long_time_format, value);
}

std::string DateTimeToStr(TDateTime value) {
  const TFormatSettings& settings = FormatSettings();
  return FormatDateTime(settings.short_date_format + " " + settings.long_time_format, value);
}

bool TryStrToDate(std::string_view text, TDateTime& value) {
  return TryParse(text, FormatSettings().short_date_format, true, false, value);
}

bool TryStrToTime(std::string_view text, TDateTime& value) {
  return TryParse(text, FormatSettings().long_time_format, false, true, value);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) {
  const TFormatSettings& settings = FormatSettings();
  return TryParse(text, settings.short_date_format + " " + settings.long_time_format, true, true,
                  value) ||
         TryStrToDate(text, value);
}

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char scientific[32];  // "-d.ddddddddddddddde-XXX"
  const auto [end, error] = std::to_chars(scientific, scientific + sizeof scientific,
                                          std::fabs(value), std::chars_format::scientific, 14);
  const std::string_view text(scientific, static_cast<size_t>(end - scientific));
  const size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (IsDigit(c)) digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  const char separator = FormatSettings().decimal_separator;

  std::string out = value < 0 ? "-" : "";
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) out += separator + digits.substr(1);
    out += 'E';
    AppendNumber(out, exponent, 1);
  } else if (exponent >= 0) {
    const size_t integer_digits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
      out += digits + std::string(integer_digits - digits.size(), '0');
    } else {
      out += digits.substr(0, integer_digits) + separator + digits.substr(integer_digits);
    }
  } else {
    out += std::string("0") + separator + std::string(static_cast<size_t>(-exponent - 1), '0') +
           digits;
  }
  return out;
}

bool TryStrToFloatFixed(std::string_view text, double& value) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !(IsDigit(text.front()) || text.front() == '.')) return false;
  double parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  value = negative ? -parsed : parsed;
  return true;
}

std::string CurrToStr(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= kCurrencyLimit) return FloatToStr(value);
  const int64_t scaled = std::llround(value * 10000);
  const int64_t magnitude = std::llabs(scaled);
  std::string out = scaled < 0 ? "-" : "";
  AppendNumber(out, magnitude / 10000, 1);
  int64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    int digits = 4;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    out += FormatSettings().decimal_separator;
    AppendNumber(out, fraction, digits);
  }
  return out;
}

bool TryStrToCurr(std::string_view text, double& value) {
  const char separator = FormatSettings().decimal_separator;
  std::string fixed(text);
  for (char& c : fixed) {
    if (c == '.' && separator != '.') return false;
    if (c == separator) c = '.';
  }
  double parsed = 0;
  if (!TryStrToFloatFixed(fixed, parsed) || !(std::fabs(parsed) < kCurrencyLimit)) return false;
  value = std::round(parsed * 10000) / 10000;
  return true;
}

namespace {

template <typename Integer>
bool TryParseInteger(std::string_view text, Integer& value) {
  text = TrimBlanks(text);
  size_t first_digit = 0;
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  } else if (!text.empty() && text.front() == '-') {
    first_digit = 1;
  }
  if (text.size() <= first_digit || !IsDigit(text[first_digit])) return false;
  Integer parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) {
  return TryParseInteger(text, value);
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
  return TryParseInteger(text, value);
}

}  // namespace tabshift
