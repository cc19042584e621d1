// Builders of engine values and a readable rendering of them ("TYPE:payload") for the value
// tests.
#pragma once

#include <cstring>
#include <string>

#include "engine/access/ABSVariant.h"
#include "framework/FormatSettings.h"
#include "platform/Collation.h"

namespace tabshift::test {

inline TABSVariant Raw(BaseDataType type, const void* bytes, int32_t size) {
  TABSVariant value(type);
  value.SetBuffer(static_cast<const uint8_t*>(bytes), size, true, type);
  return value;
}

template <typename T>
TABSVariant Fixed(BaseDataType type, T value) {
  return Raw(type, &value, sizeof value);
}

inline TABSVariant Text(BaseDataType type, const std::string& text) {
  return Raw(type, text.c_str(), static_cast<int32_t>(text.size()) + 1);
}
inline TABSVariant Str(const std::string& text) {
  return Text(bdtString, text);
}
inline TABSVariant WideText(BaseDataType type, const std::u16string& text) {
  return Raw(type, text.c_str(), static_cast<int32_t>(text.size() + 1) * 2);
}
inline TABSVariant Wide(const std::u16string& text) {
  return WideText(bdtWideString, text);
}
inline TABSVariant Memo(const std::string& bytes) {
  return Raw(bdtMemo, bytes.data(), static_cast<int32_t>(bytes.size()));
}
inline TABSVariant WideMemo(const std::u16string& text) {
  return Raw(bdtWideMemo, text.data(), static_cast<int32_t>(text.size()) * 2);
}
inline TABSVariant Short(int8_t v) {
  return Fixed(bdtShortInt, v);
}
inline TABSVariant Small(int16_t v) {
  return Fixed(bdtSmallInt, v);
}
inline TABSVariant Int(int32_t v) {
  return Fixed(bdtInteger, v);
}
inline TABSVariant Large(int64_t v) {
  return Fixed(bdtLargeInt, v);
}
inline TABSVariant Byte(uint8_t v) {
  return Fixed(bdtByte, v);
}
inline TABSVariant Word(uint16_t v) {
  return Fixed(bdtWord, v);
}
inline TABSVariant Card(uint32_t v) {
  return Fixed(bdtCardinal, v);
}
inline TABSVariant Single(float v) {
  return Fixed(bdtSingle, v);
}
inline TABSVariant Float(double v) {
  return Fixed(bdtFloat, v);
}
inline TABSVariant Ext(double v) {
  return Fixed(bdtExtended, DoubleToExtended(v));
}
inline TABSVariant Date(EngineDate v) {
  return Fixed(bdtDate, v);
}
inline TABSVariant Time(EngineTime v) {
  return Fixed(bdtTime, v);
}
inline TABSVariant DT(EngineDate d, EngineTime t) {
  return Fixed(bdtDateTime, EngineDateTime{d, t});
}
inline TABSVariant Logical(int16_t v) {
  return Fixed(bdtLogical, v);
}
inline TABSVariant Curr(double v) {
  return Fixed(bdtCurrency, v);
}
inline TABSVariant Bytes(BaseDataType type, const std::string& bytes) {
  return Raw(type, bytes.data(), static_cast<int32_t>(bytes.size()));
}

template <typename T>
T ReadAs(const TABSVariant& value) {
  T result{};
  std::memcpy(&result, value.Buffer(), std::min(sizeof(T), static_cast<size_t>(value.Size())));
  return result;
}

inline std::string Hex(const uint8_t* bytes, int32_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (int32_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

// "TYPE:payload" from the value's own bytes; "TYPE:NULL" for NULL.
inline std::string Show(const TABSVariant& value) {
  std::string out = std::string(DataTypeName(value.Type())) + ":";
  if (value.IsNull()) return out + "NULL";
  const char* text = reinterpret_cast<const char*>(value.Buffer());
  switch (value.Type()) {
    case bdtChar:
    case bdtString:
      return out + std::string(text, strnlen(text, static_cast<size_t>(value.Size()))) +
             (text[value.Size() - 1] == 0 ? "" : "<no zero>");
    case bdtWideChar:
    case bdtWideString:
      return out + platform::WideToAnsi(value.GetAsWideString());
    case bdtShortInt:
      return out + std::to_string(ReadAs<int8_t>(value));
    case bdtSmallInt:
      return out + std::to_string(ReadAs<int16_t>(value));
    case bdtInteger:
      return out + std::to_string(ReadAs<int32_t>(value));
    case bdtLargeInt:
      return out + std::to_string(ReadAs<int64_t>(value));
    case bdtByte:
      return out + std::to_string(ReadAs<uint8_t>(value));
    case bdtWord:
      return out + std::to_string(ReadAs<uint16_t>(value));
    case bdtCardinal:
      return out + std::to_string(ReadAs<uint32_t>(value));
    case bdtSingle:
      return out + FloatToStr(ReadAs<float>(value));
    case bdtFloat:
    case bdtCurrency:
      return out + FloatToStr(ReadAs<double>(value));
    case bdtExtended:
      return out + FloatToStr(ExtendedToDouble(ReadAs<Extended80>(value)));
    case bdtDate:
    case bdtTime:
      return out + std::to_string(ReadAs<int32_t>(value));
    case bdtDateTime: {
      const EngineDateTime dt = ReadAs<EngineDateTime>(value);
      return out + std::to_string(dt.date) + "," + std::to_string(dt.time);
    }
    case bdtLogical:
      return out + std::to_string(ReadAs<int16_t>(value));
    default:
      return out + Hex(value.Buffer(), value.Size());
  }
}

}  // namespace tabshift::test
