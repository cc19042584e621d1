#include "engine/core/ABSMemEngine.h"

#include <mutex>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {

namespace {

constexpr int32_t kNilInsertManager = 10010;
constexpr int32_t kNilInsertBuffer = 10018;
constexpr int32_t kNilDeleteManager = 10013;
constexpr int32_t kNilUpdateManager = 10014;
constexpr int32_t kNilUpdateBuffer = 10017;
// The memory engine gives every session the id 0.
constexpr int32_t kMemorySession = 0;

}  // namespace

TABSMemoryTableData::TABSMemoryTableData(TABSDatabaseData* database, std::string name)
    : TABSInProcessTableData(database, std::move(name)) {
  engine_flag_ = 1;
  page_manager_ = std::make_unique<TABSMemoryPageManager>();
}

TABSMemoryTableData::~TABSMemoryTableData() {
  try {
    if (record_manager_ != nullptr) ClearTable(kAllSessions);
    if (index_manager_ != nullptr) index_manager_->DropAllIndexes(kMemorySession);
    ApplySessionChanges(kMemorySession, false);
  } catch (...) {
    // Destruction must not throw; the blocks of the managers are freed below all the same.
  }
  index_manager_.reset();
  record_manager_.reset();
  for (uint8_t*& block : blob_blocks_) MemoryManager().Free(block);
}

TABSMemoryRecordManager& TABSMemoryTableData::MemoryRecords() {
  return static_cast<TABSMemoryRecordManager&>(*record_manager_);
}

void TABSMemoryTableData::CreateRecordManager() {
  record_manager_ = std::make_unique<TABSMemoryRecordManager>(field_manager_->RecordBufferSize(),
                                                              kRecordGrowthStep);
}

void TABSMemoryTableData::ClearTable(int32_t session) {
  TABSTableData::EmptyTable(session);
  if (record_manager_ == nullptr) return;
  FreeStoredBlobs();
  record_manager_->ClearRecords(kAllSessions);
  ApplySessionChanges(kMemorySession, false);
}

void TABSMemoryTableData::EmptyTable(int32_t session) {
  std::lock_guard guard(DatabaseLock());
  ClearTable(session);
}

void TABSMemoryTableData::FreeStoredBlobs() {
  if (!field_manager_->HasBlobFields() || record_manager_->RecordCount() == 0) return;
  TABSMemoryRecordManager& records = MemoryRecords();
  for (int64_t slot = records.LowestSlot(); slot <= records.HighestSlot(); ++slot) {
    if (!records.IsDeleted(slot)) FreeRecordBlobs(records.Slot(slot));
  }
}

void TABSMemoryTableData::AttachCursor(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (!cursor.table_name.empty()) name_ = cursor.table_name;
  TABSTableData::AttachCursor(cursor);
}

int32_t TABSMemoryTableData::AddIndex(TABSCursorState& cursor, const TABSIndexDef& definition) {
  std::lock_guard guard(DatabaseLock());
  const int32_t object_id = TABSTableData::AddIndex(cursor, definition);
  ApplySessionChanges(cursor.session, cursor.in_transaction);
  return object_id;
}

void TABSMemoryTableData::DropIndex(TABSCursorState& cursor, const std::string& index_name) {
  std::lock_guard guard(DatabaseLock());
  TABSTableData::DropIndex(cursor, index_name);
  ApplySessionChanges(cursor.session, cursor.in_transaction);
}

int64_t TABSMemoryTableData::RecordIdToNumber(const TABSRecordId& record_id) const {
  return record_id.page_no;
}

TABSRecordId TABSMemoryTableData::NumberToRecordId(int64_t number) const {
  return {static_cast<int32_t>(number), 0};
}

void TABSMemoryTableData::ReadIntoCursor(TABSCursorState& cursor) {
  TABSNavigationRequest request;
  request.record_id = cursor.record_id;
  request.record_buffer = cursor.record_buffer;
  record_manager_->ReadRecord(cursor.session, request);
}

bool TABSMemoryTableData::InsertRecord(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilInsertManager, "Nil pointer occured");
  if (cursor.record_buffer == nullptr) RaiseEngineError(kNilInsertBuffer, "Nil pointer occured");
  TABSRecordId record_id;
  if (!record_manager_->AddRecord(cursor.session, cursor.record_buffer, record_id)) return false;
  try {
    index_manager_->InsertRecord(cursor.session, cursor.record_buffer, record_id);
  } catch (...) {
    // A record no index knows would be unreachable in index order: take it back out.
    record_manager_->RemoveRecord(cursor.session, record_id);
    throw;
  }
  index_manager_->BumpVersionStamps();
  cursor.record_id = record_id;
  MarkInFilterBitmap(cursor, record_id, cursor.record_buffer);
  cursor.at_beginning = false;
  cursor.at_end = false;
  ApplySessionChanges(cursor.session, cursor.in_transaction);
  return true;
}

bool TABSMemoryTableData::UpdateRecord(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilUpdateManager, "Nil pointer occured");
  if (cursor.record_buffer == nullptr) RaiseEngineError(kNilUpdateBuffer, "Nil pointer occured");
  std::vector<uint8_t> old_record(static_cast<size_t>(record_manager_->RecordSize()));
  TABSNavigationRequest request;
  request.record_id = cursor.record_id;
  request.record_buffer = old_record.data();
  record_manager_->ReadRecord(cursor.session, request);
  if (request.result != TABSReadResult::Found) return false;
  index_manager_->DeleteRecord(cursor.session, old_record.data(), cursor.record_id);
  if (!record_manager_->ReplaceRecord(cursor.session, cursor.record_buffer, cursor.record_id)) {
    index_manager_->InsertRecord(cursor.session, old_record.data(), cursor.record_id);
    return false;
  }
  try {
    index_manager_->InsertRecord(cursor.session, cursor.record_buffer, cursor.record_id);
  } catch (...) {
    record_manager_->ReplaceRecord(cursor.session, old_record.data(), cursor.record_id);
    index_manager_->InsertRecord(cursor.session, old_record.data(), cursor.record_id);
    throw;
  }
  index_manager_->BumpVersionStamps();
  MarkInFilterBitmap(cursor, cursor.record_id, cursor.record_buffer);
  ApplySessionChanges(cursor.session, cursor.in_transaction);
  return true;
}

bool TABSMemoryTableData::DeleteRecord(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilDeleteManager, "Nil pointer occured");
  std::vector<uint8_t> stored(static_cast<size_t>(record_manager_->RecordSize()));
  TABSNavigationRequest request;
  request.record_id = cursor.record_id;
  request.record_buffer = stored.data();
  record_manager_->ReadRecord(cursor.session, request);
  if (request.result != TABSReadResult::Found) return false;
  TABSRecordId neighbour;
  const bool has_neighbour = FindNeighbour(cursor, neighbour);
  index_manager_->DeleteRecord(cursor.session, stored.data(), cursor.record_id);
  TABSRecordId removed = cursor.record_id;
  if (!record_manager_->RemoveRecord(cursor.session, removed)) {
    index_manager_->InsertRecord(cursor.session, stored.data(), cursor.record_id);
    return false;
  }
  index_manager_->BumpVersionStamps();
  // The stored record's BLOBs go with it; the cursor's buffer may hold other, unsaved ones.
  FreeRecordBlobs(stored.data());
  MarkInFilterBitmap(cursor, cursor.record_id, nullptr);
  if (has_neighbour) {
    cursor.record_id = neighbour;
    cursor.at_beginning = false;
    cursor.at_end = false;
    if (cursor.record_buffer != nullptr) ReadIntoCursor(cursor);
  } else {
    cursor.at_beginning = true;
    cursor.at_end = false;
  }
  ApplySessionChanges(cursor.session, cursor.in_transaction);
  return true;
}

bool TABSMemoryTableData::SetRecNoUnfiltered(TABSCursorState& cursor, int64_t record_no) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) return false;
  const int64_t slot = MemoryRecords().SlotOfRecordNo(record_no);
  if (slot < 0) return false;
  cursor.record_id = NumberToRecordId(slot);
  cursor.at_beginning = false;
  cursor.at_end = false;
  if (cursor.record_buffer != nullptr) ReadIntoCursor(cursor);
  return true;
}

int64_t TABSMemoryTableData::GetRecNoUnfiltered(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr || cursor.at_beginning || cursor.at_end) return -1;
  return MemoryRecords().RecordNoOfSlot(cursor.record_id.page_no);
}

int64_t TABSMemoryTableData::GetLastAutoincValue(int32_t session, int field_no) {
  std::lock_guard guard(DatabaseLock());
  return field_manager_->SessionAutoincValue(session, field_no);
}

TABSMemoryDatabaseData::TABSMemoryDatabaseData() : TABSInProcessDatabaseData("MEMORY") {}

TABSTableData& TABSMemoryDatabaseData::CreateTableData(const TABSCursorState& cursor) {
  std::lock_guard guard(Lock());
  return *new TABSMemoryTableData(this, cursor.table_name);
}

}  // namespace tabshift
