#include "CsvExport.h"

#include <cstdio>

#include "UdbStreamWriter.h"

namespace tabshift::udbgen {
namespace {

std::string Quoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string Hex(const std::string& bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0;
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string Text(const FieldSpec& field, const Value& value) {
  char number[64];
  switch (field.type) {
    case UdbType::Double: {
      const double real = std::holds_alternative<double>(value)
                              ? std::get<double>(value)
                              : static_cast<double>(std::get<int64_t>(value));
      std::snprintf(number, sizeof number, "%.15g", real);
      return number;
    }
    case UdbType::Date:
      return DayText(std::holds_alternative<Date>(value)
                         ? std::get<Date>(value).day
                         : static_cast<int32_t>(std::get<int64_t>(value)));
    case UdbType::Text:
      return std::get<std::string>(value);
    case UdbType::Bytes:
      return Hex(std::get<std::string>(value), DeclaredSize(field));
    case UdbType::Blob: {
      BlobValue holder;
      return std::to_string(AsBlob(value, holder)->bytes.size());
    }
    default:
      return std::to_string(std::get<int64_t>(value));
  }
}

}  // namespace

std::string DayText(int32_t day) {
  // Civil date from a day count, in the proleptic Gregorian calendar.
  const int64_t z = int64_t{day} - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int64_t day_of_month = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", static_cast<int>(day_of_month),
                static_cast<int>(month), static_cast<int>(year));
  return text;
}

std::string CsvHeader(const std::vector<FieldSpec>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += Quoted(fields[i].name);
  }
  return line + "\n";
}

std::string CsvLine(const std::vector<FieldSpec>& fields, const Row& row) {
  std::string line;
  for (size_t i = 0; i < fields.size() && i < row.size(); ++i) {
    if (i > 0) line += ',';
    line += Quoted(Text(fields[i], row[i]));
  }
  return line + "\n";
}

}  // namespace tabshift::udbgen
