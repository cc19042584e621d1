// ConvertBuffer: the conversion of one value between base types. The source is first read
// into a SourceValue by its kind, then written in the target's record encoding.
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSVariant.h"
#include "framework/FormatSettings.h"
#include "framework/Text.h"
#include "platform/Collation.h"

namespace tabshift {
namespace {

enum class SourceKind : uint8_t {
  Text,      // CHAR, STRING
  Wide,      // WIDECHAR, WIDESTRING
  Memo,      // MEMO: bytes without a terminating zero
  WideMemo,  // WIDEMEMO
  Signed,
  Unsigned,
  Floating,
  Date,
  Time,
  DateTime,
  Logical,
  Currency,
};

struct SourceValue {
  SourceKind kind;
  BaseDataType from;
  BaseDataType to;
  std::string_view text;  // Text and Memo
  std::u16string wide;    // Wide and WideMemo
  int64_t integer = 0;    // Signed, Unsigned, Date, Time, DateTime (day number), Logical
  EngineTime time = 0;    // DateTime
  double real = 0;        // Floating, Currency
};

[[noreturn]] void NoRule(const SourceValue& source) {
  RaiseEngineErrorFmt(native_error::kNoCastRule, "Cannot cast from '%s' to '%s'",
                      {DataTypeName(source.from), DataTypeName(source.to)});
}

[[noreturn]] void BadInput(const SourceValue& source) {
  RaiseEngineErrorFmt(native_error::kCastFailed, "Cannot cast from '%s' to '%s'",
                      {DataTypeName(source.from), DataTypeName(source.to)});
}

template <typename T>
T ReadFixed(const uint8_t* bytes, int32_t size) {
  T value{};
  std::memcpy(&value, bytes, std::min(sizeof(T), static_cast<size_t>(std::max(size, 0))));
  return value;
}

std::string_view ReadText(const uint8_t* bytes, int32_t size) {
  const char* text = reinterpret_cast<const char*>(bytes);
  return std::string_view(text, strnlen(text, static_cast<size_t>(std::max(size, 0))));
}

std::u16string ReadWide(const uint8_t* bytes, int32_t size, bool stop_at_zero) {
  std::u16string wide(static_cast<size_t>(std::max(size, 0)) / 2, u'\0');
  std::memcpy(wide.data(), bytes, wide.size() * 2);
  if (stop_at_zero) wide.resize(std::min(wide.size(), wide.find(u'\0')));
  return wide;
}

SourceValue ReadSource(const uint8_t* bytes, int32_t size, BaseDataType from, BaseDataType to) {
  SourceValue source{SourceKind::Text, from, to, {}, {}, 0, 0, 0};
  switch (from) {
    case bdtChar:
    case bdtString:
      source.text = ReadText(bytes, size);
      break;
    case bdtWideChar:
    case bdtWideString:
      source.kind = SourceKind::Wide;
      source.wide = ReadWide(bytes, size, true);
      break;
    case bdtMemo:
      source.kind = SourceKind::Memo;
      source.text = std::string_view(reinterpret_cast<const char*>(bytes),
                                     static_cast<size_t>(std::max(size, 0)));
      break;
    case bdtWideMemo:
      source.kind = SourceKind::WideMemo;
      source.wide = ReadWide(bytes, size, false);
      break;
    case bdtShortInt:
      source.kind = SourceKind::Signed;
      source.integer = ReadFixed<int8_t>(bytes, size);
      break;
    case bdtSmallInt:
      source.kind = SourceKind::Signed;
      source.integer = ReadFixed<int16_t>(bytes, size);
      break;
    case bdtInteger:
      source.kind = SourceKind::Signed;
      source.integer = ReadFixed<int32_t>(bytes, size);
      break;
    case bdtLargeInt:
      source.kind = SourceKind::Signed;
      source.integer = ReadFixed<int64_t>(bytes, size);
      break;
    case bdtByte:
      source.kind = SourceKind::Unsigned;
      source.integer = ReadFixed<uint8_t>(bytes, size);
      break;
    case bdtWord:
      source.kind = SourceKind::Unsigned;
      source.integer = ReadFixed<uint16_t>(bytes, size);
      break;
    case bdtCardinal:
      source.kind = SourceKind::Unsigned;
      source.integer = ReadFixed<uint32_t>(bytes, size);
      break;
    case bdtSingle:
      source.kind = SourceKind::Floating;
      source.real = ReadFixed<float>(bytes, size);
      break;
    case bdtFloat:
      source.kind = SourceKind::Floating;
      source.real = ReadFixed<double>(bytes, size);
      break;
    case bdtExtended:
      source.kind = SourceKind::Floating;
      source.real = ExtendedToDouble(ReadFixed<Extended80>(bytes, size));
      break;
    case bdtDate:
      source.kind = SourceKind::Date;
      source.integer = ReadFixed<EngineDate>(bytes, size);
      break;
    case bdtTime:
      source.kind = SourceKind::Time;
      source.integer = ReadFixed<EngineTime>(bytes, size);
      break;
    case bdtDateTime: {
      const EngineDateTime date_time = ReadFixed<EngineDateTime>(bytes, size);
      source.kind = SourceKind::DateTime;
      source.integer = date_time.date;
      source.time = date_time.time;
      break;
    }
    case bdtLogical:
      source.kind = SourceKind::Logical;
      source.integer = ReadFixed<int16_t>(bytes, size);
      break;
    case bdtCurrency:
      source.kind = SourceKind::Currency;
      source.real = ReadFixed<double>(bytes, size);
      break;
    default:  // BLOB, BYTES, VARBYTES and unknown codes are never converted
      NoRule(source);
  }
  return source;
}

bool IsTextKind(SourceKind kind) {
  return kind <= SourceKind::WideMemo;
}
bool IsWideKind(SourceKind kind) {
  return kind == SourceKind::Wide || kind == SourceKind::WideMemo;
}

// The text of a text source as 8-bit characters.
std::string NarrowText(const SourceValue& source) {
  return IsWideKind(source.kind) ? platform::WideToAnsi(source.wide) : std::string(source.text);
}

double DateTimeDays(const SourceValue& source) {
  const double days = source.integer == kNoDate ? 0.0 : static_cast<double>(source.integer);
  return days + static_cast<double>(source.time) / kMillisecondsPerDay;
}

// A floating value truncated toward zero; one beyond 64 bits cannot be converted.
int64_t TruncateToInt64(const SourceValue& source, double value) {
  const double truncated = std::trunc(value);
  if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) {
    BadInput(source);
  }
  return static_cast<int64_t>(truncated);
}

int32_t TruncateToInt32(const SourceValue& source, double value) {
  const int64_t truncated = TruncateToInt64(source, value);
  if (truncated < INT32_MIN || truncated > INT32_MAX) BadInput(source);
  return static_cast<int32_t>(truncated);
}

void EmitText(TABSValueBuffer& result, std::string_view text) {
  uint8_t* out = result.Resize(static_cast<int32_t>(text.size()) + 1);
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = 0;
}

void EmitWide(TABSValueBuffer& result, std::u16string_view text) {
  uint8_t* out = result.Resize(static_cast<int32_t>(text.size() + 1) * 2);
  std::memcpy(out, text.data(), text.size() * 2);
  out[text.size() * 2] = 0;
  out[text.size() * 2 + 1] = 0;
}

template <typename T>
void EmitFixed(TABSValueBuffer& result, T value) {
  std::memcpy(result.Resize(sizeof(T)), &value, sizeof(T));
}

void EmitLogical(TABSValueBuffer& result, bool value) {
  EmitFixed<int16_t>(result, value ? -1 : 0);
}

// The text of a non-text source; false when it has none (handled by the caller).
std::string ValueText(const SourceValue& source) {
  char digits[24];
  switch (source.kind) {
    case SourceKind::Signed:
    case SourceKind::Unsigned: {
      const auto [end, error] = std::to_chars(digits, digits + sizeof digits, source.integer);
      return std::string(digits, end);
    }
    case SourceKind::Floating:
      return FloatToStr(source.real);
    case SourceKind::Currency:
      return CurrToStr(source.real);
    case SourceKind::Date:
      return source.integer == kNoDate
                 ? std::string()
                 : DateToStr(EngineDateToDateTime(static_cast<EngineDate>(source.integer)));
    case SourceKind::Time:
      return source.integer == 0
                 ? std::string()
                 : TimeToStr(EngineTimeToDateTime(static_cast<EngineTime>(source.integer)));
    case SourceKind::DateTime:
      if (source.integer == kNoDate && source.time == 0) return std::string();
      return DateTimeToStr(
          EngineDateTimeToDateTime({static_cast<EngineDate>(source.integer), source.time}));
    case SourceKind::Logical:
      return source.integer != 0 ? "True" : "False";
    default:
      return NarrowText(source);
  }
}

void ToText(const SourceValue& source, TABSValueBuffer& result) {
  if (source.kind == SourceKind::Signed || source.kind == SourceKind::Unsigned) {
    // The common case of copying rows: digits straight into the result, no allocation.
    char* out = reinterpret_cast<char*>(result.Resize(21));
    const auto [end, error] = std::to_chars(out, out + 20, source.integer);
    *end = 0;
    result.Resize(static_cast<int32_t>(end - out) + 1);
    return;
  }
  if (source.kind == SourceKind::Text || source.kind == SourceKind::Memo) {
    EmitText(result, source.text);
    return;
  }
  EmitText(result, ValueText(source));
}

void ToWideText(const SourceValue& source, TABSValueBuffer& result) {
  if (IsWideKind(source.kind)) {
    EmitWide(result, source.wide);
  } else if (source.kind == SourceKind::Text || source.kind == SourceKind::Memo) {
    EmitWide(result, platform::AnsiToWide(source.text));
  } else {
    EmitWide(result, platform::AnsiToWide(ValueText(source)));
  }
}

int64_t IntegerOf(const SourceValue& source) {
  switch (source.kind) {
    case SourceKind::Signed:
    case SourceKind::Unsigned:
    case SourceKind::Date:
    case SourceKind::Time:
    case SourceKind::DateTime:
      return source.integer;
    case SourceKind::Floating:
    case SourceKind::Currency:
      return TruncateToInt64(source, source.real);
    case SourceKind::Logical:
      return source.integer != 0 ? 1 : 0;
    default: {
      const std::string text = NarrowText(source);
      // MEMO and WIDEMEMO are read as 32-bit integers also for a LARGEINT target.
      const bool wide_parse = source.to == bdtLargeInt &&
                              (source.kind == SourceKind::Text || source.kind == SourceKind::Wide);
      if (wide_parse) {
        int64_t value = 0;
        if (!TryStrToInt64(text, value)) BadInput(source);
        return value;
      }
      int32_t value = 0;
      if (!TryStrToInt(text, value)) BadInput(source);
      return value;
    }
  }
}

double RealOf(const SourceValue& source) {
  switch (source.kind) {
    case SourceKind::Floating:
    case SourceKind::Currency:
      return source.real;
    case SourceKind::Signed:
    case SourceKind::Unsigned:
    case SourceKind::Date:
    case SourceKind::Time:
      return static_cast<double>(source.integer);
    case SourceKind::DateTime:
      return DateTimeDays(source);
    case SourceKind::Logical:
      return source.integer != 0 ? 1.0 : 0.0;
    default: {
      double value = 0;
      if (!TryStrToFloatFixed(NarrowText(source), value)) BadInput(source);
      return value;
    }
  }
}

void ToInteger(const SourceValue& source, TABSValueBuffer& result) {
  const uint64_t bits = static_cast<uint64_t>(IntegerOf(source));
  switch (source.to) {
    case bdtShortInt:
      return EmitFixed(result, static_cast<int8_t>(bits));
    case bdtSmallInt:
      return EmitFixed(result, static_cast<int16_t>(bits));
    case bdtInteger:
      return EmitFixed(result, static_cast<int32_t>(bits));
    case bdtLargeInt:
      return EmitFixed(result, static_cast<int64_t>(bits));
    case bdtByte:
      return EmitFixed(result, static_cast<uint8_t>(bits));
    case bdtWord:
      return EmitFixed(result, static_cast<uint16_t>(bits));
    default:
      return EmitFixed(result, static_cast<uint32_t>(bits));
  }
}

void ToFloating(const SourceValue& source, TABSValueBuffer& result) {
  const double value = RealOf(source);
  switch (source.to) {
    case bdtSingle: {
      const bool too_large = std::fabs(value) > std::numeric_limits<float>::max();
      const float single = too_large ? std::copysign(std::numeric_limits<float>::infinity(), value)
                                     : static_cast<float>(value);
      return EmitFixed(result, single);
    }
    case bdtFloat:
      return EmitFixed(result, value);
    default:
      return EmitFixed(result, DoubleToExtended(value));
  }
}

void ToCurrency(const SourceValue& source, TABSValueBuffer& result) {
  if (source.kind == SourceKind::Logical) NoRule(source);
  if (IsTextKind(source.kind)) {
    double value = 0;
    if (!TryStrToCurr(NarrowText(source), value)) BadInput(source);
    return EmitFixed(result, value);
  }
  if (source.kind == SourceKind::DateTime) {
    return EmitFixed(result, std::round(DateTimeDays(source) * 10000) / 10000);
  }
  EmitFixed(result, RealOf(source));
}

// Reads a text as a date-time value: the fixed forms first for 8-bit text, then the locale's.
TDateTime ParseDateTimeText(const SourceValue& source) {
  const std::string text = NarrowText(source);
  const bool fixed_forms = source.kind == SourceKind::Text;
  TDateTime value = 0;
  bool ok = false;
  switch (source.to) {
    case bdtDate:
      ok = (fixed_forms && (TryParseDateTimeText(text, value) || TryParseDateText(text, value))) ||
           TryStrToDate(text, value);
      break;
    case bdtTime:
      ok = (fixed_forms && TryParseTimeText(text, value)) || TryStrToTime(text, value);
      break;
    default:
      ok = (fixed_forms && (TryParseDateTimeText(text, value) || TryParseDateText(text, value))) ||
           TryStrToDateTime(text, value);
      break;
  }
  if (!ok) BadInput(source);
  return value;
}

int32_t Low32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint64_t>(value));
}

EngineDate DateOf(const SourceValue& source) {
  if (IsTextKind(source.kind)) {
    EngineDate date = 0;
    if (!TryDateTimeToEngineDate(ParseDateTimeText(source), date)) BadInput(source);
    return date;
  }
  if (source.kind == SourceKind::Floating) return TruncateToInt32(source, source.real);
  return Low32(source.integer);  // the day number of a DATETIME, the milliseconds of a TIME
}

EngineTime TimeOf(const SourceValue& source) {
  switch (source.kind) {
    case SourceKind::Floating:
      return static_cast<EngineTime>(TruncateToInt64(source, source.real) % kMillisecondsPerDay);
    case SourceKind::Date:
      return static_cast<EngineTime>(source.integer % kMillisecondsPerDay);
    case SourceKind::DateTime:
      return source.time;
    case SourceKind::Signed:
    case SourceKind::Unsigned:
    case SourceKind::Time:
      return Low32(source.integer);
    default:
      return DateTimeToEngineTime(ParseDateTimeText(source));
  }
}

EngineDateTime DateTimeOf(const SourceValue& source) {
  switch (source.kind) {
    case SourceKind::Floating: {
      double whole = 0;
      const double fraction = std::modf(source.real, &whole);
      return {TruncateToInt32(source, source.real),
              static_cast<EngineTime>(fraction * kMillisecondsPerDay)};
    }
    case SourceKind::Time:
      return {kNoDate, Low32(source.integer)};
    case SourceKind::DateTime:
      return {Low32(source.integer), source.time};
    case SourceKind::Signed:
    case SourceKind::Unsigned:
    case SourceKind::Date:
      return {Low32(source.integer), 0};
    default: {
      EngineDateTime date_time{};
      if (!TryDateTimeToEngineDateTime(ParseDateTimeText(source), date_time)) BadInput(source);
      return date_time;
    }
  }
}

void ToDateOrTime(const SourceValue& source, TABSValueBuffer& result) {
  if (source.kind == SourceKind::Logical || source.kind == SourceKind::Currency) NoRule(source);
  if (source.to == bdtDate) return EmitFixed(result, DateOf(source));
  if (source.to == bdtTime) return EmitFixed(result, TimeOf(source));
  EmitFixed(result, DateTimeOf(source));
}

void ToLogical(const SourceValue& source, TABSValueBuffer& result) {
  switch (source.kind) {
    case SourceKind::Logical:
      return EmitFixed(result, static_cast<int16_t>(source.integer));
    case SourceKind::Floating:
    case SourceKind::Currency:
      return EmitLogical(result, source.real != 0);
    case SourceKind::Date:
      return EmitLogical(result, source.integer != kNoDate);
    case SourceKind::DateTime:
      return EmitLogical(result, !(source.integer == kNoDate && source.time == 0));
    case SourceKind::Signed:
    case SourceKind::Unsigned:
    case SourceKind::Time:
      return EmitLogical(result, source.integer != 0);
    default: {
      const std::string upper = UpperCase(NarrowText(source));
      return EmitLogical(result, upper == "1" || upper == "TRUE");
    }
  }
}

void ToBlob(const SourceValue& source, TABSValueBuffer& result) {
  if (!IsTextKind(source.kind)) NoRule(source);
  if (IsWideKind(source.kind)) return EmitWide(result, source.wide);
  EmitText(result, source.text);
}

}  // namespace

void ConvertBuffer(const uint8_t* bytes, int32_t size, BaseDataType from, BaseDataType to,
                   TABSValueBuffer& result) {
  if (from == to && from != bdtUnknown && to < kBaseDataTypeCount) {
    result.Assign(bytes, size);
    return;
  }
  const SourceValue source = ReadSource(bytes, size, from, to);
  switch (to) {
    case bdtChar:
    case bdtString:
      if (source.kind == SourceKind::WideMemo || source.kind == SourceKind::Wide) {
        return EmitText(result, NarrowText(source));
      }
      return ToText(source, result);
    case bdtWideChar:
    case bdtWideString:
      return ToWideText(source, result);
    case bdtShortInt:
    case bdtSmallInt:
    case bdtInteger:
    case bdtLargeInt:
    case bdtByte:
    case bdtWord:
    case bdtCardinal:
      return ToInteger(source, result);
    case bdtSingle:
    case bdtFloat:
    case bdtExtended:
      return ToFloating(source, result);
    case bdtCurrency:
      return ToCurrency(source, result);
    case bdtDate:
    case bdtTime:
    case bdtDateTime:
      return ToDateOrTime(source, result);
    case bdtLogical:
      return ToLogical(source, result);
    case bdtBlob:
      return ToBlob(source, result);
    default:  // MEMO, WIDEMEMO, BYTES, VARBYTES and unknown codes are never targets
      NoRule(source);
  }
}

}  // namespace tabshift
