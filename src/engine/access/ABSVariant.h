// TABSVariant: the engine's typed value, one value of one BaseDataType or NULL, held in exactly
// the bytes a record buffer uses for that type. It carries default, minimum and maximum values
// of field definitions and constraints, moves field values between cursors, and is the operand
// of comparisons and arithmetic. Conversions between base types all go through ConvertBuffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/access/ABSConverts.h"
#include "engine/access/ABSExtended.h"
#include "engine/access/ABSValueBuffer.h"
#include "framework/DateTime.h"
#include "framework/Variant.h"

namespace tabshift {

class TStream;

// Native error codes of values, grouped by message.
namespace native_error {
// "Value is Null"
inline constexpr int32_t kValueIsNull = 30016;
inline constexpr int32_t kCompareOperandIsNull = 30140;
// "Buffer size exceeded"
inline constexpr int32_t kBufferSizeExceeded = 20056;
// "Cannot compare Incompatible DataTypes: '%s' and '%s'"
inline constexpr int32_t kIncompatibleCompareTypes = 30044;
// "Unknown DataType: '%s'"
inline constexpr int32_t kUnknownCompareType = 30047;
// "Cannot cast from '%s' to '%s'"
inline constexpr int32_t kCastFailed = 30051;
inline constexpr int32_t kNoCastRule = 30052;
// "Unsupported Variant Type %s"
inline constexpr int32_t kUnsupportedVariantKind = 30113;
inline constexpr int32_t kUnsupportedVariantValueType = 30114;
// "Cannot invert value with not numeric type '%s'"
inline constexpr int32_t kNegateNotNumeric = 30123;
// "Not numeric argument in numeric operator '%s'"
inline constexpr int32_t kAddNotNumeric = 30124;
inline constexpr int32_t kSubtractNotNumeric = 30126;
inline constexpr int32_t kMultiplyNotNumeric = 30127;
// "Division error: %s"
inline constexpr int32_t kDivisionError = 30128;
}  // namespace native_error

// The day number that stands for no date.
inline constexpr EngineDate kNoDate = INT32_MIN;

// The native codes of the four items of a stored value: type, null flag, size and bytes.
struct TABSValueStreamCodes {
  int32_t type;
  int32_t null_flag;
  int32_t size;
  int32_t data;
};
// The codes of a field's default value.
inline constexpr TABSValueStreamCodes kDefaultValueWriteCodes{10179, 10180, 10181, 10182};
inline constexpr TABSValueStreamCodes kDefaultValueReadCodes{10183, 10184, 10185, 10186};

enum class TABSCompareResult : uint8_t {
  Equal = 0,
  Less = 1,
  Greater = 2,
  // Raw mode only.
  LeftNull = 3,
  RightNull = 4,
  BothNull = 5,
};

// Compare's prefix length that stands for the right operand's text length.
inline constexpr int32_t kPrefixOfRightText = -1;

class TABSVariant {
 public:
  static constexpr uint8_t kNullFlag = 255;

  explicit TABSVariant(BaseDataType type = bdtUnknown) : type_(type) {}
  // Copies are deep: a copy owns its bytes, also of a borrowing value.
  TABSVariant(const TABSVariant& other) { Assign(other, true); }
  TABSVariant& operator=(const TABSVariant& other) {
    if (this != &other) Assign(other, true);
    return *this;
  }

  BaseDataType Type() const { return type_; }
  int32_t Size() const { return size_; }
  const uint8_t* Buffer() const { return borrowed_ ? borrowed_data_ : owned_.Data(); }
  bool Borrowed() const { return borrowed_; }
  uint8_t NullFlag() const { return null_flag_; }
  bool IsNull() const { return null_flag_ != 0 || size_ == 0; }

  void SetNull() { null_flag_ = kNullFlag; }
  // Drops the bytes and becomes a NULL of `type`.
  void Clear(BaseDataType type);

  // Setters store under their own type when the value has no type yet or already has it;
  // otherwise they convert to the value's type (which it keeps). An empty text leaves the
  // value NULL (of the text's type when it had none).
  void SetAsShortInt(int8_t value);
  void SetAsSmallInt(int16_t value);
  void SetAsInteger(int32_t value);
  void SetAsLargeInt(int64_t value);
  void SetAsByte(uint8_t value);
  void SetAsWord(uint16_t value);
  void SetAsCardinal(uint32_t value);
  void SetAsString(std::string_view value);
  void SetAsWideString(std::u16string_view value);
  void SetAsSingle(float value);
  void SetAsFloat(double value);
  void SetAsExtended(double value);
  void SetAsExtended80(const Extended80& value);
  void SetAsEngineDate(EngineDate value);
  void SetAsEngineTime(EngineTime value);
  void SetAsEngineDateTime(EngineDateTime value);
  // From the framework's date-time value; one outside the engine's day range raises 30051.
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  void SetAsDateTime(TDateTime value);
  void SetAsLogical(bool value);
  void SetAsCurrency(double value);

  // Getters convert a value of another type first. A NULL raises 30016 "Value is Null",
  // except for the text getters, which give an empty text.
  int8_t GetAsShortInt() const;
  int16_t GetAsSmallInt() const;
  int32_t GetAsInteger() const;
  int64_t GetAsLargeInt() const;
  uint8_t GetAsByte() const;
  uint16_t GetAsWord() const;
  uint32_t GetAsCardinal() const;
  std::string GetAsString() const;
  std::u16string GetAsWideString() const;
  float GetAsSingle() const;
  double GetAsFloat() const;
  double GetAsExtended() const;
  Extended80 GetAsExtended80() const;
  EngineDate GetAsEngineDate() const;
  EngineTime GetAsEngineTime() const;
  EngineDateTime GetAsEngineDateTime() const;
  TDateTime GetAsDate() const;
  TDateTime GetAsTime() const;
  TDateTime GetAsDateTime() const;
  bool GetAsLogical() const;
  double GetAsCurrency() const;

  // Copies the bytes into the value's own storage (reused when large enough) or, with
  // copy false, borrows the caller's memory, which must outlive the borrowing. The value
  // becomes non-NULL with that type.
  void SetBuffer(const uint8_t* bytes, int32_t size, bool copy, BaseDataType type);
  // False for NULL and for an empty text; otherwise copies Size() bytes and gives true. A
  // capacity below Size() raises 20056 "Buffer size exceeded"; -1 means unlimited.
  bool GetBuffer(uint8_t* destination, int32_t capacity) const;
  // Takes type, size and null flag of `other`, and copies or borrows its bytes.
  void Assign(const TABSVariant& other, bool copy);
  // Converts the value to `type` in place; a NULL just takes the type. On failure the value is
  // unchanged.
  void ConvertTo(BaseDataType type);
  // -1 for NULL and non-text values; otherwise the characters the size leaves room for before
  // the terminating zero: Size - 1, or Size / 2 - 1 for 16-bit text.
  int32_t TextLength() const;

  // Type byte, null flag byte (255 for NULL), and for a value its int32 size and bytes. A short
  // transfer raises the item's code; so does a stored value that cannot be one (an unknown
  // type, a size the type cannot have or more bytes than the stream holds).
  void SaveToStream(TStream& stream,
                    const TABSValueStreamCodes& codes = kDefaultValueWriteCodes) const;
  void LoadFromStream(TStream& stream, const TABSValueStreamCodes& codes = kDefaultValueReadCodes);

  // Compares with `right` after converting both to their common type. `prefix_length` limits
  // text comparisons to that many characters (kPrefixOfRightText: the right operand's text
  // length; 0: whole texts). Raw mode reports NULL operands as LeftNull, RightNull, BothNull.
  TABSCompareResult Compare(const TABSVariant& right, bool case_insensitive = false,
                            int32_t prefix_length = 0, bool raw = false) const;

  // Arithmetic in place. Integer results keep the operands' common type when they fit it and
  // become LARGEINT (or FLOAT beyond 64 bits) when not; Divide gives FLOAT for integers; Add
  // joins texts; dates and times take days added or subtracted, and the difference of two of
  // them is a FLOAT number of days. A NULL operand gives NULL.
  void Negate();
  void Add(const TABSVariant& right);
  void Subtract(const TABSVariant& right);
  void Multiply(const TABSVariant& right);
  void Divide(const TABSVariant& right);

  // Empty or null variants give NULL (type kept); the other supported kinds go through the
  // matching setter.
  void FromFrameworkVariant(const Variant& value);
  Variant ToFrameworkVariant() const;

 private:
  template <typename T>
  void SetFixed(BaseDataType own_type, T value);
  void SetTyped(BaseDataType own_type, const uint8_t* bytes, int32_t size);
  template <typename T>
  T GetFixed(BaseDataType want) const;
  void StoreOwned(TABSValueBuffer&& bytes, BaseDataType type);

  BaseDataType type_ = bdtUnknown;
  uint8_t null_flag_ = kNullFlag;
  bool borrowed_ = false;
  int32_t size_ = 0;
  const uint8_t* borrowed_data_ = nullptr;
  TABSValueBuffer owned_;
};

// Converts one non-NULL value between base types into `result` (record encoding of `to`).
// Texts of numbers, dates and times follow the locale setting (framework/FormatSettings.h);
// texts are read as floating numbers with '.' whatever the locale, and 8-bit texts as dates in
// the fixed forms before the locale's formats.
// A pair without a rule raises 30052 and an input the rule cannot read 30051, both "Cannot
// cast from '%s' to '%s'" with the two type names.
void ConvertBuffer(const uint8_t* bytes, int32_t size, BaseDataType from, BaseDataType to,
                   TABSValueBuffer& result);

// The type two operands are converted to before they are compared (for_comparison: a text
// against a date or time type gives the date or time type) or combined (the text type).
// bdtUnknown when there is none.
BaseDataType CommonType(BaseDataType left, BaseDataType right, bool for_comparison);
// The type of an expression on operands of two declared types: the first whose base type is
// the common type, else the declared type of the common type; adtUnknown when there is none.
AdvancedDataType ExpressionResultType(AdvancedDataType left, AdvancedDataType right);

}  // namespace tabshift
