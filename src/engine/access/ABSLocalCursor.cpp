// The local cursor's table-level operations: creating, dropping, emptying, renaming, opening
// and closing the table, its definitions and indexes, and the locks.
#include "engine/access/ABSLocalCursor.h"

#include <mutex>

#include "engine/access/ABSBaseSession.h"
#include "engine/access/ABSExcept.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSTableData.h"
#include "framework/Text.h"
#include "platform/System.h"

namespace tabshift {

namespace {

constexpr int32_t kNilDatabase = 10036;
constexpr int32_t kNilLoadFields = 10037;
constexpr int32_t kNilRenameField = 10038;
constexpr int32_t kNilIndexes = 10039;
constexpr int32_t kNilLock = 10260;
constexpr int32_t kNilUnlock = 10261;
constexpr int32_t kNilLockTable = 20221;
constexpr int32_t kNilUnlockTable = 20222;
constexpr int32_t kDropMissingTable = 20132;
constexpr int32_t kEmptyMissingTable = 20133;
constexpr int32_t kRenameMissingTable = 20134;
constexpr int32_t kNilDropTable = 10027;
constexpr int32_t kNilOpenTable = 10028;
constexpr int32_t kNilEmptyTable = 10073;
constexpr int32_t kNilRenameTable = 10151;
constexpr int32_t kRenameToExisting = 30451;
constexpr int32_t kRenameIntoItself = 30452;
constexpr int32_t kIndexNotFound = 20021;
constexpr int32_t kIndexExists = 20022;

}  // namespace

TABSLocalCursor::TABSLocalCursor(TABSBaseSession& session) : TABSCursor(session) {}

TABSLocalCursor::~TABSLocalCursor() {
  try {
    CloseTable();
  } catch (...) {
    // Destruction must not throw; the table data forgets the cursor in any case below.
  }
}

TABSDatabaseData& TABSLocalCursor::Database() const {
  TABSDatabaseData* database = DatabaseData();
  if (database == nullptr) RaiseEngineError(kNilDatabase, "Nil pointer occured");
  return *database;
}

TABSTableData& TABSLocalCursor::Table(int32_t native_error) const {
  if (table_data_ == nullptr) RaiseEngineError(native_error, "Nil pointer occured");
  return *table_data_;
}

bool TABSLocalCursor::InProcessDatabase() const {
  return !Database().IsDiskDatabase();
}

bool TABSLocalCursor::SharedTable() const {
  return session_->MultiUser && !InProcessDatabase();
}

void TABSLocalCursor::PrepareState() {
  state_.session = session_->SessionID;
  state_.table_name = TableName;
  state_.record_buffer = CurrentRecord;
  state_.in_transaction = session_->InTransaction;
  state_.memory_only = KeepTempInMemory;
}

TABSTableData* TABSLocalCursor::ExistingTableData() {
  PrepareState();
  TABSTableData* table = Database().FindTableData(state_);
  // A table stored in a file has no table data until it is first used.
  if (table == nullptr && !InProcessDatabase() && session_->TableExists(TableName)) {
    table = &Database().GetTableData(state_);
  }
  return table;
}

void TABSLocalCursor::CreateTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                                  const TABSConstraintDefs& constraints) {
  CloseTable();
  TABSDatabaseData& database = Database();
  std::lock_guard guard(database.Lock());
  if (ExistingTableData() != nullptr) DeleteTable();
  PrepareState();
  TABSTableData& table = database.GetTableData(state_);
  try {
    table.CreateTable(state_, fields, indexes, constraints);
  } catch (...) {
    // A table that could not be made must not stay behind half made.
    if (InProcessDatabase()) table.DropTable(state_, true);
    CloseTable();
    throw;
  }
}

void TABSLocalCursor::DeleteTable() {
  CloseTable();
  std::lock_guard guard(Database().Lock());
  if (!session_->TableExists(TableName)) {
    RaiseEngineErrorFmt(kDropMissingTable, "Table '%s' not found", {TableName});
  }
  TABSTableData* table = ExistingTableData();
  if (table == nullptr) {
    RaiseEngineErrorFmt(kNilDropTable, "Table not found, table name = %s", {TableName});
  }
  if (const TABSBaseFieldManager* fields = table->FieldManager(); fields != nullptr) {
    for (int i = 0; i < fields->FieldDefs().Count(); ++i) {
      session_->RemoveNamedValue(fields->FieldDefs().Item(i).ObjectID);
    }
  }
  table->DropTable(state_, false);
}

void TABSLocalCursor::EmptyTable() {
  CloseTable();
  std::lock_guard guard(Database().Lock());
  if (!session_->TableExists(TableName)) {
    RaiseEngineErrorFmt(kEmptyMissingTable, "Table '%s' not found", {TableName});
  }
  TABSTableData* table = ExistingTableData();
  if (table == nullptr) {
    RaiseEngineErrorFmt(kNilEmptyTable, "Table not found, table name = %s", {TableName});
  }
  table->EmptyTable(session_->SessionID);
}

void TABSLocalCursor::RenameTable(const std::string& new_name) {
  CloseTable();
  std::lock_guard guard(Database().Lock());
  if (!session_->TableExists(TableName)) {
    RaiseEngineErrorFmt(kRenameMissingTable, "Table '%s' not found", {TableName});
  }
  if (!SameText(new_name, TableName) && session_->TableExists(new_name)) {
    RaiseEngineErrorFmt(kRenameToExisting, "Table %s already exists", {new_name});
  }
  if (new_name == TableName) {
    RaiseEngineErrorFmt(kRenameIntoItself, "Cannot rename table '%s' into itself", {TableName});
  }
  TABSTableData* table = ExistingTableData();
  if (table == nullptr) {
    RaiseEngineErrorFmt(kNilRenameTable, "Table not found, table name = %s", {TableName});
  }
  table->RenameTable(new_name);
  TableName = new_name;
}

void TABSLocalCursor::LoadFieldDefs() {
  TABSTableData& table = Table(kNilLoadFields);
  std::lock_guard guard(table.Database().Lock());
  if (table.FieldManager() == nullptr) RaiseEngineError(kNilLoadFields, "Nil pointer occured");
  field_defs_.Assign(table.FieldManager()->FieldDefs());
  all_field_defs_.Assign(field_defs_);
  for (int i = 0; i < all_field_defs_.Count(); ++i) all_field_defs_.Item(i).FieldNo = i;
  data_size_ = field_defs_.ComputeOffsets().BufferSize;
  all_field_defs_.ComputeOffsets();
  if (table.ConstraintManager() != nullptr) {
    constraint_defs_.Assign(table.ConstraintManager()->ConstraintDefs());
  }
}

void TABSLocalCursor::OpenTable(const TABSFieldDefs&, const TABSIndexDefs&,
                                const TABSConstraintDefs&) {
  if (opened_) return;
  TABSDatabaseData& database = Database();
  std::lock_guard guard(database.Lock());
  PrepareState();
  TABSTableData* table = database.FindTableData(state_);
  if (table == nullptr) {
    if (InProcessDatabase()) {
      RaiseEngineErrorFmt(kNilOpenTable, "Table not found, table name = %s", {TableName});
    }
    table = &database.CreateTableData(state_);
  }
  table->AttachCursor(state_);
  table_data_ = table;
  try {
    LoadFieldDefs();
    RefreshDefinitions();
  } catch (...) {
    CloseTable();
    throw;
  }
  open_blobs_.clear();
  state_.filter_bitmap = TABSRecordBitmap();
  ResetPosition();
  opened_ = true;
}

void TABSLocalCursor::CloseTable() {
  open_blobs_.clear();
  if (table_data_ != nullptr) {
    FreeUnsavedBlobs(nullptr);
    table_data_->DetachCursor(state_);
  }
  table_data_ = nullptr;
  opened_ = false;
  state_.filter = nullptr;
  state_.filter_bitmap = TABSRecordBitmap();
  state_.index_id = -1;
  index_name_.clear();
  field_defs_.Clear();
  all_field_defs_.Clear();
  index_defs_.Clear();
  constraint_defs_.Clear();
  data_size_ = 0;
  ResetPosition();
}

void TABSLocalCursor::ResetPosition() {
  position_cache_.Invalidate();
  RestorePosition({});
}

void TABSLocalCursor::Lock() {
  Table(kNilLock).Database().Lock().Enter();
}

void TABSLocalCursor::Unlock() {
  Table(kNilUnlock).Database().Lock().Leave();
}

bool TABSLocalCursor::LockTable(int32_t kind, int32_t tries, int32_t wait_milliseconds) {
  Table(kNilLockTable);
  return !SharedTable() || RetryTableLock(kind, tries, wait_milliseconds);
}

void TABSLocalCursor::UnlockTable(int32_t kind) {
  TABSTableData& table = Table(kNilUnlockTable);
  if (SharedTable()) table.UnlockTable(session_->SessionID, kind);
}

bool TABSLocalCursor::RetryTableLock(int32_t kind, int32_t tries, int32_t wait_milliseconds) {
  platform::CriticalSection& lock = table_data_->Database().Lock();
  std::lock_guard guard(lock);
  for (int32_t attempt = 1;; ++attempt) {
    if (table_data_->TryLockTable(session_->SessionID, kind)) return true;
    if (attempt >= tries) return false;
    // Other sessions of this process may need the table data to let the lock go.
    lock.Leave();
    platform::SleepMilliseconds(static_cast<uint32_t>(wait_milliseconds));
    lock.Enter();
  }
}

bool TABSLocalCursor::RetryRecordLock(const TABSRecordId& record_id) {
  platform::CriticalSection& lock = table_data_->Database().Lock();
  std::lock_guard guard(lock);
  for (int32_t attempt = 1;; ++attempt) {
    if (table_data_->TryLockRecord(session_->SessionID, record_id)) return true;
    if (attempt >= kRecordLockTries) return false;
    lock.Leave();
    platform::SleepMilliseconds(kRecordLockWait);
    lock.Enter();
  }
}

void TABSLocalCursor::RenameField(const std::string& old_name, const std::string& new_name) {
  TABSTableData& table = Table(kNilRenameField);
  std::lock_guard guard(table.Database().Lock());
  table.RenameField(old_name, new_name);
  LoadFieldDefs();
  RefreshDefinitions();
}

void TABSLocalCursor::RefreshDefinitions() {
  TABSTableData& table = Table(kNilIndexes);
  std::lock_guard guard(table.Database().Lock());
  if (table.IndexManager() != nullptr) index_defs_.Assign(table.IndexManager()->IndexDefs());
  if (table.ConstraintManager() != nullptr) {
    constraint_defs_.Assign(table.ConstraintManager()->ConstraintDefs());
  }
  const TABSIndexDef* current = index_defs_.ItemByObjectID(state_.index_id);
  if (current == nullptr) state_.index_id = -1;
  index_name_ = current != nullptr ? current->Name : std::string();
}

const TABSIndexDefs& TABSLocalCursor::GetIndexDefs() {
  RefreshDefinitions();
  return index_defs_;
}

void TABSLocalCursor::AddIndex(const TABSIndexDef& definition) {
  TABSTableData& table = Table(kNilIndexes);
  std::lock_guard guard(table.Database().Lock());
  RefreshDefinitions();
  if (index_defs_.ItemByName(definition.Name) != nullptr) {
    RaiseEngineErrorFmt(kIndexExists, "Cannot create index '%s'. Index already exists",
                        {definition.Name});
  }
  PrepareState();
  table.AddIndex(state_, definition);
  RefreshDefinitions();
}

void TABSLocalCursor::DropIndex(const std::string& name) {
  TABSTableData& table = Table(kNilIndexes);
  std::lock_guard guard(table.Database().Lock());
  RefreshDefinitions();
  if (index_defs_.ItemByName(name) == nullptr) {
    RaiseEngineErrorFmt(kIndexNotFound, "Cannot delete index '%s'. Index not found", {name});
  }
  PrepareState();
  table.DropIndex(state_, name);
  RefreshDefinitions();
}

void TABSLocalCursor::DropAllIndexes() {
  TABSTableData& table = Table(kNilIndexes);
  std::lock_guard guard(table.Database().Lock());
  RefreshDefinitions();
  std::vector<std::string> names;
  for (int i = 0; i < index_defs_.Count(); ++i) {
    const TABSIndexDef& index = index_defs_.Item(i);
    // Temporary indexes of other sessions serve their cursors.
    if (!index.Temporary || index.OwnerSessionID == session_->SessionID) {
      names.push_back(index.Name);
    }
  }
  PrepareState();
  for (const std::string& name : names) table.DropIndex(state_, name);
  RefreshDefinitions();
}

bool TABSLocalCursor::FindIndexForFields(const std::vector<TABSIndexColumn>& columns,
                                         std::string* index_name) const {
  for (int i = 0; i < index_defs_.Count(); ++i) {
    const TABSIndexDef& index = index_defs_.Item(i);
    if (index.Temporary && index.OwnerSessionID != session_->SessionID) continue;
    if (columns.empty() || index.Columns.size() < columns.size()) continue;
    bool matches = true;
    for (size_t c = 0; c < columns.size() && matches; ++c) {
      const TABSIndexColumn& have = index.Columns[c];
      matches = UpperCase(have.ColumnName) == UpperCase(columns[c].ColumnName) &&
                have.Descending == columns[c].Descending &&
                have.CaseInsensitive == columns[c].CaseInsensitive;
    }
    if (!matches) continue;
    if (index_name != nullptr) *index_name = index.Name;
    return true;
  }
  return false;
}

bool TABSLocalCursor::HasIndexForFields(const std::vector<TABSIndexColumn>& columns) {
  RefreshDefinitions();
  return FindIndexForFields(columns, nullptr);
}

std::string TABSLocalCursor::CreateIndexForFields(const std::vector<TABSIndexColumn>& columns) {
  TABSTableData& table = Table(kNilIndexes);
  std::lock_guard guard(table.Database().Lock());
  if (table.IndexManager() == nullptr) RaiseEngineError(kNilIndexes, "Nil pointer occured");
  PrepareState();
  const int32_t object_id = table.IndexManager()->FindOrAddSortIndex(state_.session, columns);
  table.ApplySessionChanges(state_.session, state_.in_transaction);
  RefreshDefinitions();
  return index_defs_.ItemByObjectID(object_id)->Name;
}

void TABSLocalCursor::SetIndexForFields(const std::vector<TABSIndexColumn>& columns) {
  SetIndexName(CreateIndexForFields(columns));
}

int64_t TABSLocalCursor::GetLastAutoincValue(int field_no) {
  TABSTableData& table = Table(kNilLoadFields);
  std::lock_guard guard(table.Database().Lock());
  return table.GetLastAutoincValue(session_->SessionID, field_no);
}

void TABSLocalCursor::BeginBatch() {
  if (!session_->InTransaction) batch_ = true;
}

void TABSLocalCursor::CommitBatch() {
  if (!session_->InTransaction && batch_ && !InProcessDatabase()) {
    Table(kNilLoadFields).ApplySessionChanges(session_->SessionID, false);
  }
  batch_ = false;
}

void TABSLocalCursor::RollbackBatch() {
  if (!session_->InTransaction && batch_ && !InProcessDatabase()) {
    Table(kNilLoadFields).DiscardSessionChanges(session_->SessionID, false);
  }
  batch_ = false;
}

}  // namespace tabshift
