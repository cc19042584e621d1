#include "engine/access/ABSMainFieldExchange.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSVariant.h"
#include "framework/DateTime.h"
#include "framework/Field.h"

namespace tabshift {
namespace {

struct IntegerForm {
  int32_t size = 0;
  bool is_signed = true;
};

bool IsIntegerFieldType(TFieldType type) {
  return type == ftSmallint || type == ftWord || type == ftInteger || type == ftAutoInc ||
         type == ftLargeint || type == ftBoolean;
}

IntegerForm NativeIntegerForm(TFieldType type) {
  switch (type) {
    case ftWord:
      return {2, false};
    case ftSmallint:
    case ftBoolean:
      return {2, true};
    case ftLargeint:
      return {8, true};
    default:
      return {4, true};
  }
}

// The cursor widens SHORTINT to 16 bits and CARDINAL to 64 bits in its exchange form.
IntegerForm EngineIntegerForm(const TABSFieldDef& field) {
  if (field.AdvancedType == adtShortInt) return {2, true};
  if (field.AdvancedType == adtCardinal) return {8, true};
  switch (field.BaseType) {
    case bdtShortInt:
      return {1, true};
    case bdtByte:
      return {1, false};
    case bdtWord:
      return {2, false};
    case bdtCardinal:
      return {4, false};
    default:
      return {field.BufferSize, true};
  }
}

void SetEngineRange(TABSFieldExchange& exchange, BaseDataType base) {
  switch (base) {
    case bdtShortInt:
      exchange.EngineMin = std::numeric_limits<int8_t>::min();
      exchange.EngineMax = std::numeric_limits<int8_t>::max();
      break;
    case bdtSmallInt:
    case bdtLogical:
      exchange.EngineMin = std::numeric_limits<int16_t>::min();
      exchange.EngineMax = std::numeric_limits<int16_t>::max();
      break;
    case bdtInteger:
      exchange.EngineMin = std::numeric_limits<int32_t>::min();
      exchange.EngineMax = std::numeric_limits<int32_t>::max();
      break;
    case bdtByte:
      exchange.EngineMax = std::numeric_limits<uint8_t>::max();
      break;
    case bdtWord:
      exchange.EngineMax = std::numeric_limits<uint16_t>::max();
      break;
    case bdtCardinal:
      exchange.EngineMax = std::numeric_limits<uint32_t>::max();
      break;
    default:
      exchange.EngineMin = std::numeric_limits<int64_t>::min();
      exchange.EngineMax = std::numeric_limits<int64_t>::max();
  }
}

int64_t LoadInteger(const uint8_t* bytes, int32_t size, bool is_signed) {
  switch (size) {
    case 1:
      return is_signed ? int64_t{static_cast<int8_t>(bytes[0])} : int64_t{bytes[0]};
    case 2: {
      uint16_t value = 0;
      std::memcpy(&value, bytes, sizeof value);
      return is_signed ? int64_t{static_cast<int16_t>(value)} : int64_t{value};
    }
    case 4: {
      uint32_t value = 0;
      std::memcpy(&value, bytes, sizeof value);
      return is_signed ? int64_t{static_cast<int32_t>(value)} : int64_t{value};
    }
    default: {
      int64_t value = 0;
      std::memcpy(&value, bytes, sizeof value);
      return value;
    }
  }
}

void StoreInteger(uint8_t* bytes, int32_t size, int64_t value) {
  std::memcpy(bytes, &value, static_cast<size_t>(size));  // little-endian: the low bytes
}

[[noreturn]] void CastFailed(BaseDataType from, BaseDataType to) {
  RaiseEngineErrorFmt(native_error::kCastFailed, "Cannot cast from '%s' to '%s'",
                      {DataTypeName(from), DataTypeName(to)});
}

// Copies the shorter of the two forms and zero-fills the rest of the target: a field whose
// size differs from the table's keeps a zero-terminated text.
void CopyBytes(const uint8_t* source, int32_t source_size, uint8_t* target, int32_t target_size) {
  if (source_size == target_size) {
    std::memcpy(target, source, static_cast<size_t>(target_size));
    return;
  }
  const int32_t common = std::min(source_size, target_size);
  std::memcpy(target, source, static_cast<size_t>(common));
  std::memset(target + common, 0, static_cast<size_t>(target_size - common));
  if (common > 0 && common < source_size) target[common - 1] = 0;
}

}  // namespace

TABSFieldExchange MakeFieldExchange(TFieldType type, int32_t size, const TABSFieldDef& field) {
  TABSFieldExchange exchange;
  exchange.NativeSize = FieldDataSize(type, size);
  exchange.EngineSize = field.BufferSize;
  exchange.EngineType = field.BaseType;
  if (IsBlobFieldType(type)) {
    exchange.Kind = TABSExchangeKind::Blob;
  } else if (IsBaseWideType(field.BaseType)) {
    exchange.Kind = TABSExchangeKind::WideText;
  } else if (field.BaseType == bdtDate) {
    exchange.Kind = TABSExchangeKind::Date;
  } else if (field.BaseType == bdtTime) {
    exchange.Kind = TABSExchangeKind::Time;
  } else if (field.BaseType == bdtDateTime) {
    exchange.Kind = TABSExchangeKind::DateTime;
  } else if (field.BaseType == bdtBytes) {
    exchange.Kind = TABSExchangeKind::Bytes;
  } else if (field.BaseType == bdtVarBytes) {
    exchange.Kind = TABSExchangeKind::VarBytes;
  } else if (IsIntegerFieldType(type)) {
    const IntegerForm native = NativeIntegerForm(type);
    const IntegerForm engine = EngineIntegerForm(field);
    exchange.NativeSize = native.size;
    exchange.NativeSigned = native.is_signed;
    exchange.EngineSize = engine.size;
    exchange.EngineSigned = engine.is_signed;
    SetEngineRange(exchange, field.BaseType);
    const bool same = native.size == engine.size && native.is_signed == engine.is_signed &&
                      field.AdvancedType != adtCardinal;
    exchange.Kind = same ? TABSExchangeKind::Copy : TABSExchangeKind::Integer;
  } else if (field.AdvancedType == adtSingle || field.AdvancedType == adtExtended) {
    exchange.EngineSize = sizeof(double);
  }
  return exchange;
}

void EngineToNative(const TABSFieldExchange& exchange, const uint8_t* engine, uint8_t* native) {
  switch (exchange.Kind) {
    case TABSExchangeKind::Copy:
    case TABSExchangeKind::WideText:
      CopyBytes(engine, exchange.EngineSize, native, exchange.NativeSize);
      break;
    case TABSExchangeKind::Integer:
      StoreInteger(native, exchange.NativeSize,
                   LoadInteger(engine, exchange.EngineSize, exchange.EngineSigned));
      break;
    case TABSExchangeKind::Date: {
      EngineDate date = 0;
      std::memcpy(&date, engine, sizeof date);
      const TDateTime value = EngineDateToDateTime(date);
      std::memcpy(native, &value, sizeof value);
      break;
    }
    case TABSExchangeKind::Time: {
      EngineTime time = 0;
      std::memcpy(&time, engine, sizeof time);
      const TDateTime value = EngineTimeToDateTime(time);
      std::memcpy(native, &value, sizeof value);
      break;
    }
    case TABSExchangeKind::DateTime: {
      EngineDateTime date_time{};
      std::memcpy(&date_time.date, engine, sizeof date_time.date);
      std::memcpy(&date_time.time, engine + sizeof date_time.date, sizeof date_time.time);
      const TDateTime value = EngineDateTimeToDateTime(date_time);
      std::memcpy(native, &value, sizeof value);
      break;
    }
    case TABSExchangeKind::Bytes:
      std::memcpy(native, engine, static_cast<size_t>(exchange.NativeSize));
      break;
    case TABSExchangeKind::VarBytes: {
      const auto length = static_cast<uint16_t>(exchange.EngineSize - 1);
      std::memcpy(native, &length, sizeof length);
      std::memcpy(native + sizeof length, engine, length);
      break;
    }
    case TABSExchangeKind::Blob:
      break;
  }
}

void NativeToEngine(const TABSFieldExchange& exchange, const uint8_t* native, uint8_t* engine) {
  switch (exchange.Kind) {
    case TABSExchangeKind::Copy:
    case TABSExchangeKind::WideText:
      CopyBytes(native, exchange.NativeSize, engine, exchange.EngineSize);
      break;
    case TABSExchangeKind::Integer: {
      const int64_t value = LoadInteger(native, exchange.NativeSize, exchange.NativeSigned);
      if (value < exchange.EngineMin || value > exchange.EngineMax) {
        CastFailed(bdtLargeInt, exchange.EngineType);
      }
      StoreInteger(engine, exchange.EngineSize, value);
      break;
    }
    case TABSExchangeKind::Date: {
      TDateTime value = 0;
      std::memcpy(&value, native, sizeof value);
      EngineDate date = 0;
      if (!TryDateTimeToEngineDate(value, date)) CastFailed(bdtFloat, bdtDate);
      std::memcpy(engine, &date, sizeof date);
      break;
    }
    case TABSExchangeKind::Time: {
      TDateTime value = 0;
      std::memcpy(&value, native, sizeof value);
      const EngineTime time = DateTimeToEngineTime(value);
      std::memcpy(engine, &time, sizeof time);
      break;
    }
    case TABSExchangeKind::DateTime: {
      TDateTime value = 0;
      std::memcpy(&value, native, sizeof value);
      EngineDateTime date_time{};
      if (!TryDateTimeToEngineDateTime(value, date_time)) CastFailed(bdtFloat, bdtDateTime);
      std::memcpy(engine, &date_time.date, sizeof date_time.date);
      std::memcpy(engine + sizeof date_time.date, &date_time.time, sizeof date_time.time);
      break;
    }
    case TABSExchangeKind::Bytes:
      std::memcpy(engine, native, static_cast<size_t>(exchange.NativeSize));
      engine[exchange.NativeSize] = 0;
      break;
    case TABSExchangeKind::VarBytes: {
      uint16_t length = 0;
      std::memcpy(&length, native, sizeof length);
      const auto room = static_cast<uint16_t>(exchange.EngineSize - 1);
      if (length > room) length = room;
      std::memset(engine, 0, static_cast<size_t>(exchange.EngineSize));
      std::memcpy(engine, native + sizeof length, length);
      break;
    }
    case TABSExchangeKind::Blob:
      break;
  }
}

}  // namespace tabshift
