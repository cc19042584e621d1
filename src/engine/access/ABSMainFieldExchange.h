// How a field value crosses between the framework's native form (framework/Field.h) and the
// form in which an engine cursor exchanges field values. Most types share one form; the
// others are converted here: integers of other widths, dates and times (TDateTime against
// EngineDate, EngineTime and EngineDateTime), and byte fields, whose engine form holds one
// spare byte.
#pragma once

#include <cstdint>

#include "engine/access/ABSBaseFieldDefs.h"
#include "framework/FieldType.h"

namespace tabshift {

enum class TABSExchangeKind : uint8_t {
  Copy,      // the same bytes on both sides
  WideText,  // the same bytes; stored through a typed value, which keeps every 16-bit unit
  Integer,   // integers of different width or signedness
  Date,      // TDateTime against EngineDate
  Time,      // TDateTime against EngineTime
  DateTime,  // TDateTime against EngineDateTime
  Bytes,     // Size bytes against Size + 1
  VarBytes,  // uint16 length and Size bytes against Size + 1 zero-padded bytes
  Blob,      // no value bytes: BLOBs go through streams
};

struct TABSFieldExchange {
  TABSExchangeKind Kind = TABSExchangeKind::Copy;
  int32_t NativeSize = 0;
  int32_t EngineSize = 0;
  bool NativeSigned = true;
  bool EngineSigned = true;
  // Integers: the range of the engine field's base type.
  int64_t EngineMin = 0;
  int64_t EngineMax = 0;
  BaseDataType EngineType = bdtUnknown;
};

// The exchange between a framework field of `type` and `size` and the engine field.
TABSFieldExchange MakeFieldExchange(TFieldType type, int32_t size, const TABSFieldDef& field);

// Converts a value of the engine form (EngineSize bytes) into the native form (NativeSize
// bytes).
void EngineToNative(const TABSFieldExchange& exchange, const uint8_t* engine, uint8_t* native);
// Converts a native value into the engine form. A date or time the engine cannot hold raises
// "Cannot cast from '%s' to '%s'" (30051); an integer out of the engine field's range raises
// "Cannot cast from '%s' to '%s'" as well.
void NativeToEngine(const TABSFieldExchange& exchange, const uint8_t* native, uint8_t* engine);

}  // namespace tabshift
