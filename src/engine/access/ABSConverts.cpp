#include "engine/access/ABSConverts.h"

#include <cmath>
#include <limits>
#include <string>

#include "engine/access/ABSExcept.h"
#include "framework/Text.h"

namespace tabshift {
namespace {

constexpr std::string_view kUnknownName = "Unknown";
constexpr int32_t kStoredBlobReferenceSize = 6;
constexpr int32_t kBufferedBlobReferenceSize = 10;

template <typename Match>
const DataTypeNameRow* FirstRow(Match match) {
  for (const DataTypeNameRow& row : DataTypeNames) {
    if (match(row)) return &row;
  }
  return nullptr;
}

const DataTypeNameRow* RowOf(AdvancedDataType advanced) {
  return FirstRow([advanced](const DataTypeNameRow& row) { return row.advanced == advanced; });
}

const DataTypeNameRow* RowOf(BaseDataType base) {
  return FirstRow([base](const DataTypeNameRow& row) { return row.base == base; });
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads the digit groups of a fixed text form: `widths` digits each, one non-digit between
// groups, nothing after the last.
template <size_t N>
bool ReadGroups(std::string_view text, const int (&widths)[N], int (&groups)[N]) {
  size_t pos = 0;
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) {
      if (pos >= text.size() || IsDigit(text[pos])) return false;
      ++pos;
    }
    int value = 0;
    for (int digit = 0; digit < widths[i]; ++digit, ++pos) {
      if (pos >= text.size() || !IsDigit(text[pos])) return false;
      value = value * 10 + (text[pos] - '0');
    }
    groups[i] = value;
  }
  return pos == text.size();
}

}  // namespace

BaseDataType AdvancedToBase(AdvancedDataType advanced) {
  const DataTypeNameRow* row = RowOf(advanced);
  return row ? row->base : bdtUnknown;
}

BaseDataType DeclaredBaseType(AdvancedDataType advanced) {
  const BaseDataType base = AdvancedToBase(advanced);
  if (base == bdtUnknown) {
    RaiseEngineErrorFmt(native_error::kUnsupportedDataType, "Unsupported data type '%s'",
                        {DataTypeName(advanced)});
  }
  return base;
}

AdvancedDataType BaseToAdvanced(BaseDataType base) {
  const DataTypeNameRow* row = RowOf(base);
  return row ? row->advanced : adtUnknown;
}

AdvancedDataType FrameworkToAdvanced(TFieldType field_type) {
  const DataTypeNameRow* row =
      FirstRow([field_type](const DataTypeNameRow& r) { return r.field_type == field_type; });
  if (row == nullptr) {
    RaiseEngineErrorFmt(native_error::kUnknownFrameworkDataType, "Unknown DataType: '%s'",
                        {std::to_string(static_cast<int>(field_type))});
  }
  return row->advanced;
}

TFieldType AdvancedToFramework(AdvancedDataType advanced) {
  const DataTypeNameRow* row = RowOf(advanced);
  return row ? row->field_type : ftUnknown;
}

std::string_view DataTypeName(AdvancedDataType advanced) {
  const DataTypeNameRow* row = RowOf(advanced);
  return row ? row->name : kUnknownName;
}

std::string_view DataTypeName(BaseDataType base) {
  const DataTypeNameRow* row = RowOf(base);
  return row ? row->name : kUnknownName;
}

AdvancedDataType ParseDataTypeName(std::string_view text) {
  const std::string upper = UpperCase(text);
  const DataTypeNameRow* row =
      FirstRow([&upper](const DataTypeNameRow& r) { return r.name == upper; });
  return row ? row->advanced : adtUnknown;
}

int32_t DataSizeOf(BaseDataType base, int32_t size) {
  switch (base) {
    case bdtChar:
    case bdtString:
    case bdtBytes:
    case bdtVarBytes:
      return size + 1;
    case bdtWideChar:
    case bdtWideString:
      return (size + 1) * 2;
    case bdtShortInt:
    case bdtByte:
      return 1;
    case bdtSmallInt:
    case bdtWord:
    case bdtLogical:
      return 2;
    case bdtInteger:
    case bdtCardinal:
    case bdtSingle:
    case bdtDate:
    case bdtTime:
      return 4;
    case bdtLargeInt:
    case bdtFloat:
    case bdtDateTime:
    case bdtCurrency:
      return 8;
    case bdtExtended:
    case bdtBlob:
    case bdtMemo:
    case bdtWideMemo:
      return kBufferedBlobReferenceSize;
    case bdtUnknown:
      break;
  }
  RaiseEngineErrorFmt(native_error::kUnknownDataTypeSize, "Unknown DataType: '%s'",
                      {DataTypeName(base)});
}

int32_t StoredSizeOf(BaseDataType base, int32_t size) {
  return IsBaseBlobType(base) ? kStoredBlobReferenceSize : DataSizeOf(base, size);
}

int32_t NormalizedDeclaredSize(AdvancedDataType advanced, int32_t size, bool from_component_defs) {
  if (advanced == adtGuid) return kGuidSize;
  if (from_component_defs && size != 0) {
    const BaseDataType base = AdvancedToBase(advanced);
    if (!IsBaseStringType(base) && base != bdtBytes && base != bdtVarBytes) return 0;
  }
  return size;
}

void CheckFieldCreation(std::string_view table_name, std::string_view field_name,
                        AdvancedDataType advanced, int32_t size, uint8_t blob_compression_algorithm,
                        uint8_t blob_compression_mode) {
  if ((IsAdvancedStringType(advanced) || IsAdvancedBytesType(advanced)) && size <= 0) {
    RaiseEngineErrorFmt(native_error::kFieldSizeMissing,
                        "Cannot create table '%s' with field: %s %s(%d)",
                        {table_name, field_name, DataTypeName(AdvancedToBase(advanced)), size});
  }
  if (IsAdvancedBlobType(advanced) && blob_compression_algorithm != 0 &&
      (blob_compression_mode < 1 || blob_compression_mode > 9)) {
    RaiseEngineErrorFmt(native_error::kInvalidBlobCompressionMode,
                        "Invalid BlobCompressionMode (must be in 1..9 range) for blob field "
                        "'%s'. Cannot create table '%s'",
                        {field_name, table_name});
  }
}

bool TryDateTimeToEngineDate(TDateTime value, EngineDate& date) {
  const double days = std::trunc(value) + kDateDelta;
  if (!(days >= std::numeric_limits<int32_t>::min() &&
        days <= std::numeric_limits<int32_t>::max())) {
    return false;
  }
  date = static_cast<EngineDate>(days);
  return true;
}

EngineTime DateTimeToEngineTime(TDateTime value) {
  return static_cast<EngineTime>(FractionMilliseconds(value) % kMillisecondsPerDay);
}

bool TryDateTimeToEngineDateTime(TDateTime value, EngineDateTime& date_time) {
  const int64_t milliseconds = FractionMilliseconds(value);
  const bool whole_day = milliseconds == kMillisecondsPerDay;
  if (!TryDateTimeToEngineDate(value, date_time.date)) return false;
  if (whole_day) {
    if (date_time.date == std::numeric_limits<int32_t>::max()) return false;
    ++date_time.date;
  }
  date_time.time = static_cast<EngineTime>(whole_day ? 0 : milliseconds);
  return true;
}

TDateTime EngineDateToDateTime(EngineDate date) {
  return static_cast<TDateTime>(static_cast<int64_t>(date) - kDateDelta);
}

TDateTime EngineTimeToDateTime(EngineTime time) {
  return static_cast<TDateTime>(time) / kMillisecondsPerDay;
}

TDateTime EngineDateTimeToDateTime(EngineDateTime date_time) {
  return ComposeDateTime(EngineDateToDateTime(date_time.date),
                         EngineTimeToDateTime(date_time.time));
}

bool TryParseDateText(std::string_view text, TDateTime& value) {
  int groups[3];
  return ReadGroups(text, {4, 2, 2}, groups) &&
         TryEncodeDate(groups[0], groups[1], groups[2], value);
}

bool TryParseTimeText(std::string_view text, TDateTime& value) {
  int groups[3];
  return ReadGroups(text, {2, 2, 2}, groups) &&
         TryEncodeTime(groups[0], groups[1], groups[2], 0, value);
}

bool TryParseDateTimeText(std::string_view text, TDateTime& value) {
  int groups[6];
  TDateTime date = 0;
  TDateTime time = 0;
  if (!ReadGroups(text, {4, 2, 2, 2, 2, 2}, groups) ||
      !TryEncodeDate(groups[0], groups[1], groups[2], date) ||
      !TryEncodeTime(groups[3], groups[4], groups[5], 0, time)) {
    return false;
  }
  value = ComposeDateTime(date, time);
  return true;
}

}  // namespace tabshift
