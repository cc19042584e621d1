#include "framework/Field.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/DataSet.h"
#include "framework/Exception.h"
#include "framework/Format.h"
#include "framework/FormatSettings.h"
#include "framework/Stream.h"
#include "framework/Text.h"
#include "platform/Collation.h"

namespace tabshift {

namespace {

// The groups of field types that share their conversions.
enum class Family : uint8_t { Text, Wide, Integer, Boolean, Float, Date, Bytes, VarBytes, Blob };

Family FamilyOf(TFieldType type) {
  switch (type) {
    case ftWideString:
      return Family::Wide;
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint:
      return Family::Integer;
    case ftBoolean:
      return Family::Boolean;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      return Family::Float;
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
      return Family::Date;
    case ftBytes:
      return Family::Bytes;
    case ftVarBytes:
      return Family::VarBytes;
    default:
      return IsBlobFieldType(type) ? Family::Blob : Family::Text;
  }
}

template <typename T>
T Load(const uint8_t* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <typename T>
void Store(uint8_t* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

struct IntegerRange {
  int64_t min;
  int64_t max;
};

IntegerRange RangeOf(TFieldType type) {
  switch (type) {
    case ftSmallint:
      return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
    case ftWord:
      return {0, std::numeric_limits<uint16_t>::max()};
    case ftLargeint:
      return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    default:
      return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  }
}

int64_t LoadInteger(TFieldType type, const uint8_t* data) {
  switch (type) {
    case ftSmallint:
      return Load<int16_t>(data);
    case ftWord:
      return Load<uint16_t>(data);
    case ftLargeint:
      return Load<int64_t>(data);
    default:
      return Load<int32_t>(data);
  }
}

void StoreInteger(TFieldType type, uint8_t* data, int64_t value) {
  switch (type) {
    case ftSmallint:
      return Store(data, static_cast<int16_t>(value));
    case ftWord:
      return Store(data, static_cast<uint16_t>(value));
    case ftLargeint:
      return Store(data, value);
    default:
      return Store(data, static_cast<int32_t>(value));
  }
}

std::string BooleanText(bool value) {
  return value ? "True" : "False";
}

std::string DateText(TFieldType type, TDateTime value) {
  if (type == ftDate) return DateToStr(value);
  if (type == ftTime) return TimeToStr(value);
  return DateTimeToStr(value);
}

// A date field keeps whole days, a time field the time of day.
TDateTime NormalizeDate(TFieldType type, TDateTime value) {
  if (type == ftDate) return std::trunc(value);
  if (type == ftTime) return std::fabs(value - std::trunc(value));
  return value;
}

bool TryTextToFloat(std::string_view text, double& value) {
  std::string fixed(text);
  for (char& c : fixed) {
    if (c == FormatSettings().decimal_separator) c = '.';
  }
  return TryStrToFloatFixed(fixed, value);
}

[[noreturn]] void InvalidText(std::string_view text, const char* what) {
  throw EConvertError(Format("'%s' is not a valid %s", {text, what}));
}

int64_t TextToInteger(std::string_view text) {
  int64_t value = 0;
  if (!TryStrToInt64(text, value)) InvalidText(text, "integer value");
  return value;
}

double TextToFloat(std::string_view text) {
  double value = 0;
  if (!TryTextToFloat(text, value)) InvalidText(text, "floating point value");
  return value;
}

TDateTime TextToDate(TFieldType type, std::string_view text) {
  TDateTime value = 0;
  if (type == ftDate) {
    if (!TryStrToDate(text, value)) InvalidText(text, "date");
  } else if (type == ftTime) {
    if (!TryStrToTime(text, value)) InvalidText(text, "time");
  } else if (!TryStrToDateTime(text, value) && !TryStrToTime(text, value)) {
    InvalidText(text, "date and time");
  }
  return value;
}

bool TextToBoolean(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (SameText(trimmed, "True")) return true;
  if (SameText(trimmed, "False")) return false;
  InvalidText(text, "boolean value");
}

}  // namespace

bool IsBlobFieldType(TFieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return true;
    default:
      return false;
  }
}

int FieldDataSize(TFieldType type, int32_t size) {
  if (size < 0) return -1;
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
      return size + 1;
    case ftWideString:
      return (size + 1) * 2;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
      return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
      return 8;
    case ftBytes:
      return size;
    case ftVarBytes:
      return size + 2;
    default:
      return IsBlobFieldType(type) ? 0 : -1;
  }
}

TField::TField(TDataSet& dataset, const TFieldDef& def, int field_no, int index)
    : dataset_(dataset),
      name_(def.Name),
      type_(def.DataType),
      size_(def.Size),
      required_(def.Required),
      field_no_(field_no),
      index_(index),
      data_size_(FieldDataSize(def.DataType, def.Size)) {
  if (data_size_ < 0) throw EDatabaseError(Format("Field '%s' is of an unknown type", {name_}));
  scratch_.resize(static_cast<size_t>(data_size_));
}

void TField::AccessError(const char* type_name) const {
  throw EDatabaseError(Format("Cannot access field '%s' as type %s", {name_, type_name}));
}

void TField::CheckNotBlob(const char* type_name) const {
  if (IsBlob()) AccessError(type_name);
}

// Without a current record (an empty dataset) every value is NULL.
bool TField::HasValue(void* buffer) const {
  dataset_.CheckActive();
  if (!dataset_.has_record_ && dataset_.state_ != dsInsert) return false;
  return dataset_.GetFieldData(*this, buffer);
}

bool TField::ReadNative() const {
  return HasValue(scratch_.data());
}

void TField::WriteNative(const void* buffer) {
  dataset_.CheckFieldWrite(*this);
  dataset_.SetFieldData(*this, buffer);
  dataset_.modified_ = true;
}

bool TField::IsNull() const {
  return !HasValue(IsBlob() ? nullptr : scratch_.data());
}

void TField::Clear() {
  WriteNative(nullptr);
}

bool TField::GetData(void* buffer) const {
  CheckNotBlob("Bytes");
  return HasValue(buffer);
}

void TField::SetData(const void* buffer) {
  CheckNotBlob("Bytes");
  WriteNative(buffer);
}

void TField::RangeError(const std::string& value, const std::string& min,
                        const std::string& max) const {
  throw EDatabaseError(
      Format("%s is not a valid value for field '%s'. The allowed range is %s to %s",
             {value, name_, min, max}));
}

void TField::WriteInteger(int64_t value) {
  const IntegerRange range = RangeOf(type_);
  if (value < range.min || value > range.max) {
    RangeError(std::to_string(value), std::to_string(range.min), std::to_string(range.max));
  }
  StoreInteger(type_, scratch_.data(), value);
  WriteNative(scratch_.data());
}

int64_t TField::FloatToInteger(double value) const {
  const double rounded = std::nearbyint(value);
  // 2^63 is the first double beyond the 64-bit range.
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    const IntegerRange range = RangeOf(type_);
    RangeError(FloatToStr(value), std::to_string(range.min), std::to_string(range.max));
  }
  return static_cast<int64_t>(rounded);
}

int32_t TField::AsInteger() const {
  const int64_t value = AsLargeInt();
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throw EConvertError(Format("Value %s of field '%s' is out of the range of type Integer",
                               {std::to_string(value), name_}));
  }
  return static_cast<int32_t>(value);
}

void TField::SetAsInteger(int32_t value) {
  SetAsLargeInt(value);
}

int64_t TField::AsLargeInt() const {
  const Family family = FamilyOf(type_);
  switch (family) {
    case Family::Integer:
      return ReadNative() ? LoadInteger(type_, scratch_.data()) : 0;
    case Family::Boolean:
      return AsBoolean() ? 1 : 0;
    case Family::Float:
      return ReadNative() ? FloatToInteger(Load<double>(scratch_.data())) : 0;
    case Family::Text:
    case Family::Wide:
      return IsNull() ? 0 : TextToInteger(AsString());
    default:
      AccessError("LargeInt");
  }
}

void TField::SetAsLargeInt(int64_t value) {
  switch (FamilyOf(type_)) {
    case Family::Integer:
      return WriteInteger(value);
    case Family::Boolean:
      return SetAsBoolean(value != 0);
    case Family::Float:
      Store(scratch_.data(), static_cast<double>(value));
      return WriteNative(scratch_.data());
    case Family::Text:
    case Family::Wide:
      return SetAsString(std::to_string(value));
    default:
      AccessError("LargeInt");
  }
}

double TField::AsFloat() const {
  switch (FamilyOf(type_)) {
    case Family::Integer:
      return static_cast<double>(AsLargeInt());
    case Family::Float:
    case Family::Date:
      return ReadNative() ? Load<double>(scratch_.data()) : 0.0;
    case Family::Text:
    case Family::Wide:
      return IsNull() ? 0.0 : TextToFloat(AsString());
    default:
      AccessError("Float");
  }
}

void TField::SetAsFloat(double value) {
  switch (FamilyOf(type_)) {
    case Family::Integer:
      return WriteInteger(FloatToInteger(value));
    case Family::Float:
      Store(scratch_.data(), value);
      return WriteNative(scratch_.data());
    case Family::Date:
      return SetAsDateTime(value);
    case Family::Text:
    case Family::Wide:
      return SetAsString(FloatToStr(value));
    default:
      AccessError("Float");
  }
}

TDateTime TField::AsDateTime() const {
  switch (FamilyOf(type_)) {
    case Family::Date:
    case Family::Float:
      return ReadNative() ? Load<double>(scratch_.data()) : 0.0;
    case Family::Text:
    case Family::Wide:
      return IsNull() ? 0.0 : TextToDate(ftDateTime, AsString());
    default:
      AccessError("DateTime");
  }
}

void TField::SetAsDateTime(TDateTime value) {
  switch (FamilyOf(type_)) {
    case Family::Date:
      Store(scratch_.data(), NormalizeDate(type_, value));
      return WriteNative(scratch_.data());
    case Family::Float:
      Store(scratch_.data(), value);
      return WriteNative(scratch_.data());
    case Family::Text:
    case Family::Wide:
      return SetAsString(DateTimeToStr(value));
    default:
      AccessError("DateTime");
  }
}

bool TField::AsBoolean() const {
  switch (FamilyOf(type_)) {
    case Family::Boolean:
      return ReadNative() && Load<int16_t>(scratch_.data()) != 0;
    case Family::Integer:
      return AsLargeInt() != 0;
    case Family::Text:
    case Family::Wide:
      return !IsNull() && TextToBoolean(AsString());
    default:
      AccessError("Boolean");
  }
}

void TField::SetAsBoolean(bool value) {
  switch (FamilyOf(type_)) {
    case Family::Boolean:
      Store(scratch_.data(), static_cast<int16_t>(value ? 1 : 0));
      return WriteNative(scratch_.data());
    case Family::Integer:
      return WriteInteger(value ? 1 : 0);
    case Family::Text:
    case Family::Wide:
      return SetAsString(BooleanText(value));
    default:
      AccessError("Boolean");
  }
}

std::string TField::AsString() const {
  const Family family = FamilyOf(type_);
  if (family == Family::Blob) {
    const std::vector<uint8_t> content = ReadBlob();
    return std::string(content.begin(), content.end());
  }
  if (!ReadNative()) return {};
  const uint8_t* data = scratch_.data();
  switch (family) {
    case Family::Text:
      return std::string(reinterpret_cast<const char*>(data),
                         static_cast<size_t>(std::find(data, data + size_, uint8_t{0}) - data));
    case Family::Wide:
      return platform::WideToAnsi(AsWideString());
    case Family::Integer:
      return std::to_string(LoadInteger(type_, data));
    case Family::Boolean:
      return BooleanText(Load<int16_t>(data) != 0);
    case Family::Float:
      return FloatToStr(Load<double>(data));
    case Family::Date:
      return DateText(type_, Load<double>(data));
    default: {
      const std::vector<uint8_t> bytes = AsBytes();
      return std::string(bytes.begin(), bytes.end());
    }
  }
}

void TField::SetAsString(std::string_view value) {
  const Family family = FamilyOf(type_);
  switch (family) {
    case Family::Text: {
      const size_t length = std::min(value.size(), static_cast<size_t>(size_));
      std::fill(scratch_.begin(), scratch_.end(), uint8_t{0});
      std::memcpy(scratch_.data(), value.data(), length);
      return WriteNative(scratch_.data());
    }
    case Family::Wide:
      return WriteWideText(platform::AnsiToWide(value));
    case Family::Bytes:
    case Family::VarBytes:
    case Family::Blob:
      return SetAsBytes(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(value.data()), value.size()));
    default:
      break;
  }
  if (value.empty()) return Clear();
  switch (family) {
    case Family::Integer:
      return WriteInteger(TextToInteger(value));
    case Family::Boolean:
      return SetAsBoolean(TextToBoolean(value));
    case Family::Float:
      return SetAsFloat(TextToFloat(value));
    default:
      return SetAsDateTime(TextToDate(type_, value));
  }
}

std::u16string TField::AsWideString() const {
  if (type_ != ftWideString) return platform::AnsiToWide(AsString());
  if (!ReadNative()) return {};
  const size_t units = static_cast<size_t>(size_);
  std::u16string text(units, u'\0');
  std::memcpy(text.data(), scratch_.data(), units * 2);
  text.resize(static_cast<size_t>(std::find(text.begin(), text.end(), u'\0') - text.begin()));
  return text;
}

void TField::SetAsWideString(std::u16string_view value) {
  if (type_ == ftWideString) return WriteWideText(value);
  SetAsString(platform::WideToAnsi(value));
}

void TField::WriteWideText(std::u16string_view value) {
  const size_t units = std::min(value.size(), static_cast<size_t>(size_));
  std::fill(scratch_.begin(), scratch_.end(), uint8_t{0});
  std::memcpy(scratch_.data(), value.data(), units * 2);
  WriteNative(scratch_.data());
}

std::vector<uint8_t> TField::AsBytes() const {
  const Family family = FamilyOf(type_);
  if (family == Family::Blob) return ReadBlob();
  if (family == Family::Text) {
    const std::string text = AsString();
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  if (family == Family::Wide) {
    const std::u16string text = AsWideString();
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return std::vector<uint8_t>(bytes, bytes + text.size() * 2);
  }
  if (!ReadNative()) return {};
  const uint8_t* data = scratch_.data();
  if (family == Family::VarBytes) {
    const size_t length = std::min<size_t>(Load<uint16_t>(data), static_cast<size_t>(size_));
    return std::vector<uint8_t>(data + 2, data + 2 + length);
  }
  return std::vector<uint8_t>(data, data + data_size_);
}

void TField::SetAsBytes(std::span<const uint8_t> value) {
  const Family family = FamilyOf(type_);
  switch (family) {
    case Family::Blob:
      return WriteBlob(value.data(), value.size());
    case Family::Text:
      return SetAsString(
          std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
    case Family::Bytes:
    case Family::VarBytes:
      return WriteByteValue(value);
    case Family::Wide:
      AccessError("Bytes");
    default:
      if (value.size() != static_cast<size_t>(data_size_)) {
        throw EDatabaseError(Format("Value of %d bytes does not fit field '%s' of %d bytes",
                                    {value.size(), name_, data_size_}));
      }
      return WriteNative(value.data());
  }
}

void TField::WriteByteValue(std::span<const uint8_t> value) {
  if (value.size() > static_cast<size_t>(size_)) {
    throw EDatabaseError(Format("Value of %d bytes does not fit field '%s' of %d bytes",
                                {value.size(), name_, size_}));
  }
  std::fill(scratch_.begin(), scratch_.end(), uint8_t{0});
  uint8_t* data = scratch_.data();
  if (type_ == ftVarBytes) {
    Store(data, static_cast<uint16_t>(value.size()));
    data += 2;
  }
  if (!value.empty()) std::memcpy(data, value.data(), value.size());
  WriteNative(scratch_.data());
}

Variant TField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  switch (type_) {
    case ftSmallint:
      return Variant::FromSmallint(static_cast<int16_t>(AsLargeInt()));
    case ftWord:
      return Variant::FromWord(static_cast<uint16_t>(AsLargeInt()));
    case ftInteger:
    case ftAutoInc:
      return Variant::FromInteger(static_cast<int32_t>(AsLargeInt()));
    case ftLargeint:
      return Variant::FromInt64(AsLargeInt());
    case ftBoolean:
      return Variant::FromBoolean(AsBoolean());
    case ftCurrency:
      return Variant::FromCurrency(AsFloat());
    case ftWideString:
      return Variant::FromOleStr(AsWideString());
    case ftBytes:
    case ftVarBytes:
      return Variant::FromBytes(AsBytes());
    default:
      break;
  }
  switch (FamilyOf(type_)) {
    case Family::Float:
      return Variant::FromDouble(AsFloat());
    case Family::Date:
      return Variant::FromDate(AsDateTime());
    default:
      return Variant::FromString(AsString());
  }
}

void TField::SetAsVariant(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return Clear();
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
      return SetAsFloat(value.AsDouble());
    case VarType::Date:
      return SetAsDateTime(value.AsDouble());
    case VarType::Boolean:
      return SetAsBoolean(value.AsBoolean());
    case VarType::String:
      return SetAsString(value.AsString());
    case VarType::OleStr:
      return SetAsWideString(value.AsOleStr());
    case VarType::ByteArray:
      return SetAsBytes(value.AsBytes());
    default:
      return SetAsLargeInt(value.AsInteger());
  }
}

std::vector<uint8_t> TField::ReadBlob() const {
  if (IsNull()) return {};
  const std::unique_ptr<TStream> stream = dataset_.CreateBlobStream(Self(), bmRead);
  const int64_t size = stream->Size();
  std::vector<uint8_t> content(static_cast<size_t>(size));
  stream->SetPosition(0);
  stream->ReadBuffer(content.data(), content.size());
  return content;
}

void TField::WriteBlob(const void* data, size_t size) {
  std::unique_ptr<TStream> stream = dataset_.CreateBlobStream(*this, bmWrite);
  stream->WriteBuffer(data, size);
  stream.reset();
  dataset_.modified_ = true;
}

void TField::LoadFromStream(TStream& source) {
  if (!IsBlob()) AccessError("Blob");
  std::unique_ptr<TStream> stream = dataset_.CreateBlobStream(*this, bmWrite);
  stream->CopyFrom(source, 0);
  stream.reset();
  dataset_.modified_ = true;
}

void TField::SaveToStream(TStream& target) const {
  if (!IsBlob()) AccessError("Blob");
  if (IsNull()) return;
  const std::unique_ptr<TStream> stream = dataset_.CreateBlobStream(Self(), bmRead);
  target.CopyFrom(*stream, 0);
}

TField* TFields::FindField(std::string_view name) const {
  for (const std::unique_ptr<TField>& field : items_) {
    if (SameText(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

TField& TFields::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) throw EDatabaseError(Format("Field '%s' not found", {name}));
  return *field;
}

}  // namespace tabshift
