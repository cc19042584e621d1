#include "engine/core/ABSTableData.h"

#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/disk/ABSPageManager.h"
#include "framework/Text.h"

namespace tabshift {

namespace {

constexpr int32_t kNoFields = 10131;
constexpr int32_t kNilIndexManager = 10016;
constexpr int32_t kRenameOpenTable = 10150;
constexpr int32_t kDropOpenTable = 20017;
constexpr int32_t kRenameUnknownField = 30343;
constexpr int32_t kRenameToExistingField = 30344;

}  // namespace

TABSTableData::TABSTableData(TABSDatabaseData* database, std::string name)
    : database_(database), name_(std::move(name)) {
  database_->AddTableData(this);
}

TABSTableData::~TABSTableData() {
  database_->RemoveTableData(this);
}

platform::CriticalSection& TABSTableData::DatabaseLock() {
  return database_->Lock();
}

void TABSTableData::SetFieldDefs(const TABSFieldDefs& defs) {
  TABSFieldDefs numbered;
  numbered.Assign(defs);
  for (int i = 0; i < numbered.Count(); ++i) numbered.Item(i).ObjectID = database_->NextObjectId();
  field_manager_ = std::make_unique<TABSBaseFieldManager>(this);
  field_manager_->SetFieldDefs(numbered);
}

void TABSTableData::SetIndexDefs(const TABSIndexDefs& defs) {
  TABSIndexDefs numbered;
  numbered.Assign(defs);
  for (int i = 0; i < numbered.Count(); ++i) numbered.Item(i).ObjectID = database_->NextObjectId();
  index_manager_ =
      std::make_unique<TABSBaseIndexManager>(this, page_manager_.get(), page_manager_.get());
  index_manager_->CopyDefinitions(numbered);
}

void TABSTableData::SetConstraintDefs(const TABSConstraintDefs& defs) {
  constraint_manager_ = std::make_unique<TABSBaseConstraintManager>(this);
  constraint_manager_->SetConstraintDefs(defs);
}

void TABSTableData::GetRecordLayout(TABSCursorState& cursor) const {
  if (field_manager_ == nullptr || field_manager_->FieldDefs().Count() == 0) {
    RaiseEngineError(kNoFields, "Error creating table - no fields were specified");
  }
  cursor.record_buffer_size = field_manager_->RecordBufferSize();
  cursor.first_field_offset = field_manager_->FieldDefs().Item(0).BufferOffset;
}

void TABSTableData::ApplySessionChanges(int32_t session, bool in_transaction) {
  if (!in_transaction && page_manager_ != nullptr) page_manager_->CommitSessionPages(session);
}

void TABSTableData::DiscardSessionChanges(int32_t session, bool in_transaction) {
  if (!in_transaction && page_manager_ != nullptr) page_manager_->DiscardSessionPages(session);
}

bool TABSTableData::DropTable(TABSCursorState& cursor, bool force) {
  std::lock_guard guard(DatabaseLock());
  for (const TABSCursorState* attached : cursors_) {
    if (attached != &cursor && !force) {
      RaiseEngineErrorFmt(kDropOpenTable,
                          "Cannot delete table '%s'. Table is open by another dataset", {name_});
    }
  }
  return false;
}

void TABSTableData::EmptyTable(int32_t session) {
  std::lock_guard guard(DatabaseLock());
  if (field_manager_ != nullptr) field_manager_->ResetAutoincCounters();
  if (index_manager_ != nullptr) index_manager_->EmptyAllIndexes(session);
  // Emptying leaves the change counter as it was, so cursors could not tell on their own.
  ForgetFilteredOrders();
}

void TABSTableData::RenameTable(const std::string& new_name) {
  std::lock_guard guard(DatabaseLock());
  if (!cursors_.empty()) {
    RaiseEngineErrorFmt(kRenameOpenTable,
                        "Cannot rename table '%s'. Table is open by another dataset", {name_});
  }
  name_ = new_name;
}

void TABSTableData::AttachCursor(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  cursors_.push_back(&cursor);
}

void TABSTableData::DetachCursor(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  std::erase(cursors_, &cursor);
}

void TABSTableData::RenameField(const std::string& old_name, const std::string& new_name) {
  std::lock_guard guard(DatabaseLock());
  TABSFieldDefs& fields = field_manager_->FieldDefs();
  TABSFieldDef* field = fields.ItemByName(old_name);
  if (field == nullptr)
    RaiseEngineErrorFmt(kRenameUnknownField, "Field '%s' not found", {old_name});
  const TABSFieldDef* existing = fields.ItemByName(new_name);
  if (existing != nullptr && existing != field) {
    RaiseEngineErrorFmt(kRenameToExistingField,
                        "Cannot rename field '%s'. Field '%s' already exists",
                        {old_name, new_name});
  }
  field->Name = new_name;
  if (index_manager_ == nullptr) return;
  TABSIndexDefs& indexes = index_manager_->IndexDefs();
  for (int i = 0; i < indexes.Count(); ++i) {
    for (TABSIndexColumn& column : indexes.Item(i).Columns) {
      if (SameText(column.ColumnName, old_name)) column.ColumnName = new_name;
    }
  }
}

int32_t TABSTableData::AddIndex(TABSCursorState& cursor, const TABSIndexDef& definition) {
  std::lock_guard guard(DatabaseLock());
  if (index_manager_ == nullptr) RaiseEngineError(kNilIndexManager, "Nil pointer occured");
  const int32_t object_id = index_manager_->AddIndex(cursor.session, definition);
  if (!definition.Temporary && !cursor.skip_constraints && constraint_manager_ != nullptr) {
    constraint_manager_->AddIndexConstraint(object_id);
  }
  return object_id;
}

void TABSTableData::DropIndex(TABSCursorState& cursor, const std::string& index_name) {
  std::lock_guard guard(DatabaseLock());
  if (index_manager_ == nullptr) RaiseEngineError(kNilIndexManager, "Nil pointer occured");
  const TABSIndexDef* definition = index_manager_->IndexDefs().ItemByName(index_name);
  if (definition == nullptr) RaiseEngineError(20018, "Index not found");
  const int32_t object_id = definition->ObjectID;
  if (!definition->Temporary && constraint_manager_ != nullptr) {
    constraint_manager_->DropIndexConstraint(object_id);
  }
  if (cursor.index_id == object_id) cursor.index_id = -1;
  index_manager_->DropIndex(cursor.session, object_id);
}

void TABSTableData::ReleaseRecordBlobs(uint8_t*) {}

void TABSTableData::FreeBlob(uint8_t*, int) {}

void TABSTableData::FreeRecordBlobs(uint8_t* record) {
  if (field_manager_ == nullptr || !field_manager_->HasBlobFields()) return;
  for (int i = 0; i < field_manager_->FieldDefs().Count(); ++i) {
    if (field_manager_->IsBlobField(i)) FreeBlob(record, i);
  }
}

int64_t TABSTableData::GetLastAutoincValue(int32_t, int) {
  return 0;
}

void TABSTableData::RefreshSessionIndexes(int32_t session) {
  std::lock_guard guard(DatabaseLock());
  if (index_manager_ != nullptr) index_manager_->RefreshTemporaryIndexes(session);
}

bool TABSTableData::CheckConstraints(int32_t session, const uint8_t* record, bool check_keys,
                                     bool raise, const TABSRecordId& record_id, bool inserting,
                                     const uint8_t* first_read) {
  std::lock_guard guard(DatabaseLock());
  if (constraint_manager_ == nullptr) return true;
  return constraint_manager_->CheckConstraints(session, record, check_keys, raise, record_id,
                                               inserting, first_read);
}

TABSBlobStream::TABSBlobStream(std::unique_ptr<TABSStream> stored, bool is_new,
                               const TABSBLOBDescriptor& descriptor)
    : stored_(stored.get()),
      compressed_(
          std::make_unique<TABSCompressedBLOBStream>(std::move(stored), is_new, descriptor)) {}

TABSBlobStream::~TABSBlobStream() = default;

size_t TABSBlobStream::Read(void* buffer, size_t count) {
  return compressed_->Read(buffer, count);
}

size_t TABSBlobStream::Write(const void* buffer, size_t count) {
  modified_ = true;
  return compressed_->Write(buffer, count);
}

int64_t TABSBlobStream::Seek(int64_t offset, SeekOrigin origin) {
  return compressed_->Seek(offset, origin);
}

void TABSBlobStream::SetSize(int64_t size) {
  modified_ = true;
  compressed_->SetSize(size);
}

int64_t TABSBlobStream::Size() {
  return compressed_->Size();
}

}  // namespace tabshift
