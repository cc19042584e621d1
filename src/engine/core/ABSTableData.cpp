#include "engine/core/ABSTableData.h"

#include <mutex>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/disk/ABSPageManager.h"
#include "framework/Text.h"

namespace tabshift {

namespace {

constexpr int32_t kNoFields = 10131;
constexpr int32_t kNilRecordManager = 10015;
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

bool TABSTableData::PassesFilter(const TABSCursorState& cursor, const uint8_t* record) const {
  return !cursor.filter || cursor.filter(record);
}

void TABSTableData::MarkInFilterBitmap(TABSCursorState& cursor, const TABSRecordId& record_id,
                                       const uint8_t* record) {
  if (!cursor.filter_bitmap.Active()) return;
  const bool was_current = !cursor.filter_bitmap.IsStale(record_manager_->ChangeCounter() - 1);
  cursor.filter_bitmap.Mark(RecordIdToNumber(record_id),
                            record != nullptr && PassesFilter(cursor, record));
  if (was_current) cursor.filter_bitmap.MarkFilled(record_manager_->ChangeCounter());
}

void TABSTableData::ReadInOrder(TABSCursorState& cursor, TABSNavigationRequest& request) {
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  if (cursor.index_id < 0 || request.direction == TABSReadDirection::Current) {
    record_manager_->ReadRecord(cursor.session, request);
    return;
  }
  if (index_manager_ == nullptr) RaiseEngineError(kNilIndexManager, "Nil pointer occured");
  TABSIndex& index = index_manager_->GetIndex(cursor.index_id);
  std::vector<uint8_t> key(static_cast<size_t>(record_manager_->RecordSize()));
  if (!request.at_beginning && !request.at_end) {
    TABSNavigationRequest current;
    current.record_id = request.record_id;
    current.record_buffer = key.data();
    record_manager_->ReadRecord(cursor.session, current);
    if (current.result != TABSReadResult::Found) {
      request.result = TABSReadResult::NotFound;
      return;
    }
  }
  index.ReadRecordId(cursor.session, request, key.data());
  if (request.result != TABSReadResult::Found) return;
  TABSNavigationRequest fetch;
  fetch.record_id = request.record_id;
  fetch.record_buffer = request.record_buffer;
  record_manager_->ReadRecord(cursor.session, fetch);
  request.result = fetch.result;
}

TABSReadResult TABSTableData::NavigateRecord(TABSCursorState& cursor, TABSNavigateTo where) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  std::vector<uint8_t> record(static_cast<size_t>(record_manager_->RecordSize()));
  TABSNavigationRequest request;
  request.record_buffer = record.data();
  request.record_id = cursor.record_id;
  const bool forward = where == TABSNavigateTo::First || where == TABSNavigateTo::Next;
  request.direction = forward ? TABSReadDirection::Next : TABSReadDirection::Prior;
  request.at_beginning =
      where == TABSNavigateTo::First || (where != TABSNavigateTo::Last && cursor.at_beginning);
  request.at_end =
      where == TABSNavigateTo::Last || (where != TABSNavigateTo::First && cursor.at_end);
  for (;;) {
    ReadInOrder(cursor, request);
    if (request.result != TABSReadResult::Found || PassesFilter(cursor, record.data())) break;
    request.at_beginning = false;
    request.at_end = false;
  }
  switch (request.result) {
    case TABSReadResult::Found:
      cursor.record_id = request.record_id;
      cursor.at_beginning = false;
      cursor.at_end = false;
      if (cursor.record_buffer != nullptr) {
        std::copy(record.begin(), record.end(), cursor.record_buffer);
      }
      break;
    case TABSReadResult::Beginning:
      cursor.at_beginning = true;
      cursor.at_end = false;
      break;
    case TABSReadResult::End:
      cursor.at_end = true;
      cursor.at_beginning = false;
      break;
    case TABSReadResult::NotFound:
      break;
  }
  return request.result;
}

bool TABSTableData::LocateRecord(TABSCursorState& cursor,
                                 const std::function<bool(const uint8_t* record)>& matches) {
  std::lock_guard guard(DatabaseLock());
  TABSCursorState probe;
  probe.session = cursor.session;
  probe.index_id = cursor.index_id;
  probe.filter = [&](const uint8_t* record) {
    return PassesFilter(cursor, record) && matches(record);
  };
  probe.record_buffer = cursor.record_buffer;
  if (NavigateRecord(probe, TABSNavigateTo::First) != TABSReadResult::Found) return false;
  cursor.record_id = probe.record_id;
  cursor.at_beginning = false;
  cursor.at_end = false;
  return true;
}

bool TABSTableData::FindKey(TABSCursorState& cursor, const uint8_t* key) {
  std::lock_guard guard(DatabaseLock());
  if (cursor.index_id < 0 || index_manager_ == nullptr) return false;
  std::vector<int> field_nos;
  std::vector<bool> case_insensitive;
  for (const TABSIndexColumn& column :
       index_manager_->GetIndex(cursor.index_id).Definition().Columns) {
    field_nos.push_back(field_manager_->FieldDefs().FindByName(column.ColumnName));
    case_insensitive.push_back(column.CaseInsensitive);
  }
  return LocateRecord(cursor, [&](const uint8_t* record) {
    for (size_t i = 0; i < field_nos.size(); ++i) {
      const TABSVariant wanted = field_manager_->FieldValue(field_nos[i], key);
      const TABSVariant found = field_manager_->FieldValue(field_nos[i], record);
      if (wanted.IsNull() || found.IsNull()) {
        if (wanted.IsNull() != found.IsNull()) return false;
        continue;
      }
      if (found.Compare(wanted, case_insensitive[i]) != TABSCompareResult::Equal) return false;
    }
    return true;
  });
}

bool TABSTableData::FindNeighbour(TABSCursorState& cursor, TABSRecordId& found) {
  for (const TABSNavigateTo where : {TABSNavigateTo::Next, TABSNavigateTo::Prior}) {
    TABSCursorState probe;
    probe.session = cursor.session;
    probe.index_id = cursor.index_id;
    probe.filter = cursor.filter;
    probe.record_id = cursor.record_id;
    probe.at_beginning = false;
    probe.at_end = false;
    if (NavigateRecord(probe, where) == TABSReadResult::Found) {
      found = probe.record_id;
      return true;
    }
  }
  return false;
}

int64_t TABSTableData::FilteredRecordCount(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (!cursor.filter) return GetRecordCountUnfiltered(cursor);
  TABSCursorState probe;
  probe.session = cursor.session;
  probe.filter = cursor.filter;
  int64_t count = 0;
  for (auto where = TABSNavigateTo::First; NavigateRecord(probe, where) == TABSReadResult::Found;
       where = TABSNavigateTo::Next) {
    ++count;
  }
  return count;
}

bool TABSTableData::SetRecNo(TABSCursorState& cursor, int64_t record_no) {
  std::lock_guard guard(DatabaseLock());
  if (!cursor.filter && cursor.index_id < 0) return SetRecNoUnfiltered(cursor, record_no);
  if (record_no < 1) return false;
  TABSCursorState probe;
  probe.session = cursor.session;
  probe.index_id = cursor.index_id;
  probe.filter = cursor.filter;
  probe.record_buffer = cursor.record_buffer;
  auto where = TABSNavigateTo::First;
  for (int64_t n = 0; n < record_no; ++n, where = TABSNavigateTo::Next) {
    if (NavigateRecord(probe, where) != TABSReadResult::Found) return false;
  }
  cursor.record_id = probe.record_id;
  cursor.at_beginning = false;
  cursor.at_end = false;
  return true;
}

int64_t TABSTableData::GetRecNo(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (cursor.at_beginning || cursor.at_end) return -1;
  if (!cursor.filter && cursor.index_id < 0) return GetRecNoUnfiltered(cursor);
  TABSCursorState probe;
  probe.session = cursor.session;
  probe.index_id = cursor.index_id;
  probe.filter = cursor.filter;
  int64_t position = 0;
  for (auto where = TABSNavigateTo::First; NavigateRecord(probe, where) == TABSReadResult::Found;
       where = TABSNavigateTo::Next) {
    ++position;
    if (probe.record_id == cursor.record_id) return position;
  }
  return -1;
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
