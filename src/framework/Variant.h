// The framework's variant: the value of a field as it crosses the component boundary. A kind
// and one payload; the kind numbers are the ones the framework has always used, and error
// messages print them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "framework/DateTime.h"

namespace tabshift {

enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  Smallint = 2,  // int16
  Integer = 3,   // int32
  Single = 4,
  Double = 5,
  Currency = 6,  // the amount as a double
  Date = 7,      // TDateTime
  OleStr = 8,    // 16-bit text
  Boolean = 11,
  ShortInt = 16,  // int8
  Byte = 17,
  Word = 18,
  LongWord = 19,  // uint32
  Int64 = 20,
  String = 0x100,      // 8-bit text
  ByteArray = 0x2011,  // an array of bytes
};

class Variant {
 public:
  Variant() = default;  // Empty

  static Variant Null() { return Variant(VarType::Null, std::monostate{}); }
  static Variant FromShortInt(int8_t v) { return Variant(VarType::ShortInt, int64_t{v}); }
  static Variant FromSmallint(int16_t v) { return Variant(VarType::Smallint, int64_t{v}); }
  static Variant FromInteger(int32_t v) { return Variant(VarType::Integer, int64_t{v}); }
  static Variant FromInt64(int64_t v) { return Variant(VarType::Int64, v); }
  static Variant FromByte(uint8_t v) { return Variant(VarType::Byte, int64_t{v}); }
  static Variant FromWord(uint16_t v) { return Variant(VarType::Word, int64_t{v}); }
  static Variant FromLongWord(uint32_t v) { return Variant(VarType::LongWord, int64_t{v}); }
  static Variant FromSingle(float v) { return Variant(VarType::Single, double{v}); }
  static Variant FromDouble(double v) { return Variant(VarType::Double, v); }
  static Variant FromCurrency(double v) { return Variant(VarType::Currency, v); }
  static Variant FromDate(TDateTime v) { return Variant(VarType::Date, v); }
  static Variant FromBoolean(bool v) { return Variant(VarType::Boolean, v); }
  static Variant FromString(std::string v) { return Variant(VarType::String, std::move(v)); }
  static Variant FromOleStr(std::u16string v) { return Variant(VarType::OleStr, std::move(v)); }
  static Variant FromBytes(std::vector<uint8_t> v) {
    return Variant(VarType::ByteArray, std::move(v));
  }

  VarType Type() const { return type_; }
  bool IsEmptyOrNull() const { return type_ == VarType::Empty || type_ == VarType::Null; }

  // The payload of the kind; reading another kind's payload is a programming error
  // (std::bad_variant_access).
  int64_t AsInteger() const { return std::get<int64_t>(value_); }  // every integer kind
  double AsDouble() const { return std::get<double>(value_); }     // Single, Double, Currency, Date
  bool AsBoolean() const { return std::get<bool>(value_); }
  const std::string& AsString() const { return std::get<std::string>(value_); }
  const std::u16string& AsOleStr() const { return std::get<std::u16string>(value_); }
  const std::vector<uint8_t>& AsBytes() const { return std::get<std::vector<uint8_t>>(value_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  using Payload = std::variant<std::monostate, int64_t, double, bool, std::string, std::u16string,
                               std::vector<uint8_t>>;
  Variant(VarType type, Payload value) : type_(type), value_(std::move(value)) {}

  VarType type_ = VarType::Empty;
  Payload value_;
};

}  // namespace tabshift
