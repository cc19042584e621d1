#include "engine/access/ABSMainDataSet.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalBLOBStream.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/access/ABSMainSession.h"
#include "engine/core/ABSMemory.h"
#include "framework/Stream.h"
#include "framework/Text.h"

namespace tabshift {

// A BLOB field's stream as the dataset hands it out: reads and writes go to the cursor's BLOB
// stream; destroying it closes the BLOB, which stores a changed value into the record buffer.
// When the record is stored, dropped or left first, the dataset closes the BLOB itself and the
// stream refuses further use.
class TABSDataSetBlobStream : public TStream {
 public:
  TABSDataSetBlobStream(TABSDataSet& dataset, TField& field, TABSLocalBLOBStream& blob)
      : dataset_(&dataset), field_(field), blob_(&blob) {}
  ~TABSDataSetBlobStream() override {
    if (dataset_ != nullptr) dataset_->BlobStreamClosed(this);
  }

  size_t Read(void* buffer, size_t count) override { return Blob().Read(buffer, count); }
  size_t Write(const void* buffer, size_t count) override { return Blob().Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return Blob().Seek(offset, origin); }
  void SetSize(int64_t size) override { Blob().SetSize(size); }
  int64_t Size() override { return Blob().Size(); }

  TField& Field() const { return field_; }
  TABSLocalBLOBStream* CursorStream() const { return blob_; }
  // The dataset closed the BLOB: the stream is of no further use.
  void Orphan() {
    dataset_ = nullptr;
    blob_ = nullptr;
  }

 private:
  TABSLocalBLOBStream& Blob() const {
    if (blob_ == nullptr) throw EStreamError("The BLOB stream was closed with its record");
    return *blob_;
  }

  TABSDataSet* dataset_;
  TField& field_;
  TABSLocalBLOBStream* blob_;
};

TABSDataSet::Attachment::Attachment(TABSDataSet& dataset, TABSAttachReason reason)
    : dataset_(dataset), reason_(reason) {
  dataset_.Attach(reason_);
}

TABSDataSet::Attachment::~Attachment() {
  dataset_.Detach(reason_);
}

TABSDataSet::TABSDataSet(TComponent* owner) : TDataSet(owner) {}

TABSDataSet::~TABSDataSet() {
  Close();
  if (Attached()) {
    attach_reasons_ = 0;
    DetachDatabase();
  }
}

std::string TABSDataSet::CurrentVersion() const {
  const int version = TABSDatabase::kEngineVersionHundredths;
  const int hundredths = version % 100;
  return std::to_string(version / 100) + "." + (hundredths < 10 ? "0" : "") +
         std::to_string(hundredths) + " ";
}

void TABSDataSet::SetDatabaseName(const std::string& name) {
  CheckInactive();
  if (Attached()) DatabaseError("Cannot perform this operation on an open database", this);
  database_name_ = name;
  in_memory_ = SameText(name, "MEMORY");
}

void TABSDataSet::SetSessionName(const std::string& name) {
  CheckInactive();
  session_name_ = name;
}

void TABSDataSet::SetInMemory(bool value) {
  if (value) SetDatabaseName("MEMORY");
  in_memory_ = value;
}

void TABSDataSet::SetReadOnly(bool value) {
  CheckInactive();
  read_only_ = value;
}

void TABSDataSet::Attach(TABSAttachReason reason) {
  const auto bit = static_cast<uint8_t>(1u << static_cast<unsigned>(reason));
  if (attach_reasons_ == 0) AttachDatabase();
  attach_reasons_ |= bit;
}

void TABSDataSet::Detach(TABSAttachReason reason) {
  const auto bit = static_cast<uint8_t>(1u << static_cast<unsigned>(reason));
  if ((attach_reasons_ & bit) == 0) return;
  attach_reasons_ &= static_cast<uint8_t>(~bit);
  if (attach_reasons_ == 0) DetachDatabase();
}

void TABSDataSet::AttachDatabase() {
  MoveDatabaseIntoItsSession();
  TABSSession& session = Sessions().GetSession(session_name_);
  TABSDatabase& database = session.OpenDatabase(database_name_, Owner());
  session_ = &session;
  database_ = &database;
  database_->AddDataSet(this);
}

void TABSDataSet::MoveDatabaseIntoItsSession() const {
  if (session_name_.empty() || database_name_.empty()) return;
  TABSSession* named = Sessions().FindSession(session_name_);
  if (named == nullptr || named->FindDatabase(database_name_) != nullptr) return;
  TABSDatabase* in_default = Sessions().DefaultSession()->FindDatabase(database_name_);
  if (in_default != nullptr && in_default->Session() != named) in_default->Attach();
}

void TABSDataSet::DetachDatabase() {
  TABSDatabase* database = database_;
  TABSSession* session = session_;
  database_ = nullptr;
  session_ = nullptr;
  if (database == nullptr) return;
  std::lock_guard guard(Sessions().SessionLock());
  database->RemoveDataSet(this);
  session->CloseDatabase(database);
}

std::unique_ptr<TABSCursor> TABSDataSet::MakeCursor(const std::string& table_name) const {
  TABSBaseSession* engine_session = database_->EngineSession();
  if (engine_session == nullptr) RaiseEngineError(20001, "Error creating table handle");
  auto cursor = std::make_unique<TABSLocalCursor>(*engine_session);
  cursor->TableName = table_name;
  cursor->InMemory = in_memory_;
  cursor->Temporary = Temporary();
  cursor->KeepTempInMemory = KeepTempInMemory();
  return cursor;
}

bool TABSDataSet::KeepTempInMemory() const {
  if (in_memory_) return true;
  return database_ != nullptr && !database_->Temporary() && database_->DisableTempFiles();
}

void TABSDataSet::AddPersistentFieldDefs() {
  if (Active()) return;
  for (int i = 0; i < Fields().Count(); ++i) {
    const TField& field = Fields()[i];
    if (FieldDefs().IndexOf(field.FieldName()) >= 0) continue;
    FieldDefs().Add(field.FieldName(), field.DataType(), field.Size(), field.Required());
  }
}

void TABSDataSet::BuildOpenDefinitions() {
  engine_defs_.Fields.Clear();
  engine_defs_.Indexes.Clear();
  engine_defs_.Constraints.Clear();
  if (!in_memory_ && !Temporary()) return;
  if (FieldDefs().Count() > 0) {
    FieldDefsToAdvFieldDefs(FieldDefs(), adv_field_defs_);
  } else {
    TFieldDefs rebuilt;
    for (const TABSAdvFieldDef& field : adv_field_defs_) {
      rebuilt.Add(field.Name, AdvancedToFramework(field.DataType), field.Size, field.Required);
    }
    FieldDefs() = rebuilt;
  }
  if (!index_defs_.empty()) IndexDefsToAdvIndexDefs(index_defs_, adv_index_defs_);
  BuildEngineDefinitions(FieldDefs(), adv_field_defs_, adv_index_defs_, Temporary(), engine_defs_);
}

void TABSDataSet::LoadFieldDefsFromCursor(TABSCursor& cursor) {
  cursor.LoadFieldDefs();
  EngineDefsToFieldDefs(cursor.FieldDefs(), cursor.ConstraintDefs(), FieldDefs());
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    if (FieldDefs()[i].DataType == ftGuid) FieldDefs()[i].Size = kGuidSize;
  }
  EngineDefsToAdvFieldDefs(cursor.FieldDefs(), cursor.ConstraintDefs(), adv_field_defs_);
  saved_adv_field_defs_ = adv_field_defs_;
}

void TABSDataSet::LoadIndexDefsFromCursor(TABSCursor& cursor) {
  EngineDefsToAdvIndexDefs(cursor.GetIndexDefs(), adv_index_defs_);
  saved_adv_index_defs_ = adv_index_defs_;
  AdvIndexDefsToIndexDefs(adv_index_defs_, index_defs_);
}

void TABSDataSet::CheckActive() const {
  if (!Active()) RaiseEngineError(native_error::kDataSetNotOpened, "Dataset is not opened");
}

void TABSDataSet::CheckCanModify() const {
  if (!CanModify())
    RaiseEngineError(native_error::kDataSetReadOnly, "Dataset is in read only mode");
}

void TABSDataSet::CheckEditing() const {
  if (State() != dsEdit && State() != dsInsert) {
    RaiseEngineError(native_error::kDataSetNotEditing, "Dataset is not in insert or edit mode");
  }
}

void TABSDataSet::CheckFieldWrite(const TField&) const {
  CheckActive();
  CheckCanModify();
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields) {
    RaiseEngineError(native_error::kFieldWriteNotEditing, "Dataset not in edit or insert mode");
  }
}

void TABSDataSet::CheckBlobWrite(const TField&) const {
  if (!CanModify()) {
    RaiseEngineError(native_error::kBlobWriteReadOnly, "Dataset is in read only mode");
  }
  if (State() != dsEdit && State() != dsInsert) {
    RaiseEngineError(native_error::kBlobWriteNotEditing, "Dataset not in edit or insert mode");
  }
}

void TABSDataSet::InternalOpen() {
  if (database_name_.empty()) DatabaseError("DatabaseName property is blank", this);
  // Stays attached while the cursor is open.
  Attach(TABSAttachReason::CursorOpen);
  try {
    cursor_ = OpenTableCursor();
    cursor_read_only_ = cursor_->ReadOnly;
    LoadIndexDefsFromCursor(*cursor_);
    SelectIndex();
    LoadFieldDefsFromCursor(*cursor_);
    CreateFields();
    PrepareFieldExchanges();
    SetBookmarkSize(kBookmarkSize);
    for (uint8_t*& buffer : spare_buffers_) buffer = cursor_->AllocateRecordBuffer();
  } catch (...) {
    FreeSpareBuffers();
    if (cursor_ != nullptr) {
      cursor_->CloseTable();
      cursor_.reset();
    }
    cursor_read_only_ = false;
    Detach(TABSAttachReason::CursorOpen);
    throw;
  }
}

void TABSDataSet::PrepareFieldExchanges() {
  const TABSFieldDefs& engine_fields = cursor_->FieldDefs();
  exchanges_.assign(static_cast<size_t>(engine_fields.Count()), TABSFieldExchange{});
  size_t scratch = 0;
  for (int i = 0; i < Fields().Count(); ++i) {
    const TField& field = Fields()[i];
    const int field_no = CursorFieldNo(field);
    if (field_no < 0 || field_no >= engine_fields.Count()) continue;
    const TABSFieldExchange exchange =
        MakeFieldExchange(field.DataType(), field.Size(), engine_fields.Item(field_no));
    exchanges_[static_cast<size_t>(field_no)] = exchange;
    scratch = std::max(scratch, static_cast<size_t>(std::max(exchange.EngineSize, 0)));
  }
  exchange_scratch_.assign(scratch, 0);
}

void TABSDataSet::InternalClose() {
  for (TABSDataSetBlobStream* stream : blob_streams_) stream->Orphan();
  blob_streams_.clear();
  blob_error_ = nullptr;
  FreeSpareBuffers();
  FreeOldRecord();
  adv_field_defs_.clear();
  saved_adv_field_defs_.clear();
  adv_index_defs_.clear();
  saved_adv_index_defs_.clear();
  engine_defs_.Fields.Clear();
  engine_defs_.Indexes.Clear();
  engine_defs_.Constraints.Clear();
  exchanges_.clear();
  if (cursor_ != nullptr) {
    cursor_->CloseTable();
    cursor_.reset();
  }
  cursor_read_only_ = false;
  Detach(TABSAttachReason::CursorOpen);
}

void TABSDataSet::FreeOldRecord() {
  if (old_record_ != nullptr) MemoryManager().Free(old_record_);
}

void TABSDataSet::FreeSpareBuffers() {
  for (uint8_t*& buffer : spare_buffers_) {
    if (buffer != nullptr) MemoryManager().Free(buffer);
  }
}

size_t TABSDataSet::RecordSize() const {
  return static_cast<size_t>(cursor_->RecordBufferSize());
}

TRecordBuffer TABSDataSet::AllocRecordBuffer() {
  return cursor_->AllocateRecordBuffer();
}

void TABSDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  cursor_->FreeRecordBuffer(buffer);
}

void TABSDataSet::InternalInitRecord(TRecordBuffer buffer) {
  cursor_->InitRecord(buffer, true);
}

TGetResult TABSDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) {
  if (!blob_streams_.empty()) CloseBlobStreams();
  if (next_is_current_ && mode == gmNext) mode = gmCurrent;
  next_is_current_ = false;
  cursor_->CurrentRecord = buffer;
  const TABSReadResult result = cursor_->NavigateRecord(static_cast<TABSGetRecordMode>(mode));
  switch (result) {
    case TABSReadResult::Found:
      return grOK;
    case TABSReadResult::Beginning:
      return mode == gmCurrent ? grEOF : grBOF;
    case TABSReadResult::End:
      return grEOF;
    default:
      if (do_check) {
        RaiseEngineError(native_error::kCannotRetrieveRecord, "Cannot retrieve record");
      }
      return grError;
  }
}

void TABSDataSet::InternalFirst() {
  next_is_current_ = false;
  cursor_->MoveToBeginning();
}

void TABSDataSet::InternalLast() {
  next_is_current_ = false;
  cursor_->MoveToEnd();
}

void TABSDataSet::GetBookmarkData(const uint8_t* buffer, uint8_t* data) const {
  std::memcpy(data, buffer + cursor_->RecordIdOffset(), kBookmarkSize);
}

void TABSDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
  next_is_current_ = false;
  TABSCursorPosition position;
  position.RecordId = TABSCursor::ReadRecordId(bookmark);
  position.AtBeginning = false;
  position.AtEnd = false;
  cursor_->RestorePosition(position);
}

int TABSDataSet::GetRecordCount() {
  if (!Active()) return 0;
  return static_cast<int>(cursor_->GetRecordCount());
}

bool TABSDataSet::GetFieldData(const TField& field, void* buffer) {
  const int field_no = CursorFieldNo(field);
  cursor_->CurrentRecord = ActiveBuffer();
  if (buffer == nullptr) return cursor_->GetFieldData(field_no, nullptr);
  const TABSFieldExchange& exchange = exchanges_[static_cast<size_t>(field_no)];
  if ((exchange.Kind == TABSExchangeKind::Copy || exchange.Kind == TABSExchangeKind::WideText) &&
      exchange.NativeSize == exchange.EngineSize) {
    return cursor_->GetFieldData(field_no, buffer);
  }
  if (!cursor_->GetFieldData(field_no, exchange_scratch_.data())) return false;
  EngineToNative(exchange, exchange_scratch_.data(), static_cast<uint8_t*>(buffer));
  return true;
}

void TABSDataSet::SetFieldData(const TField& field, const void* buffer) {
  const int field_no = CursorFieldNo(field);
  cursor_->CurrentRecord = ActiveBuffer();
  const TABSFieldExchange& exchange = exchanges_[static_cast<size_t>(field_no)];
  if (buffer == nullptr ||
      (exchange.Kind == TABSExchangeKind::Copy && exchange.NativeSize == exchange.EngineSize)) {
    cursor_->SetFieldData(field_no, buffer);
    return;
  }
  if (exchange.Kind == TABSExchangeKind::WideText) {
    // The text is cut to the field's size when it is stored.
    const auto* units = static_cast<const char16_t*>(buffer);
    TABSVariant value(bdtWideString);
    value.SetAsWideString(std::u16string_view(units, std::char_traits<char16_t>::length(units)));
    cursor_->SetFieldValue(field_no, value);
    return;
  }
  NativeToEngine(exchange, static_cast<const uint8_t*>(buffer), exchange_scratch_.data());
  cursor_->SetFieldData(field_no, exchange_scratch_.data());
}

std::unique_ptr<TStream> TABSDataSet::InternalCreateBlobStream(TField& field,
                                                               TBlobStreamMode mode) {
  static constexpr TABSBlobOpenMode kEngineModes[] = {
      TABSBlobOpenMode::Read, TABSBlobOpenMode::Write, TABSBlobOpenMode::ReadWrite};
  cursor_->CurrentRecord = ActiveBuffer();
  const TDataSetState state = State();
  TABSLocalBLOBStream* blob =
      cursor_->OpenBlob(state == dsInsert, state == dsEdit, state == dsBrowse,
                        kEngineModes[static_cast<int>(mode)], CursorFieldNo(field));
  if (blob == nullptr)
    RaiseEngineError(native_error::kCannotRetrieveRecord, "Cannot retrieve record");
  if (mode == bmWrite) blob->SetSize(0);
  auto stream = std::make_unique<TABSDataSetBlobStream>(*this, field, *blob);
  blob_streams_.push_back(stream.get());
  return stream;
}

void TABSDataSet::BlobStreamClosed(TABSDataSetBlobStream* stream) {
  blob_streams_.erase(std::remove(blob_streams_.begin(), blob_streams_.end(), stream),
                      blob_streams_.end());
  TABSLocalBLOBStream* blob = stream->CursorStream();
  const bool changed = blob->Writable() && blob->Modified();
  try {
    cursor_->CurrentRecord = ActiveBuffer();
    cursor_->CloseBlob(blob->FieldNo());
    if (changed) NotifyFieldChanged(stream->Field());
  } catch (...) {
    // A stream is closed by its destructor, which cannot raise: the failure fails the Post.
    blob_error_ = std::current_exception();
  }
}

void TABSDataSet::CloseBlobStreams() {
  while (!blob_streams_.empty()) {
    TABSDataSetBlobStream* stream = blob_streams_.back();
    BlobStreamClosed(stream);
    stream->Orphan();
  }
}

void TABSDataSet::RaisePendingBlobError() {
  if (blob_error_ == nullptr) return;
  const std::exception_ptr error = blob_error_;
  blob_error_ = nullptr;
  std::rethrow_exception(error);
}

void TABSDataSet::InternalInsert(bool) {
  if (!read_only_) cursor_->PrepareInsert();
}

void TABSDataSet::InternalEdit() {
  FreeOldRecord();
  old_record_ = cursor_->AllocateRecordBuffer();
  std::memcpy(old_record_, ActiveBuffer(), RecordSize());
  cursor_->CurrentRecord = ActiveBuffer();
  cursor_->OldRecord = old_record_;
  const int32_t code = cursor_->LockRecordForEdit();
  if (code != result_code::kOk) {
    FreeOldRecord();
    cursor_->OldRecord = nullptr;
    CheckResultCode(code, cursor_->ResultText());
  }
}

void TABSDataSet::InternalPost(bool inserting) {
  CloseBlobStreams();
  RaisePendingBlobError();
  cursor_->CurrentRecord = ActiveBuffer();
  cursor_->OldRecord = inserting ? nullptr : old_record_;
  const int32_t code = cursor_->PostRecord(inserting);
  CheckResultCode(code, cursor_->ResultText());
  if (!inserting) {
    cursor_->OldRecord = nullptr;
    FreeOldRecord();
  }
}

void TABSDataSet::InternalCancel(bool inserting) {
  for (TABSDataSetBlobStream* stream : blob_streams_) stream->Orphan();
  blob_streams_.clear();
  blob_error_ = nullptr;
  cursor_->CurrentRecord = ActiveBuffer();
  cursor_->FreeBlobs(false);
  cursor_->CancelEdit(inserting);
  cursor_->OldRecord = nullptr;
  FreeOldRecord();
}

void TABSDataSet::InternalDelete() {
  const bool has_next = HasNextRecord();
  cursor_->CurrentRecord = ActiveBuffer();
  const int32_t code = cursor_->DeleteRecord();
  CheckResultCode(code, cursor_->ResultText());
  // The engine leaves the cursor on the record that followed the deleted one (or, after the
  // last, on the one before it); the next read forward must give that record itself.
  next_is_current_ = has_next;
}

bool TABSDataSet::HasNextRecord() {
  const TABSCursorPosition position = cursor_->SavePosition();
  cursor_->CurrentRecord = spare_buffers_[kProbeBuffer];
  const bool found = cursor_->NavigateRecord(TABSGetRecordMode::Next) == TABSReadResult::Found;
  cursor_->RestorePosition(position);
  return found;
}

}  // namespace tabshift
