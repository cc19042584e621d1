#include "engine/core/ABSFieldManager.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSBaseMetaStream.h"
#include "engine/access/ABSExcept.h"
#include "engine/access/ABSExtended.h"

namespace tabshift {

namespace {

constexpr int32_t kInvalidFieldNoGet = 10000;
constexpr int32_t kNilValueArea = 10001;
constexpr int32_t kInvalidFieldNoSet = 10004;
constexpr int32_t kNoSessionValue = 30012;
constexpr int32_t kCounterFieldNotFound = 30402;
constexpr int32_t kCounterNotFound = 30403;
// The counters share their codes with the list counts and the autoincrement items of the
// stored field definitions.
constexpr int32_t kWriteCounterCount = 10158;
constexpr int32_t kReadCounterCount = 10159;
constexpr int32_t kWriteCounter = 30412;
constexpr int32_t kReadCounter = 30407;

bool IsAutoinc(const TABSFieldDef& field) {
  return IsAdvancedAutoincType(field.AdvancedType);
}

// The bytes of zero-terminated text before its terminator, at most the field's room for it.
size_t TextByteLength(const TABSFieldDef& field, const uint8_t* text) {
  if (!IsAdvancedWideType(field.AdvancedType)) {
    return strnlen(reinterpret_cast<const char*>(text), static_cast<size_t>(field.BufferSize - 1));
  }
  const size_t room = static_cast<size_t>(field.BufferSize / 2 - 1);
  size_t units = 0;
  while (units < room && (text[2 * units] != 0 || text[2 * units + 1] != 0)) ++units;
  return 2 * units;
}

}  // namespace

void TABSBaseFieldManager::SetFieldDefs(const TABSFieldDefs& defs) {
  field_defs_.Assign(defs);
  LayOut();
}

void TABSBaseFieldManager::LayOut() {
  field_defs_.ComputeOffsets();
  ResetAutoincCounters();
}

void TABSBaseFieldManager::LoadFromStream(TStream& stream) {
  try {
    field_defs_.LoadFromStream(stream);
  } catch (...) {
    LayOut();
    throw;
  }
  LayOut();
}

void TABSBaseFieldManager::SaveToStream(TStream& stream) const {
  field_defs_.SaveToStream(stream);
}

void TABSBaseFieldManager::SaveAutoincCounters(TStream& stream) const {
  TABSMetaWriter writer(stream);
  writer.WriteInt32(static_cast<int32_t>(autoinc_counters_.size()), kWriteCounterCount);
  for (const int64_t counter : autoinc_counters_) writer.WriteInt64(counter, kWriteCounter);
}

void TABSBaseFieldManager::LoadAutoincCounters(TStream& stream) {
  TABSMetaReader reader(stream);
  const int32_t count = reader.ReadCount(kReadCounterCount);
  if (count != field_defs_.Count()) {
    RaiseEngineErrorFmt(kCounterNotFound, "Field #%d not found",
                        {std::min(count, field_defs_.Count())});
  }
  std::vector<int64_t> counters(static_cast<size_t>(count));
  for (int64_t& counter : counters) counter = reader.ReadInt64(kReadCounter);
  autoinc_counters_ = std::move(counters);
}

void TABSBaseFieldManager::ResetAutoincCounters() {
  autoinc_counters_.assign(static_cast<size_t>(field_defs_.Count()), 0);
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    if (IsAutoinc(field)) autoinc_counters_[static_cast<size_t>(i)] = field.AutoincInitialValue;
  }
}

int32_t TABSBaseFieldManager::RecordBufferSize() const {
  int32_t size = NullBitmapSize();
  for (int i = 0; i < field_defs_.Count(); ++i) size += field_defs_.Item(i).BufferSize;
  return size;
}

int32_t TABSBaseFieldManager::StoredRecordSize() const {
  int32_t size = NullBitmapSize();
  for (int i = 0; i < field_defs_.Count(); ++i) size += field_defs_.Item(i).StoredSize;
  return size;
}

bool TABSBaseFieldManager::IsBlobField(int field_no) const {
  return IsBaseBlobType(field_defs_.Item(field_no).BaseType);
}

bool TABSBaseFieldManager::HasBlobFields() const {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    if (IsBlobField(i)) return true;
  }
  return false;
}

void TABSBaseFieldManager::CheckFieldNo(int field_no, int32_t native_error) const {
  if (field_no < 0 || field_no >= field_defs_.Count()) {
    RaiseEngineErrorFmt(native_error, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {field_no, field_defs_.Count()});
  }
}

bool TABSBaseFieldManager::GetFieldData(int field_no, void* value, const uint8_t* record) const {
  CheckFieldNo(field_no, kInvalidFieldNoGet);
  if (record == nullptr) RaiseEngineError(kNilValueArea, "Nil pointer occured");
  if (record_image::IsNull(record, field_no)) return false;
  const TABSFieldDef& field = field_defs_.Item(field_no);
  if (value == nullptr || IsBaseBlobType(field.BaseType)) return true;
  const uint8_t* source = record + field.BufferOffset;
  switch (field.AdvancedType) {
    case adtShortInt: {
      const auto widened = static_cast<int16_t>(static_cast<int8_t>(source[0]));
      std::memcpy(value, &widened, sizeof widened);
      break;
    }
    case adtCardinal: {
      uint32_t narrow = 0;
      std::memcpy(&narrow, source, sizeof narrow);
      const uint64_t widened = narrow;
      std::memcpy(value, &widened, sizeof widened);
      break;
    }
    case adtSingle: {
      float narrow = 0;
      std::memcpy(&narrow, source, sizeof narrow);
      const double widened = narrow;
      std::memcpy(value, &widened, sizeof widened);
      break;
    }
    case adtExtended: {
      Extended80 stored{};
      std::memcpy(&stored, source, sizeof stored);
      const double widened = ExtendedToDouble(stored);
      std::memcpy(value, &widened, sizeof widened);
      break;
    }
    default:
      std::memcpy(value, source, static_cast<size_t>(field.BufferSize));
  }
  return true;
}

void TABSBaseFieldManager::SetFieldData(int field_no, const void* value, uint8_t* record) const {
  CheckFieldNo(field_no, kInvalidFieldNoSet);
  if (record == nullptr) RaiseEngineError(kNilValueArea, "Nil pointer occured");
  const TABSFieldDef& field = field_defs_.Item(field_no);
  const auto* bytes = static_cast<const uint8_t*>(value);
  const bool empty_text = bytes != nullptr && IsAdvancedStringType(field.AdvancedType) &&
                          TextByteLength(field, bytes) == 0;
  if (bytes == nullptr || empty_text) {
    record_image::SetNull(record, field_no, true);
    return;
  }
  uint8_t* target = record + field.BufferOffset;
  switch (field.AdvancedType) {
    case adtShortInt: {
      int16_t wide = 0;
      std::memcpy(&wide, bytes, sizeof wide);
      target[0] = static_cast<uint8_t>(static_cast<int8_t>(wide));
      break;
    }
    case adtCardinal: {
      uint64_t wide = 0;
      std::memcpy(&wide, bytes, sizeof wide);
      const auto narrow = static_cast<uint32_t>(wide);
      std::memcpy(target, &narrow, sizeof narrow);
      break;
    }
    case adtSingle: {
      double wide = 0;
      std::memcpy(&wide, bytes, sizeof wide);
      const auto narrow = static_cast<float>(wide);
      std::memcpy(target, &narrow, sizeof narrow);
      break;
    }
    case adtExtended: {
      double wide = 0;
      std::memcpy(&wide, bytes, sizeof wide);
      const Extended80 stored = DoubleToExtended(wide);
      std::memcpy(target, &stored, sizeof stored);
      break;
    }
    default:
      if (IsAdvancedStringType(field.AdvancedType)) {
        // Text is zero-terminated within the field: copy no further than its terminator, a zero
        // byte for 8-bit text and a zero 16-bit unit for wide text.
        std::memset(target, 0, static_cast<size_t>(field.BufferSize));
        std::memcpy(target, bytes, TextByteLength(field, bytes));
      } else {
        std::memcpy(target, bytes, static_cast<size_t>(field.BufferSize));
      }
  }
  record_image::SetNull(record, field_no, false);
}

void TABSBaseFieldManager::BufferToStored(const uint8_t* buffer, uint8_t* stored) const {
  std::memset(stored, 0, static_cast<size_t>(StoredRecordSize()));
  std::memcpy(stored, buffer, static_cast<size_t>(NullBitmapSize()));
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    std::memcpy(stored + field.StoredOffset, buffer + field.BufferOffset,
                static_cast<size_t>(field.StoredSize));
  }
}

void TABSBaseFieldManager::StoredToBuffer(const uint8_t* stored, uint8_t* buffer) const {
  std::memset(buffer, 0, static_cast<size_t>(RecordBufferSize()));
  std::memcpy(buffer, stored, static_cast<size_t>(NullBitmapSize()));
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    std::memcpy(buffer + field.BufferOffset, stored + field.StoredOffset,
                static_cast<size_t>(field.StoredSize));
  }
}

bool TABSBaseFieldManager::CompareRecords(const uint8_t* left, const uint8_t* right) const {
  if (std::memcmp(left, right, static_cast<size_t>(NullBitmapSize())) != 0) return false;
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    if (std::memcmp(left + field.BufferOffset, right + field.BufferOffset,
                    static_cast<size_t>(field.BufferSize)) != 0) {
      return false;
    }
  }
  return true;
}

TABSVariant TABSBaseFieldManager::FieldValue(int field_no, const uint8_t* record) const {
  const TABSFieldDef& field = field_defs_.Item(field_no);
  TABSVariant value(field.BaseType);
  if (record_image::IsNull(record, field_no)) return value;
  const uint8_t* data = record + field.BufferOffset;
  int32_t size = field.BufferSize;
  if (IsBaseWideType(field.BaseType)) {
    // 16-bit text up to and with its terminating zero.
    int32_t units = 0;
    while (units + 1 < field.BufferSize / 2 && (data[units * 2] != 0 || data[units * 2 + 1] != 0)) {
      ++units;
    }
    size = (units + 1) * 2;
  } else if (IsBaseStringType(field.BaseType)) {
    size = static_cast<int32_t>(
        strnlen(reinterpret_cast<const char*>(data), static_cast<size_t>(field.BufferSize)));
  }
  value.SetBuffer(data, size, true, field.BaseType);
  return value;
}

void TABSBaseFieldManager::CheckCounter(int field_no, int32_t native_error) const {
  if (field_no < 0 || field_no >= field_defs_.Count() ||
      static_cast<size_t>(field_no) >= autoinc_counters_.size()) {
    RaiseEngineErrorFmt(native_error, "Field #%d not found", {field_no});
  }
}

int64_t TABSBaseFieldManager::NextAutoincValue(int field_no) {
  CheckCounter(field_no, kCounterFieldNotFound);
  int64_t& counter = autoinc_counters_[static_cast<size_t>(field_no)];
  counter = field_defs_.Item(field_no).NextAutoincValue(counter);
  return counter;
}

int64_t TABSBaseFieldManager::TakeAutoincValue(int32_t session, int field_no) {
  const int64_t value = NextAutoincValue(field_no);
  session_values_[{session, field_defs_.Item(field_no).ObjectID}] = value;
  return value;
}

int64_t TABSBaseFieldManager::SessionAutoincValue(int32_t session, int field_no,
                                                  bool demand_session_value) const {
  CheckCounter(field_no, kCounterNotFound);
  const TABSFieldDef& field = field_defs_.Item(field_no);
  const auto found = session_values_.find({session, field.ObjectID});
  if (found != session_values_.end()) return found->second;
  if (demand_session_value) {
    RaiseEngineErrorFmt(kNoSessionValue,
                        "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first",
                        {field.Name});
  }
  return IsAutoinc(field) ? autoinc_counters_[static_cast<size_t>(field_no)] : 0;
}

void TABSBaseFieldManager::AssignAutoincValues(int32_t session, uint8_t* record) {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    if (!IsAutoinc(field)) continue;
    const auto size = static_cast<size_t>(field.BufferSize);
    if (record_image::IsNull(record, i)) {
      const int64_t value = TakeAutoincValue(session, i);
      std::memcpy(record + field.BufferOffset, &value, size);
      record_image::SetNull(record, i, false);
      continue;
    }
    uint64_t given = 0;
    std::memcpy(&given, record + field.BufferOffset, size);
    const auto value = static_cast<int64_t>(given);
    if (value > autoinc_counters_[static_cast<size_t>(i)]) {
      autoinc_counters_[static_cast<size_t>(i)] = value;
      session_values_[{session, field.ObjectID}] = value;
    }
  }
}

void TABSBaseFieldManager::ApplyDefaultValues(uint8_t* record) const {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TABSFieldDef& field = field_defs_.Item(i);
    if (IsBaseBlobType(field.BaseType) || field.DefaultValue.IsNull()) continue;
    TABSVariant value(field.DefaultValue);
    value.ConvertTo(field.BaseType);
    uint8_t* target = record + field.BufferOffset;
    std::memset(target, 0, static_cast<size_t>(field.BufferSize));
    value.GetBuffer(target, field.BufferSize);
    record_image::SetNull(record, i, false);
  }
}

}  // namespace tabshift
