#include "engine/access/ABSBaseCursor.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSBaseSession.h"
#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemory.h"
#include "engine/core/ABSTableData.h"
#include "framework/LittleEndian.h"

namespace tabshift {

namespace {

constexpr int32_t kInvalidFieldNoGet = 10005;
constexpr int32_t kInvalidFieldNoSet = 10006;
constexpr int32_t kInvalidFieldNo = 10317;
constexpr int32_t kInvalidFieldNoGetValue = 20191;
constexpr int32_t kInvalidFieldNoSetValue = 20192;
constexpr int32_t kInvalidFieldNoReadValue = 20193;
constexpr int32_t kNilRecord = 10034;
constexpr int32_t kNilFieldManager = 10035;
constexpr int32_t kUnknownField = 30345;
constexpr int32_t kFieldExists = 30346;
constexpr int32_t kUnsupportedType = 30007;

void RenameIn(TABSFieldDefs& fields, const std::string& old_name, const std::string& new_name) {
  TABSFieldDef* field = fields.ItemByName(old_name);
  if (field == nullptr) RaiseEngineErrorFmt(kUnknownField, "Field '%s' not found", {old_name});
  const TABSFieldDef* existing = fields.ItemByName(new_name);
  if (existing != nullptr && existing != field) {
    RaiseEngineErrorFmt(kFieldExists, "Cannot rename field '%s'. Field '%s' already exists",
                        {old_name, new_name});
  }
  field->Name = new_name;
}

// Text of at most `size` characters followed by a zero, in a zeroed area.
template <typename Char>
void StoreText(uint8_t* area, const std::basic_string<Char>& text, int32_t size) {
  const size_t length = std::min(text.size(), static_cast<size_t>(size));
  std::memcpy(area, text.data(), length * sizeof(Char));
}

}  // namespace

TABSCursor::TABSCursor(TABSBaseSession& session) : session_(&session) {}

TABSCursor::~TABSCursor() = default;

TABSDatabaseData* TABSCursor::DatabaseData() const {
  return table_data_ != nullptr ? &table_data_->Database() : session_->DatabaseData;
}

void TABSCursor::RenameField(const std::string& old_name, const std::string& new_name) {
  RenameIn(field_defs_, old_name, new_name);
  if (all_field_defs_.ItemByName(old_name) != nullptr) {
    RenameIn(all_field_defs_, old_name, new_name);
  }
}

void TABSCursor::SetIndexName(const std::string& name) {
  const TABSIndexDef* index = name.empty() ? nullptr : index_defs_.ItemByName(name);
  index_name_ = index != nullptr ? index->Name : std::string();
  state_.index_id = index != nullptr ? index->ObjectID : -1;
  position_cache_.Invalidate();
  RestorePosition({});
}

const TABSFieldDef& TABSCursor::FieldDefOf(int field_no, int32_t native_error) const {
  if (field_no < 0 || field_no >= field_defs_.Count()) {
    RaiseEngineErrorFmt(native_error, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {field_no, field_defs_.Count()});
  }
  if (table_data_ == nullptr || table_data_->FieldManager() == nullptr) {
    RaiseEngineError(kNilFieldManager, "Nil pointer occured");
  }
  return field_defs_.Item(field_no);
}

bool TABSCursor::GetFieldData(int field_no, void* value) const {
  FieldDefOf(field_no, kInvalidFieldNoGet);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  return table_data_->FieldManager()->GetFieldData(field_no, value, CurrentRecord);
}

void TABSCursor::SetFieldData(int field_no, const void* value) {
  FieldDefOf(field_no, kInvalidFieldNoSet);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  table_data_->FieldManager()->SetFieldData(field_no, value, CurrentRecord);
}

TABSVariant TABSCursor::GetFieldValue(int field_no) const {
  FieldDefOf(field_no, kInvalidFieldNoGetValue);
  return GetFieldValue(field_no, CurrentRecord);
}

TABSVariant TABSCursor::GetFieldValue(int field_no, const uint8_t* record) const {
  const TABSFieldDef& field = FieldDefOf(field_no, kInvalidFieldNoReadValue);
  if (record == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  if (IsBaseBlobType(field.BaseType)) {
    RaiseEngineErrorFmt(kUnsupportedType, "Unsupported data type '%s'",
                        {DataTypeName(field.AdvancedType)});
  }
  return table_data_->FieldManager()->FieldValue(field_no, record);
}

void TABSCursor::SetFieldValue(int field_no, const TABSVariant& value) {
  const TABSFieldDef& field = FieldDefOf(field_no, kInvalidFieldNoSetValue);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  if (IsBaseBlobType(field.BaseType)) {
    RaiseEngineErrorFmt(kUnsupportedType, "Unsupported data type '%s'",
                        {DataTypeName(field.AdvancedType)});
  }
  uint8_t* area = CurrentRecord + field.BufferOffset;
  bool has_value = !value.IsNull();
  if (has_value) {
    TABSVariant converted(value);
    converted.ConvertTo(field.BaseType);
    std::memset(area, 0, static_cast<size_t>(field.BufferSize));
    if (IsBaseWideType(field.BaseType)) {
      const std::u16string text = converted.GetAsWideString();
      has_value = !text.empty();
      StoreText(area, text, field.Size);
    } else if (IsBaseStringType(field.BaseType)) {
      const std::string text = converted.GetAsString();
      has_value = !text.empty();
      StoreText(area, text, field.Size);
    } else {
      has_value = converted.GetBuffer(area, field.BufferSize);
    }
  }
  record_image::SetNull(CurrentRecord, field_no, !has_value);
}

TABSCursorPosition TABSCursor::SavePosition() const {
  return {state_.record_id, state_.at_beginning, state_.at_end};
}

void TABSCursor::RestorePosition(const TABSCursorPosition& position) {
  state_.record_id = position.RecordId;
  state_.at_beginning = position.AtBeginning;
  state_.at_end = position.AtEnd;
}

uint8_t* TABSCursor::AllocateRecordBuffer() const {
  return MemoryManager().AllocateArray<uint8_t>(static_cast<size_t>(RecordBufferSize()), true);
}

TABSRecordId TABSCursor::BufferRecordId(const uint8_t* buffer) const {
  return ReadRecordId(buffer + RecordIdOffset());
}

void TABSCursor::SetBufferRecordId(uint8_t* buffer, const TABSRecordId& record_id,
                                   uint8_t flag) const {
  WriteRecordId(buffer + RecordIdOffset(), record_id);
  buffer[RecordIdOffset() + kRecordIdSize] = flag;
}

TABSRecordId TABSCursor::ReadRecordId(const uint8_t* bytes) {
  TABSRecordId record_id;
  record_id.page_no = GetLE<int32_t>(bytes);
  record_id.item_no = GetLE<int16_t>(bytes);
  return record_id;
}

void TABSCursor::WriteRecordId(uint8_t* bytes, const TABSRecordId& record_id) {
  PutLE(bytes, record_id.page_no);
  PutLE(bytes, record_id.item_no);
}

void TABSCursor::SetResult(int32_t code, std::string text) {
  result_code_ = code;
  result_text_ = std::move(text);
}

}  // namespace tabshift
