// The local cursor's record operations: record buffers, navigation, searching, and posting and
// deleting with their checks that no other session changed the record meanwhile.
#include <cstring>
#include <mutex>

#include "engine/access/ABSBaseSession.h"
#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSMemory.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {

namespace {

constexpr int32_t kNilNavigate = 10040;
constexpr int32_t kNilPost = 10041;
constexpr int32_t kNilRecord = 10042;
constexpr int32_t kNilOldRecord = 10043;
constexpr int32_t kNilDelete = 10044;
constexpr int32_t kNilInitRecord = 10045;
constexpr int32_t kNilCopy = 10046;
constexpr int32_t kNilLocate = 10271;
constexpr int32_t kCopySourceFieldNo = 10501;
constexpr int32_t kCopyTargetFieldNo = 10502;
constexpr int32_t kListLengths = 10276;
constexpr int32_t kUnknownField = 10323;

int CompareIds(const TABSRecordId& left, const TABSRecordId& right) {
  if (left.page_no != right.page_no) return left.page_no < right.page_no ? -1 : 1;
  if (left.item_no != right.item_no) return left.item_no < right.item_no ? -1 : 1;
  return 0;
}

// NULL sorts before every value.
int CompareValues(const TABSVariant& left, const TABSVariant& right, bool case_insensitive) {
  if (left.IsNull() || right.IsNull()) {
    return left.IsNull() == right.IsNull() ? 0 : (left.IsNull() ? -1 : 1);
  }
  switch (left.Compare(right, case_insensitive)) {
    case TABSCompareResult::Less:
      return -1;
    case TABSCompareResult::Greater:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

void TABSLocalCursor::InitRecord(uint8_t* buffer, bool apply_defaults) {
  TABSTableData& table = Table(kNilInitRecord);
  if (buffer == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  FreeUnsavedBlobs(buffer);
  std::memset(buffer, 0, static_cast<size_t>(DataSize()));
  std::memset(buffer, 0xFF, static_cast<size_t>((field_defs_.Count() + 7) / 8));
  if (apply_defaults && !Temporary) {
    std::lock_guard guard(table.Database().Lock());
    table.FieldManager()->ApplyDefaultValues(buffer);
  }
  SetBufferRecordId(buffer, TABSRecordId(), kFlagInserted);
}

void TABSLocalCursor::FreeRecordBuffer(uint8_t*& buffer) {
  if (buffer == nullptr) return;
  if (table_data_ != nullptr) {
    FreeUnsavedBlobs(buffer);
    table_data_->ReleaseRecordBlobs(buffer);
  }
  MemoryManager().Free(buffer);
}

int64_t TABSLocalCursor::GetRecordCount() {
  TABSTableData& table = Table(kNilNavigate);
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  return table.FilteredRecordCount(state_);
}

TABSReadResult TABSLocalCursor::NavigateRecord(TABSGetRecordMode mode) {
  TABSTableData& table = Table(kNilNavigate);
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  TABSReadResult result = TABSReadResult::NotFound;
  if (mode != TABSGetRecordMode::Current) {
    result = table.NavigateRecord(
        state_, mode == TABSGetRecordMode::Next ? TABSNavigateTo::Next : TABSNavigateTo::Prior);
  } else if (state_.at_beginning) {
    result = TABSReadResult::Beginning;
  } else if (state_.at_end) {
    result = TABSReadResult::End;
  } else {
    TABSNavigationRequest request;
    request.record_id = state_.record_id;
    request.record_buffer = CurrentRecord;
    table.RecordManager()->ReadRecord(state_.session, request);
    result =
        request.result == TABSReadResult::Found ? TABSReadResult::Found : TABSReadResult::NotFound;
  }
  if (result == TABSReadResult::Found && CurrentRecord != nullptr) {
    SetBufferRecordId(CurrentRecord, state_.record_id, kFlagStored);
  }
  return result;
}

bool TABSLocalCursor::SetRecNo(int64_t record_no) {
  TABSTableData& table = Table(kNilNavigate);
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  if (!table.SetRecNo(state_, record_no)) return false;
  if (CurrentRecord != nullptr) SetBufferRecordId(CurrentRecord, state_.record_id, kFlagStored);
  return true;
}

int64_t TABSLocalCursor::GetRecNo() {
  TABSTableData& table = Table(kNilNavigate);
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  return table.GetRecNo(state_);
}

int TABSLocalCursor::CompareBookmarks(const uint8_t* left, const uint8_t* right) {
  const TABSRecordId left_id = ReadRecordId(left);
  const TABSRecordId right_id = ReadRecordId(right);
  const int by_index = state_.index_id >= 0 ? CompareByIndex(left_id, right_id) : 0;
  return by_index != 0 ? by_index : CompareIds(left_id, right_id);
}

int TABSLocalCursor::CompareByIndex(const TABSRecordId& left, const TABSRecordId& right) {
  TABSTableData& table = Table(kNilNavigate);
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  const TABSIndexDef* index = table.IndexManager()->IndexDefs().ItemByObjectID(state_.index_id);
  std::vector<uint8_t> left_record;
  std::vector<uint8_t> right_record;
  if (index == nullptr || !ReadStored(left, left_record) || !ReadStored(right, right_record)) {
    return 0;
  }
  const TABSBaseFieldManager& fields = *table.FieldManager();
  for (const TABSIndexColumn& column : index->Columns) {
    const int field_no = fields.FieldDefs().FindByName(column.ColumnName);
    if (field_no < 0) continue;
    const int order =
        CompareValues(fields.FieldValue(field_no, left_record.data()),
                      fields.FieldValue(field_no, right_record.data()), column.CaseInsensitive);
    if (order != 0) return column.Descending ? -order : order;
  }
  return 0;
}

void TABSLocalCursor::MoveToBeginning() {
  state_.at_beginning = true;
  state_.at_end = false;
}

void TABSLocalCursor::MoveToEnd() {
  state_.at_end = true;
  state_.at_beginning = false;
}

void TABSLocalCursor::PrepareInsert() {}

bool TABSLocalCursor::ReadStored(const TABSRecordId& record_id, std::vector<uint8_t>& record) {
  TABSBaseRecordManager* records = table_data_->RecordManager();
  if (records == nullptr || record_id.page_no < 0) return false;
  record.assign(static_cast<size_t>(records->RecordSize()), 0);
  TABSNavigationRequest request;
  request.record_id = record_id;
  request.record_buffer = record.data();
  records->ReadRecord(state_.session, request);
  return request.result == TABSReadResult::Found;
}

int32_t TABSLocalCursor::PostLockKind() const {
  return session_->InTransaction ? kLockInTransaction : kLockForWrite;
}

void TABSLocalCursor::ReleasePostLocks(bool release_record, const TABSRecordId& record_id) {
  const int32_t session = session_->SessionID;
  if (release_record) {
    table_data_->UnlockRecord(session, record_id);
    if (!session_->InTransaction) table_data_->UnlockTable(session, kLockForEdit);
  }
  if (!session_->InTransaction) table_data_->UnlockTable(session, kLockForWrite);
}

int32_t TABSLocalCursor::LockRecordForEdit() {
  SetResult(result_code::kOk);
  if (Temporary) {
    SetResult(result_code::kUpdateInTemporaryMode);
    return result_code_;
  }
  if (!SharedTable()) return result_code_;
  TABSTableData& table = Table(kNilPost);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  const int32_t kind = session_->InTransaction ? kLockInTransaction : kLockForEdit;
  if (!RetryTableLock(kind, kEditLockTries, kEditLockWait)) {
    SetResult(result_code::kTableLocked);
    return result_code_;
  }
  const TABSRecordId record_id = BufferRecordId(CurrentRecord);
  if (!RetryRecordLock(record_id)) {
    table.UnlockTable(state_.session, kind);
    SetResult(result_code::kRecordLocked);
    return result_code_;
  }
  std::vector<uint8_t> stored;
  if (!ReadStored(record_id, stored)) {
    SetResult(result_code::kUpdateDeletedByOther);
  } else if (!table.FieldManager()->CompareRecords(stored.data(), CurrentRecord)) {
    SetResult(result_code::kUpdateModifiedByOther);
  }
  if (result_code_ != result_code::kOk) {
    table.UnlockRecord(state_.session, record_id);
    table.UnlockTable(state_.session, kind);
  }
  return result_code_;
}

void TABSLocalCursor::CancelEdit(bool was_insert) {
  if (table_data_ == nullptr) return;
  std::lock_guard guard(table_data_->Database().Lock());
  PrepareState();
  FreeBlobs(true);
  if (CurrentRecord != nullptr) FreeUnsavedBlobs(CurrentRecord);
  if (SharedTable() && !was_insert && CurrentRecord != nullptr) {
    table_data_->UnlockRecord(state_.session, BufferRecordId(CurrentRecord));
    if (!session_->InTransaction) table_data_->UnlockTable(state_.session, kLockForEdit);
  }
}

int32_t TABSLocalCursor::PostRecord(bool insert) {
  TABSTableData& table = Table(kNilPost);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  SetResult(result_code::kOk);
  const bool shared = SharedTable();
  if (shared && !RetryTableLock(PostLockKind(), kPostLockTries, kPostLockWait)) {
    SetResult(result_code::kTableLocked);
    return result_code_;
  }
  const TABSRecordId record_id = BufferRecordId(CurrentRecord);
  try {
    result_code_ = insert ? InsertCurrent() : UpdateCurrent();
  } catch (...) {
    if (shared) ReleasePostLocks(!insert, record_id);
    throw;
  }
  if (shared) ReleasePostLocks(!insert && result_code_ != result_code::kCheckFailed, record_id);
  return result_code_;
}

bool TABSLocalCursor::PassesChecks(bool inserting, const TABSRecordId& record_id) {
  if (Temporary) return true;
  try {
    table_data_->CheckConstraints(state_.session, CurrentRecord, true, true, record_id, inserting,
                                  inserting ? nullptr : OldRecord);
  } catch (const Exception& failure) {
    SetResult(result_code::kCheckFailed, failure.Message());
    return false;
  }
  return true;
}

int32_t TABSLocalCursor::InsertCurrent() {
  TABSTableData& table = *table_data_;
  table.FieldManager()->AssignAutoincValues(state_.session, CurrentRecord);
  if (!PassesChecks(true, TABSRecordId())) return result_code::kCheckFailed;
  CloseWritableBlobs();
  state_.record_buffer = CurrentRecord;
  if (!table.InsertRecord(state_)) return result_code::kAddRecordError;
  KeepPostedBlobs();
  SetBufferRecordId(CurrentRecord, state_.record_id, kFlagInserted);
  return result_code::kOk;
}

int32_t TABSLocalCursor::UpdateCurrent() {
  TABSTableData& table = *table_data_;
  if (OldRecord == nullptr) RaiseEngineError(kNilOldRecord, "Nil pointer occured");
  const TABSRecordId record_id = BufferRecordId(CurrentRecord);
  if (!PassesChecks(false, record_id)) return result_code::kCheckFailed;
  CloseWritableBlobs();
  std::vector<uint8_t> stored;
  if (!ReadStored(record_id, stored)) return result_code::kUpdateDeletedByOther;
  if (!table.FieldManager()->CompareRecords(stored.data(), OldRecord)) {
    return result_code::kUpdateModifiedByOther;
  }
  state_.record_id = record_id;
  state_.record_buffer = CurrentRecord;
  if (!table.UpdateRecord(state_)) return result_code::kUpdateRecordError;
  KeepPostedBlobs();
  FreeReplacedBlobs(stored.data());
  return result_code::kOk;
}

int32_t TABSLocalCursor::DeleteRecord() {
  SetResult(result_code::kOk);
  if (Temporary) {
    SetResult(result_code::kDeleteInTemporaryMode);
    return result_code_;
  }
  TABSTableData& table = Table(kNilDelete);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  const bool shared = SharedTable();
  const TABSRecordId record_id = BufferRecordId(CurrentRecord);
  if (shared && !RetryTableLock(PostLockKind(), kEditLockTries, kEditLockWait)) {
    SetResult(result_code::kTableLocked);
    return result_code_;
  }
  if (shared && !RetryRecordLock(record_id)) {
    table.UnlockTable(state_.session, PostLockKind());
    SetResult(result_code::kRecordLocked);
    return result_code_;
  }
  const auto release = [&] {
    if (!shared) return;
    table.UnlockRecord(state_.session, record_id);
    if (!session_->InTransaction) table.UnlockTable(state_.session, kLockForWrite);
  };
  try {
    SetResult(DeleteCurrent());
  } catch (...) {
    release();
    throw;
  }
  release();
  return result_code_;
}

int32_t TABSLocalCursor::DeleteCurrent() {
  TABSTableData& table = *table_data_;
  const TABSRecordId record_id = BufferRecordId(CurrentRecord);
  std::vector<uint8_t> stored;
  if (!ReadStored(record_id, stored)) return result_code::kDeleteDeletedByOther;
  if (!table.FieldManager()->CompareRecords(stored.data(), CurrentRecord)) {
    return result_code::kDeleteModifiedByOther;
  }
  state_.record_id = record_id;
  // The table moves the cursor to a neighbour; the dataset reads it when it needs it.
  state_.record_buffer = nullptr;
  return table.DeleteRecord(state_) ? result_code::kOk : result_code::kDeleteRecordError;
}

bool TABSLocalCursor::RecordLockCheck() {
  if (!SharedTable()) return true;
  TABSTableData& table = Table(kNilPost);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  return table.RecordLockFree(session_->SessionID, BufferRecordId(CurrentRecord));
}

bool TABSLocalCursor::CheckRecord(bool raise) {
  TABSTableData& table = Table(kNilPost);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  return table.CheckConstraints(state_.session, CurrentRecord, true, raise, state_.record_id,
                                OldRecord == nullptr, OldRecord);
}

void TABSLocalCursor::SetFilter(TABSRecordFilter filter) {
  state_.filter = std::move(filter);
  state_.filter_bitmap.Invalidate();
  ResetPosition();
}

void TABSLocalCursor::ClearFilter() {
  state_.filter = nullptr;
  state_.filter_bitmap.Invalidate();
  ResetPosition();
}

bool TABSLocalCursor::Locate(const std::vector<std::string>& fields,
                             const std::vector<TABSVariant>& values, TABSLocateOptions options) {
  if (!opened_) {
    RaiseEngineError(kNilLocate, "Cannot perform LOCATE on a closed dataset");
  }
  if (fields.size() != values.size()) {
    RaiseEngineErrorFmt(kListLengths, "Error - different list lengths. L1 = %d, L2 = %d",
                        {static_cast<int64_t>(fields.size()), static_cast<int64_t>(values.size())});
  }
  std::vector<int> field_nos;
  for (const std::string& name : fields) {
    const int field_no = field_defs_.FindByName(name);
    if (field_no < 0) RaiseEngineErrorFmt(kUnknownField, "Cannot find field %s", {name});
    field_nos.push_back(field_no);
  }
  const TABSBaseFieldManager& manager = *table_data_->FieldManager();
  const int32_t prefix = options.PartialKey ? kPrefixOfRightText : 0;
  auto matches = [&](const uint8_t* record) {
    for (size_t i = 0; i < field_nos.size(); ++i) {
      const TABSVariant found = manager.FieldValue(field_nos[i], record);
      if (found.IsNull() || values[i].IsNull()) {
        if (found.IsNull() != values[i].IsNull()) return false;
        continue;
      }
      if (found.Compare(values[i], options.CaseInsensitive, prefix) != TABSCompareResult::Equal) {
        return false;
      }
    }
    return true;
  };
  std::lock_guard guard(table_data_->Database().Lock());
  PrepareState();
  if (!table_data_->LocateRecord(state_, matches)) return false;
  if (CurrentRecord != nullptr) SetBufferRecordId(CurrentRecord, state_.record_id, kFlagStored);
  return true;
}

bool TABSLocalCursor::LocateValue(const std::string& field, const TABSVariant& value,
                                  TABSLocateOptions options) {
  return Locate({field}, {value}, options);
}

bool TABSLocalCursor::FindKey(const uint8_t* key_record) {
  TABSTableData& table = Table(kNilNavigate);
  if (key_record == nullptr) RaiseEngineError(kNilRecord, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  if (!table.FindKey(state_, key_record)) return false;
  if (CurrentRecord != nullptr) SetBufferRecordId(CurrentRecord, state_.record_id, kFlagStored);
  return true;
}

void TABSLocalCursor::CopyFieldValue(int field_no, bool by_current_list, TABSCursor& other,
                                     int other_field_no) {
  const TABSFieldDefs& own_list = by_current_list ? field_defs_ : all_field_defs_;
  const TABSFieldDefs& other_list = by_current_list ? other.FieldDefs() : other.AllFieldDefs();
  if (field_no < 0 || field_no >= own_list.Count()) {
    RaiseEngineErrorFmt(kCopySourceFieldNo, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {field_no, own_list.Count()});
  }
  if (other_field_no < 0 || other_field_no >= other_list.Count()) {
    RaiseEngineErrorFmt(kCopyTargetFieldNo, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {other_field_no, other_list.Count()});
  }
  if (CurrentRecord == nullptr || other.CurrentRecord == nullptr) {
    RaiseEngineError(kNilCopy, "Nil pointer occured");
  }
  const TABSFieldDef& source = own_list.Item(field_no);
  const TABSFieldDef& target = other_list.Item(other_field_no);
  if (IsBaseBlobType(source.BaseType) && IsBaseBlobType(target.BaseType)) {
    CopyBlobValue(field_no, other, other_field_no);
  } else if (source.BaseType == target.BaseType && source.BufferSize == target.BufferSize) {
    std::memcpy(other.CurrentRecord + target.BufferOffset, CurrentRecord + source.BufferOffset,
                static_cast<size_t>(source.BufferSize));
    record_image::SetNull(other.CurrentRecord, other_field_no,
                          record_image::IsNull(CurrentRecord, field_no));
  } else {
    other.SetFieldValue(other_field_no, GetFieldValue(field_no));
  }
}

}  // namespace tabshift
