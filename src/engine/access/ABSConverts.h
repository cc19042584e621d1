// The storage engine's field data types. Every field carries an AdvancedDataType (what the
// user declared) and a BaseDataType (how the value is stored). DataTypeNames joins both with
// the type names used in messages and SQL and with the framework's TFieldType; every lookup
// here scans it front to back, so the first row with a code wins over its aliases.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "framework/DateTime.h"
#include "framework/FieldType.h"

namespace tabshift {

// The declared type of a field; 0 is unknown.
enum AdvancedDataType : uint8_t {
  adtUnknown = 0,
  adtChar = 1,
  adtString = 2,
  adtWideChar = 3,
  adtWideString = 4,
  adtShortInt = 5,
  adtSmallInt = 6,
  adtInteger = 7,
  adtLargeInt = 8,
  adtByte = 9,
  adtWord = 10,
  adtCardinal = 11,
  adtAutoInc = 12,
  adtAutoIncShortInt = 13,
  adtAutoIncSmallInt = 14,
  adtAutoIncInteger = 15,
  adtAutoIncLargeInt = 16,
  adtAutoIncByte = 17,
  adtAutoIncWord = 18,
  adtAutoIncCardinal = 19,
  adtSingle = 20,
  adtFloat = 21,
  adtExtended = 22,
  adtLogical = 23,
  adtCurrency = 24,
  adtDate = 25,
  adtTime = 26,
  adtDateTime = 27,
  adtTimeStamp = 28,
  adtBytes = 29,
  adtVarBytes = 30,
  adtBlob = 31,
  adtGraphic = 32,
  adtMemo = 33,
  adtFormattedMemo = 34,
  adtWideMemo = 35,
  adtGuid = 36,
};

// The storage class of a field: decides the size and the encoding of its value; 0 is unknown.
enum BaseDataType : uint8_t {
  bdtUnknown = 0,
  bdtChar = 1,        // 8-bit characters, zero-terminated
  bdtWideChar = 2,    // 16-bit characters, zero-terminated
  bdtString = 3,      // 8-bit characters, zero-terminated
  bdtWideString = 4,  // 16-bit characters, zero-terminated
  bdtShortInt = 5,
  bdtSmallInt = 6,
  bdtInteger = 7,
  bdtLargeInt = 8,
  bdtByte = 9,
  bdtWord = 10,
  bdtCardinal = 11,
  bdtSingle = 12,
  bdtFloat = 13,
  bdtExtended = 14,  // the 10-byte x87 extended format
  bdtDate = 15,      // EngineDate
  bdtTime = 16,      // EngineTime
  bdtDateTime = 17,  // EngineDateTime
  bdtBlob = 18,
  bdtMemo = 19,
  bdtWideMemo = 20,
  bdtLogical = 21,   // 16-bit, 0 false, anything else true
  bdtCurrency = 22,  // 64-bit float holding the amount
  bdtBytes = 23,
  bdtVarBytes = 24,
};

inline constexpr int kBaseDataTypeCount = 25;  // codes 0 to 24

struct DataTypeNameRow {
  std::string_view name;
  AdvancedDataType advanced;
  BaseDataType base;
  TFieldType field_type;
};

inline constexpr std::array<DataTypeNameRow, 62> DataTypeNames = {{
    {"CHAR", adtChar, bdtChar, ftFixedChar},
    {"FIXEDCHAR", adtChar, bdtChar, ftFixedChar},
    {"STRING", adtString, bdtString, ftString},
    {"VARCHAR", adtString, bdtString, ftString},
    {"VARCHAR2", adtString, bdtString, ftString},
    {"WIDECHAR", adtWideChar, bdtWideChar, ftWideString},
    {"FIXEDWIDECHAR", adtWideChar, bdtWideChar, ftWideString},
    {"WIDESTRING", adtWideString, bdtWideString, ftWideString},
    {"WIDEVARCHAR", adtWideString, bdtWideString, ftWideString},
    {"SMALLINT", adtSmallInt, bdtSmallInt, ftSmallint},
    {"SIGNEDINT16", adtSmallInt, bdtSmallInt, ftSmallint},
    {"SHORTINT", adtShortInt, bdtShortInt, ftSmallint},
    {"SIGNEDINT8", adtShortInt, bdtShortInt, ftSmallint},
    {"INTEGER", adtInteger, bdtInteger, ftInteger},
    {"SIGNEDINT32", adtInteger, bdtInteger, ftInteger},
    {"LARGEINT", adtLargeInt, bdtLargeInt, ftLargeint},
    {"INT64", adtLargeInt, bdtLargeInt, ftLargeint},
    {"SIGNEDINT64", adtLargeInt, bdtLargeInt, ftLargeint},
    {"WORD", adtWord, bdtWord, ftWord},
    {"UNSIGNEDINT16", adtWord, bdtWord, ftWord},
    {"BYTE", adtByte, bdtByte, ftWord},
    {"UNSIGNEDINT8", adtByte, bdtByte, ftWord},
    {"CARDINAL", adtCardinal, bdtCardinal, ftLargeint},
    {"UNSIGNEDINT32", adtCardinal, bdtCardinal, ftLargeint},
    {"AUTOINC", adtAutoInc, bdtInteger, ftAutoInc},
    {"AUTOINCSHORTINT", adtAutoIncShortInt, bdtShortInt, ftAutoInc},
    {"AUTOINCSMALLINT", adtAutoIncSmallInt, bdtSmallInt, ftAutoInc},
    {"AUTOINCINTEGER", adtAutoIncInteger, bdtInteger, ftAutoInc},
    {"AUTOINCLARGEINT", adtAutoIncLargeInt, bdtLargeInt, ftLargeint},
    {"AUTOINCBYTE", adtAutoIncByte, bdtByte, ftAutoInc},
    {"AUTOINCWORD", adtAutoIncWord, bdtWord, ftAutoInc},
    {"AUTOINCCARDINAL", adtAutoIncCardinal, bdtCardinal, ftAutoInc},
    {"FLOAT", adtFloat, bdtFloat, ftFloat},
    {"FLOAT", adtFloat, bdtFloat, ftBCD},
    {"SINGLE", adtSingle, bdtSingle, ftFloat},
    {"DOUBLE", adtFloat, bdtFloat, ftFloat},
    {"EXTENDED", adtExtended, bdtExtended, ftFloat},
    {"LOGICAL", adtLogical, bdtLogical, ftBoolean},
    {"BOOLEAN", adtLogical, bdtLogical, ftBoolean},
    {"BOOL", adtLogical, bdtLogical, ftBoolean},
    {"BIT", adtLogical, bdtLogical, ftBoolean},
    {"CURRENCY", adtCurrency, bdtCurrency, ftCurrency},
    {"MONEY", adtCurrency, bdtCurrency, ftCurrency},
    {"DATE", adtDate, bdtDate, ftDate},
    {"TIME", adtTime, bdtTime, ftTime},
    {"DATETIME", adtDateTime, bdtDateTime, ftDateTime},
    {"TIMESTAMP", adtTimeStamp, bdtDateTime, ftTimeStamp},
    {"BYTES", adtBytes, bdtBytes, ftBytes},
    {"VARBYTES", adtVarBytes, bdtVarBytes, ftVarBytes},
    {"BLOB", adtBlob, bdtBlob, ftBlob},
    {"BLOB", adtBlob, bdtBlob, ftParadoxOle},
    {"BLOB", adtBlob, bdtBlob, ftTypedBinary},
    {"BLOB", adtBlob, bdtBlob, ftDBaseOle},
    {"BLOB", adtBlob, bdtBlob, ftOraBlob},
    {"BLOB", adtBlob, bdtBlob, ftOraClob},
    {"GRAPHIC", adtGraphic, bdtBlob, ftGraphic},
    {"MEMO", adtMemo, bdtMemo, ftMemo},
    {"CLOB", adtMemo, bdtMemo, ftMemo},
    {"FORMATTEDMEMO", adtFormattedMemo, bdtMemo, ftFmtMemo},
    {"WIDEMEMO", adtWideMemo, bdtWideMemo, ftBlob},
    {"WIDECLOB", adtWideMemo, bdtWideMemo, ftBlob},
    {"GUID", adtGuid, bdtChar, ftGuid},
}};

// Native error codes of the data type checks, grouped by message.
namespace native_error {
// "Unsupported data type '%s'"
inline constexpr int32_t kUnsupportedDataType = 30007;
// "Unknown DataType: '%s'"
inline constexpr int32_t kUnknownDataTypeSize = 30050;
inline constexpr int32_t kUnknownFrameworkDataType = 30289;
// "Cannot create table '%s' with field: %s %s(%d)"
inline constexpr int32_t kFieldSizeMissing = 30453;
// "Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create
// table '%s'"
inline constexpr int32_t kInvalidBlobCompressionMode = 20257;
}  // namespace native_error

// The base code of the first row with that advanced code; bdtUnknown if none.
BaseDataType AdvancedToBase(AdvancedDataType advanced);
// As AdvancedToBase, but a type without a base type raises EABSException 30007, "Unsupported
// data type '%s'" with the advanced type's name. Setting a field's type goes through it.
BaseDataType DeclaredBaseType(AdvancedDataType advanced);
// The advanced code of the first row with that base code; adtUnknown if none.
AdvancedDataType BaseToAdvanced(BaseDataType base);
// The advanced code of the first row with that framework type; a framework type without a row
// raises EABSException 30289, "Unknown DataType: '%s'" with the type's ordinal.
AdvancedDataType FrameworkToAdvanced(TFieldType field_type);
// The framework type of the first row with that advanced code; ftUnknown if none.
TFieldType AdvancedToFramework(AdvancedDataType advanced);
// The name of the first row with that code; "Unknown" if none.
std::string_view DataTypeName(AdvancedDataType advanced);
std::string_view DataTypeName(BaseDataType base);
// The advanced code of the first row whose name equals the upper-cased text; adtUnknown if
// none.
AdvancedDataType ParseDataTypeName(std::string_view text);

// The bytes a value of the base type takes in a record buffer, `size` being the declared size
// (characters for text, bytes for BYTES and VARBYTES). An unknown base type raises
// EABSException 30050, "Unknown DataType: 'Unknown'".
int32_t DataSizeOf(BaseDataType base, int32_t size);
// The bytes in a stored record: DataSizeOf, except 6 for the BLOB types, whose stored reference
// is shorter than the buffered one.
int32_t StoredSizeOf(BaseDataType base, int32_t size);

// Type families.
constexpr bool IsBaseStringType(BaseDataType t) {
  return t >= bdtChar && t <= bdtWideString;
}
constexpr bool IsBaseWideType(BaseDataType t) {
  return t == bdtWideChar || t == bdtWideString;
}
constexpr bool IsBaseBlobType(BaseDataType t) {
  return t >= bdtBlob && t <= bdtWideMemo;
}
constexpr bool IsBaseNumericType(BaseDataType t) {
  return (t >= bdtShortInt && t <= bdtExtended) || t == bdtCurrency;
}
constexpr bool IsBaseDateTimeType(BaseDataType t) {
  return t >= bdtDate && t <= bdtDateTime;
}
constexpr bool IsAdvancedStringType(AdvancedDataType t) {
  return (t >= adtChar && t <= adtWideString) || t == adtGuid;
}
constexpr bool IsAdvancedWideType(AdvancedDataType t) {
  return t == adtWideChar || t == adtWideString;
}
constexpr bool IsAdvancedBytesType(AdvancedDataType t) {
  return t == adtBytes || t == adtVarBytes;
}
constexpr bool IsAdvancedBlobType(AdvancedDataType t) {
  return t >= adtBlob && t <= adtWideMemo;
}
constexpr bool IsAdvancedAutoincType(AdvancedDataType t) {
  return t >= adtAutoInc && t <= adtAutoIncCardinal;
}
// Types whose declared size means something (GUID excluded: its size is always 38).
constexpr bool IsSizedType(AdvancedDataType t) {
  return (t >= adtChar && t <= adtWideString) || IsAdvancedBytesType(t);
}

inline constexpr int32_t kGuidSize = 38;

// The declared size a field is created with: 38 for GUID; when the definition comes from the
// component-level definitions, 0 unless the base type is a string type, BYTES or VARBYTES.
int32_t NormalizedDeclaredSize(AdvancedDataType advanced, int32_t size, bool from_component_defs);
// Refuses a field that cannot be created: a string or byte type without a positive size
// (30453) or a compressed BLOB field whose compression mode is not 1 to 9 (20257).
void CheckFieldCreation(std::string_view table_name, std::string_view field_name,
                        AdvancedDataType advanced, int32_t size, uint8_t blob_compression_algorithm,
                        uint8_t blob_compression_mode);

// Dates and times as the engine stores them. EngineDate counts days so that 0001-01-01 is day
// 1 (1899-12-30, day 0 of the framework's date-time value, is 693594); EngineTime counts
// milliseconds since midnight.
using EngineDate = int32_t;
using EngineTime = int32_t;
struct EngineDateTime {
  EngineDate date;
  EngineTime time;
  friend bool operator==(const EngineDateTime&, const EngineDateTime&) = default;
};

inline constexpr int32_t kDateDelta = 693594;
inline constexpr int32_t kMillisecondsPerDay = 86400000;

// The date-time value truncated toward zero, plus kDateDelta. A value outside the int32 day
// range cannot be encoded: false.
bool TryDateTimeToEngineDate(TDateTime value, EngineDate& date);
// The fraction's magnitude times 86400000, rounded to the nearest millisecond; a fraction that
// rounds up to a whole day gives 0.
EngineTime DateTimeToEngineTime(TDateTime value);
// Date and time as above; a fraction that rounds up to a whole day moves to the next day.
bool TryDateTimeToEngineDateTime(TDateTime value, EngineDateTime& date_time);
TDateTime EngineDateToDateTime(EngineDate date);
TDateTime EngineTimeToDateTime(EngineTime time);
// (day number - kDateDelta) + milliseconds / 86400000.
TDateTime EngineDateTimeToDateTime(EngineDateTime date_time);

// The fixed text forms of dates, read whatever the locale: DATE "yyyy?mm?dd", TIME
// "hh?nn?ss" and DATETIME "yyyy?mm?dd?hh?nn?ss", where "?" is any one non-digit character and
// every group has exactly its number of digits. False when the text is not of that form or
// names no valid date or time.
bool TryParseDateText(std::string_view text, TDateTime& value);
bool TryParseTimeText(std::string_view text, TDateTime& value);
bool TryParseDateTimeText(std::string_view text, TDateTime& value);

}  // namespace tabshift
