#include "engine/access/ABSVariant.h"

#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSStreamItems.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

[[noreturn]] void RaiseValueIsNull() {
  RaiseEngineError(native_error::kValueIsNull, "Value is Null");
}

std::string_view TextOf(const uint8_t* bytes, int32_t size) {
  const char* text = reinterpret_cast<const char*>(bytes);
  return std::string_view(text, strnlen(text, static_cast<size_t>(size)));
}

// The size a stored value of `type` must have; -1 for texts and bytes, whose size varies.
int32_t FixedSizeOf(BaseDataType type) {
  return IsBaseStringType(type) || IsBaseBlobType(type) || type == bdtBytes || type == bdtVarBytes
             ? -1
             : DataSizeOf(type, 0);
}

bool IsPossibleSize(BaseDataType type, int32_t size) {
  if (IsBaseWideType(type)) return size >= 2 && size % 2 == 0;
  if (IsBaseStringType(type)) return size >= 1;
  const int32_t fixed = FixedSizeOf(type);
  return fixed < 0 ? size >= 0 : size == fixed;
}

}  // namespace

void TABSVariant::Clear(BaseDataType type) {
  owned_.Release();
  type_ = type;
  size_ = 0;
  borrowed_ = false;
  borrowed_data_ = nullptr;
  null_flag_ = kNullFlag;
}

void TABSVariant::StoreOwned(TABSValueBuffer&& bytes, BaseDataType type) {
  owned_ = std::move(bytes);
  size_ = owned_.Size();
  borrowed_ = false;
  borrowed_data_ = nullptr;
  type_ = type;
  null_flag_ = 0;
}

void TABSVariant::SetTyped(BaseDataType own_type, const uint8_t* bytes, int32_t size) {
  if (type_ == bdtUnknown || type_ == own_type) {
    SetBuffer(bytes, size, true, own_type);
    return;
  }
  TABSValueBuffer converted;
  ConvertBuffer(bytes, size, own_type, type_, converted);
  StoreOwned(std::move(converted), type_);
}

template <typename T>
void TABSVariant::SetFixed(BaseDataType own_type, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  SetTyped(own_type, bytes, sizeof(T));
}

template <typename T>
T TABSVariant::GetFixed(BaseDataType want) const {
  if (IsNull()) RaiseValueIsNull();
  T value{};
  if (type_ == want) {
    std::memcpy(&value, Buffer(), std::min(sizeof(T), static_cast<size_t>(size_)));
    return value;
  }
  TABSValueBuffer converted;
  ConvertBuffer(Buffer(), size_, type_, want, converted);
  std::memcpy(&value, converted.Data(), std::min(sizeof(T), static_cast<size_t>(converted.Size())));
  return value;
}

void TABSVariant::SetAsShortInt(int8_t value) {
  SetFixed(bdtShortInt, value);
}
void TABSVariant::SetAsSmallInt(int16_t value) {
  SetFixed(bdtSmallInt, value);
}
void TABSVariant::SetAsInteger(int32_t value) {
  SetFixed(bdtInteger, value);
}
void TABSVariant::SetAsLargeInt(int64_t value) {
  SetFixed(bdtLargeInt, value);
}
void TABSVariant::SetAsByte(uint8_t value) {
  SetFixed(bdtByte, value);
}
void TABSVariant::SetAsWord(uint16_t value) {
  SetFixed(bdtWord, value);
}
void TABSVariant::SetAsCardinal(uint32_t value) {
  SetFixed(bdtCardinal, value);
}
void TABSVariant::SetAsSingle(float value) {
  SetFixed(bdtSingle, value);
}
void TABSVariant::SetAsFloat(double value) {
  SetFixed(bdtFloat, value);
}
void TABSVariant::SetAsExtended(double value) {
  SetFixed(bdtExtended, DoubleToExtended(value));
}
void TABSVariant::SetAsExtended80(const Extended80& value) {
  SetFixed(bdtExtended, value);
}
void TABSVariant::SetAsEngineDate(EngineDate value) {
  SetFixed(bdtDate, value);
}
void TABSVariant::SetAsEngineTime(EngineTime value) {
  SetFixed(bdtTime, value);
}
void TABSVariant::SetAsEngineDateTime(EngineDateTime value) {
  SetFixed(bdtDateTime, value);
}
void TABSVariant::SetAsLogical(bool value) {
  SetFixed<int16_t>(bdtLogical, value ? -1 : 0);
}
void TABSVariant::SetAsCurrency(double value) {
  SetFixed(bdtCurrency, value);
}

void TABSVariant::SetAsDate(TDateTime value) {
  EngineDate date = 0;
  if (!TryDateTimeToEngineDate(value, date)) {
    RaiseEngineErrorFmt(native_error::kCastFailed, "Cannot cast from '%s' to '%s'",
                        {DataTypeName(bdtFloat), DataTypeName(bdtDate)});
  }
  SetAsEngineDate(date);
}

void TABSVariant::SetAsTime(TDateTime value) {
  SetAsEngineTime(DateTimeToEngineTime(value));
}

void TABSVariant::SetAsDateTime(TDateTime value) {
  EngineDateTime date_time{};
  if (!TryDateTimeToEngineDateTime(value, date_time)) {
    RaiseEngineErrorFmt(native_error::kCastFailed, "Cannot cast from '%s' to '%s'",
                        {DataTypeName(bdtFloat), DataTypeName(bdtDateTime)});
  }
  SetAsEngineDateTime(date_time);
}

void TABSVariant::SetAsString(std::string_view value) {
  if (value.empty()) {
    if (type_ == bdtUnknown) type_ = bdtString;
    SetNull();
    return;
  }
  TABSValueBuffer text;
  uint8_t* out = text.Resize(static_cast<int32_t>(value.size()) + 1);
  std::memcpy(out, value.data(), value.size());
  out[value.size()] = 0;
  if (type_ == bdtUnknown || type_ == bdtString) {
    StoreOwned(std::move(text), bdtString);
  } else {
    SetTyped(bdtString, text.Data(), text.Size());
  }
}

void TABSVariant::SetAsWideString(std::u16string_view value) {
  if (value.empty()) {
    if (type_ == bdtUnknown) type_ = bdtWideString;
    SetNull();
    return;
  }
  TABSValueBuffer text;
  uint8_t* out = text.Resize(static_cast<int32_t>(value.size() + 1) * 2);
  std::memcpy(out, value.data(), value.size() * 2);
  out[value.size() * 2] = 0;
  out[value.size() * 2 + 1] = 0;
  SetTyped(bdtWideString, text.Data(), text.Size());
}

int8_t TABSVariant::GetAsShortInt() const {
  return GetFixed<int8_t>(bdtShortInt);
}
int16_t TABSVariant::GetAsSmallInt() const {
  return GetFixed<int16_t>(bdtSmallInt);
}
int32_t TABSVariant::GetAsInteger() const {
  return GetFixed<int32_t>(bdtInteger);
}
int64_t TABSVariant::GetAsLargeInt() const {
  return GetFixed<int64_t>(bdtLargeInt);
}
uint8_t TABSVariant::GetAsByte() const {
  return GetFixed<uint8_t>(bdtByte);
}
uint16_t TABSVariant::GetAsWord() const {
  return GetFixed<uint16_t>(bdtWord);
}
uint32_t TABSVariant::GetAsCardinal() const {
  return GetFixed<uint32_t>(bdtCardinal);
}
float TABSVariant::GetAsSingle() const {
  return GetFixed<float>(bdtSingle);
}
double TABSVariant::GetAsFloat() const {
  return GetFixed<double>(bdtFloat);
}
double TABSVariant::GetAsExtended() const {
  return ExtendedToDouble(GetAsExtended80());
}
Extended80 TABSVariant::GetAsExtended80() const {
  return GetFixed<Extended80>(bdtExtended);
}
EngineDate TABSVariant::GetAsEngineDate() const {
  return GetFixed<EngineDate>(bdtDate);
}
EngineTime TABSVariant::GetAsEngineTime() const {
  return GetFixed<EngineTime>(bdtTime);
}
EngineDateTime TABSVariant::GetAsEngineDateTime() const {
  return GetFixed<EngineDateTime>(bdtDateTime);
}
TDateTime TABSVariant::GetAsDate() const {
  return EngineDateToDateTime(GetAsEngineDate());
}
TDateTime TABSVariant::GetAsTime() const {
  return EngineTimeToDateTime(GetAsEngineTime());
}
TDateTime TABSVariant::GetAsDateTime() const {
  return EngineDateTimeToDateTime(GetAsEngineDateTime());
}
bool TABSVariant::GetAsLogical() const {
  return GetFixed<int16_t>(bdtLogical) != 0;
}
double TABSVariant::GetAsCurrency() const {
  return GetFixed<double>(bdtCurrency);
}

std::string TABSVariant::GetAsString() const {
  if (IsNull()) return std::string();
  if (type_ == bdtString) return std::string(TextOf(Buffer(), size_));
  TABSValueBuffer converted;
  ConvertBuffer(Buffer(), size_, type_, bdtString, converted);
  return std::string(TextOf(converted.Data(), converted.Size()));
}

std::u16string TABSVariant::GetAsWideString() const {
  if (IsNull()) return std::u16string();
  TABSValueBuffer converted;
  const bool direct = type_ == bdtWideString;
  if (!direct) ConvertBuffer(Buffer(), size_, type_, bdtWideString, converted);
  const uint8_t* bytes = direct ? Buffer() : converted.Data();
  const int32_t size = direct ? size_ : converted.Size();
  std::u16string text(static_cast<size_t>(size) / 2, u'\0');
  std::memcpy(text.data(), bytes, text.size() * 2);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return text;
}

void TABSVariant::SetBuffer(const uint8_t* bytes, int32_t size, bool copy, BaseDataType type) {
  if (copy) {
    owned_.Assign(bytes, size);
    borrowed_ = false;
    borrowed_data_ = nullptr;
    size_ = owned_.Size();
  } else {
    owned_.Release();
    borrowed_ = true;
    borrowed_data_ = bytes;
    size_ = bytes != nullptr && size > 0 ? size : 0;
  }
  type_ = type;
  null_flag_ = 0;
}

bool TABSVariant::GetBuffer(uint8_t* destination, int32_t capacity) const {
  if (IsNull()) return false;
  if (capacity != -1 && capacity < size_) {
    RaiseEngineError(native_error::kBufferSizeExceeded, "Buffer size exceeded");
  }
  if (IsBaseStringType(type_) && size_ <= 1) return false;
  std::memcpy(destination, Buffer(), static_cast<size_t>(size_));
  return true;
}

void TABSVariant::Assign(const TABSVariant& other, bool copy) {
  if (this == &other) return;
  SetBuffer(other.Buffer(), other.size_, copy, other.type_);
  null_flag_ = other.null_flag_;
}

void TABSVariant::ConvertTo(BaseDataType type) {
  if (type == type_) return;
  if (IsNull()) {
    type_ = type;
    return;
  }
  TABSValueBuffer converted;
  ConvertBuffer(Buffer(), size_, type_, type, converted);
  StoreOwned(std::move(converted), type);
}

int32_t TABSVariant::TextLength() const {
  if (IsNull() || !IsBaseStringType(type_)) return -1;
  return IsBaseWideType(type_) ? size_ / 2 - 1 : size_ - 1;
}

void TABSVariant::SaveToStream(TStream& stream, const TABSValueStreamCodes& codes) const {
  const uint8_t type = type_;
  const uint8_t null_flag = IsNull() ? kNullFlag : 0;
  WriteStreamItem(stream, &type, 1, codes.type);
  WriteStreamItem(stream, &null_flag, 1, codes.null_flag);
  if (null_flag != 0) return;
  WriteStreamItem(stream, &size_, sizeof size_, codes.size);
  WriteStreamItem(stream, Buffer(), static_cast<size_t>(size_), codes.data);
}

void TABSVariant::LoadFromStream(TStream& stream, const TABSValueStreamCodes& codes) {
  Clear(bdtUnknown);
  uint8_t type = 0;
  uint8_t null_flag = 0;
  ReadStreamItem(stream, &type, 1, codes.type);
  if (type >= kBaseDataTypeCount) {
    RaiseEngineErrorFmt(codes.type, "Unknown DataType: '%s'", {std::to_string(type)});
  }
  type_ = static_cast<BaseDataType>(type);
  ReadStreamItem(stream, &null_flag, 1, codes.null_flag);
  if (null_flag != 0) return;
  if (type_ == bdtUnknown) {
    RaiseEngineErrorFmt(codes.type, "Unknown DataType: '%s'", {DataTypeName(type_)});
  }
  int32_t size = 0;
  ReadStreamItem(stream, &size, sizeof size, codes.size);
  if (!IsPossibleSize(type_, size)) {
    RaiseEngineErrorFmt(codes.size, "Invalid size %d of a '%s' value", {size, DataTypeName(type_)});
  }
  CheckStreamHolds(stream, size, codes.data);
  ReadStreamItem(stream, owned_.Resize(size), static_cast<size_t>(size), codes.data);
  size_ = size;
  null_flag_ = 0;
}

void TABSVariant::FromFrameworkVariant(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return SetNull();
    case VarType::Smallint:
      return SetAsSmallInt(static_cast<int16_t>(value.AsInteger()));
    case VarType::Integer:
      return SetAsInteger(static_cast<int32_t>(value.AsInteger()));
    case VarType::Single:
      return SetAsSingle(static_cast<float>(value.AsDouble()));
    case VarType::Double:
      return SetAsFloat(value.AsDouble());
    case VarType::Currency:
      return SetAsCurrency(value.AsDouble());
    case VarType::Date:
      return SetAsDateTime(value.AsDouble());
    case VarType::OleStr:
      return SetAsWideString(value.AsOleStr());
    case VarType::Boolean:
      return SetAsLogical(value.AsBoolean());
    case VarType::ShortInt:
      return SetAsShortInt(static_cast<int8_t>(value.AsInteger()));
    case VarType::Byte:
      return SetAsByte(static_cast<uint8_t>(value.AsInteger()));
    case VarType::Word:
      return SetAsWord(static_cast<uint16_t>(value.AsInteger()));
    case VarType::LongWord:
      return SetAsCardinal(static_cast<uint32_t>(value.AsInteger()));
    case VarType::Int64:
      return SetAsLargeInt(value.AsInteger());
    case VarType::String:
      return SetAsString(value.AsString());
    default:
      RaiseEngineErrorFmt(native_error::kUnsupportedVariantKind, "Unsupported Variant Type %s",
                          {std::to_string(static_cast<int>(value.Type()))});
  }
}

Variant TABSVariant::ToFrameworkVariant() const {
  if (IsNull()) return Variant::Null();
  switch (type_) {
    case bdtChar:
    case bdtString:
      return Variant::FromString(GetAsString());
    case bdtBlob:  // its bytes as they are
      return Variant::FromString(
          std::string(reinterpret_cast<const char*>(Buffer()), static_cast<size_t>(size_)));
    case bdtWideChar:
    case bdtWideString:
      return Variant::FromOleStr(GetAsWideString());
    case bdtShortInt:
      return Variant::FromShortInt(GetAsShortInt());
    case bdtSmallInt:
      return Variant::FromSmallint(GetAsSmallInt());
    case bdtInteger:
      return Variant::FromInteger(GetAsInteger());
    case bdtByte:
      return Variant::FromByte(GetAsByte());
    case bdtWord:
      return Variant::FromWord(GetAsWord());
    case bdtCardinal:
      return Variant::FromLongWord(GetAsCardinal());
    case bdtLargeInt:
      return Variant::FromInt64(GetAsLargeInt());
    case bdtSingle:
    case bdtFloat:
    case bdtExtended:
    case bdtCurrency:
      return Variant::FromDouble(GetAsFloat());
    case bdtDate:
      return Variant::FromDate(GetAsDate());
    case bdtTime:
      return Variant::FromDate(GetAsTime());
    case bdtDateTime:
      return Variant::FromDate(GetAsDateTime());
    case bdtLogical:
      return Variant::FromBoolean(GetAsLogical());
    default:
      RaiseEngineErrorFmt(native_error::kUnsupportedVariantValueType, "Unsupported Variant Type %s",
                          {DataTypeName(type_)});
  }
}

}  // namespace tabshift
