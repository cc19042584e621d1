#include "framework/DataSet.h"

#include "framework/Exception.h"
#include "framework/Format.h"
#include "framework/Stream.h"

namespace tabshift {

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

// The concrete dataset has closed itself; only what needs no hook is left to free.
TDataSet::~TDataSet() = default;

void TDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    OpenCursor();
  } else {
    CloseCursor();
  }
}

void TDataSet::OpenCursor() {
  InternalOpen();
  try {
    CreateFields();
    buffers_[0] = AllocRecordBuffer();
    buffers_[1] = AllocRecordBuffer();
    active_ = 0;
    SetState(dsBrowse);
    First();
  } catch (...) {
    SetState(dsInactive);
    SetEmpty();
    FreeBuffers();
    InternalClose();
    if (default_fields_) fields_.Clear();
    default_fields_ = false;
    throw;
  }
}

void TDataSet::CloseCursor() {
  // A pending edit or insert is dropped; the record need not be read again.
  if (state_ == dsEdit || state_ == dsInsert) InternalCancel(state_ == dsInsert);
  modified_ = false;
  FreeBuffers();
  SetState(dsInactive);
  SetEmpty();
  InternalClose();
  if (default_fields_) fields_.Clear();
  default_fields_ = false;
}

void TDataSet::FreeBuffers() {
  for (TRecordBuffer& buffer : buffers_) {
    if (buffer != nullptr) FreeRecordBuffer(buffer);
    buffer = nullptr;
  }
}

void TDataSet::CreateFields() {
  if (fields_.Count() != 0) return;
  // Set first so that a failure part way removes the fields made so far.
  default_fields_ = true;
  for (int i = 0; i < field_defs_.Count(); ++i) {
    fields_.Add(std::make_unique<TField>(*this, field_defs_[i], i + 1, i));
  }
}

TRecordBuffer TDataSet::AllocRecordBuffer() {
  return new uint8_t[RecordSize()]();
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  delete[] buffer;
  buffer = nullptr;
}

void TDataSet::SetEmpty() {
  has_record_ = false;
  cursor_on_record_ = false;
  bof_ = true;
  eof_ = true;
}

bool TDataSet::Fetch(TGetMode mode) {
  const int spare = 1 - active_;
  // The cursor moves away from the active record even when the fetch fails or raises.
  cursor_on_record_ = false;
  if (GetRecord(buffers_[spare], mode, true) != grOK) return false;
  active_ = spare;
  has_record_ = true;
  cursor_on_record_ = true;
  return true;
}

void TDataSet::UpdateCursorPos() {
  if (cursor_on_record_ || !has_record_) return;
  InternalSetToRecord(ActiveBuffer());
  cursor_on_record_ = true;
}

void TDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  std::vector<uint8_t> bookmark(static_cast<size_t>(bookmark_size_));
  GetBookmarkData(buffer, bookmark.data());
  InternalGotoBookmark(bookmark.data());
}

void TDataSet::First() {
  CheckBrowseMode();
  InternalFirst();
  if (Fetch(gmNext)) {
    bof_ = true;
    eof_ = false;
  } else {
    SetEmpty();
  }
}

void TDataSet::Last() {
  CheckBrowseMode();
  InternalLast();
  if (Fetch(gmPrior)) {
    bof_ = false;
    eof_ = true;
  } else {
    SetEmpty();
  }
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (eof_) return;
  UpdateCursorPos();
  if (Fetch(gmNext)) {
    bof_ = false;
  } else {
    eof_ = true;
  }
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (bof_) return;
  UpdateCursorPos();
  if (Fetch(gmPrior)) {
    eof_ = false;
  } else {
    bof_ = true;
  }
}

bool TDataSet::IsEmpty() const {
  return !has_record_ && state_ != dsInsert;
}

int TDataSet::GetRecordCount() {
  throw EDatabaseError("Operation not supported");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  if (modified_) {
    Post();
  } else {
    CancelEditing();
  }
}

void TDataSet::Append() {
  BeginInsert(true);
}

void TDataSet::Insert() {
  BeginInsert(false);
}

void TDataSet::BeginInsert(bool append) {
  CheckBrowseMode();
  CheckCanModify();
  // A record is inserted where the cursor is; appending needs no position.
  if (!append) UpdateCursorPos();
  InternalInsert(append);
  const int spare = 1 - active_;
  try {
    InternalInitRecord(buffers_[spare]);
  } catch (...) {
    InternalCancel(true);
    throw;
  }
  had_record_before_insert_ = has_record_;
  active_ = spare;
  cursor_on_record_ = false;
  modified_ = false;
  SetState(dsInsert);
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  CheckCanModify();
  if (!has_record_) return Insert();
  UpdateCursorPos();
  InternalEdit();
  modified_ = false;
  SetState(dsEdit);
}

void TDataSet::Post() {
  CheckActive();
  CheckEditing();
  if (state_ == dsEdit) UpdateCursorPos();
  InternalPost(state_ == dsInsert);
  // The stored record stays active; where the cursor is after storing it is the concrete
  // dataset's business, so it is put back on the record when next needed.
  has_record_ = true;
  cursor_on_record_ = false;
  bof_ = false;
  eof_ = false;
  modified_ = false;
  SetState(dsBrowse);
}

void TDataSet::Cancel() {
  CheckActive();
  CheckEditing();
  CancelEditing();
}

void TDataSet::CancelEditing() {
  const bool inserting = state_ == dsInsert;
  InternalCancel(inserting);
  modified_ = false;
  SetState(dsBrowse);
  if (inserting) {
    active_ = 1 - active_;
    has_record_ = had_record_before_insert_;
    cursor_on_record_ = false;
  } else {
    // The edited buffer holds the dropped changes.
    Refetch();
  }
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  // The records may have changed under the cursor: it is put on the active record anew.
  cursor_on_record_ = false;
  UpdateCursorPos();
  InternalRefresh();
  Refetch();
}

void TDataSet::Refetch() {
  UpdateCursorPos();
  if (has_record_ && Fetch(gmCurrent)) return;
  // The record is gone meanwhile: start again from the first one.
  InternalFirst();
  if (Fetch(gmNext)) {
    bof_ = true;
    eof_ = false;
  } else {
    SetEmpty();
  }
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert) return CancelEditing();
  CheckCanModify();
  if (state_ == dsEdit) CancelEditing();
  if (!has_record_) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  UpdateCursorPos();
  InternalDelete();
  FetchAfterDelete();
}

void TDataSet::FetchAfterDelete() {
  cursor_on_record_ = false;
  if (Fetch(gmNext)) {
    bof_ = false;
    eof_ = false;
  } else if (Fetch(gmPrior)) {
    bof_ = false;
    eof_ = true;
  } else {
    SetEmpty();
  }
}

TBookmark TDataSet::GetBookmark() const {
  if (!has_record_ || state_ == dsInsert || state_ == dsInactive) return {};
  TBookmark bookmark(static_cast<size_t>(bookmark_size_));
  GetBookmarkData(ActiveBuffer(), bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  CheckBrowseMode();
  if (bookmark.size() != static_cast<size_t>(bookmark_size_) || bookmark.empty()) {
    throw EDatabaseError("Record not found");
  }
  InternalGotoBookmark(bookmark.data());
  if (!Fetch(gmCurrent)) throw EDatabaseError("Record not found");
  bof_ = false;
  eof_ = false;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  CheckActive();
  if (!field.IsBlob()) {
    throw EDatabaseError(Format("Cannot access field '%s' as type Blob", {field.FieldName()}));
  }
  if (mode != bmRead) CheckBlobWrite(field);
  return InternalCreateBlobStream(field, mode);
}

std::unique_ptr<TStream> TDataSet::InternalCreateBlobStream(TField&, TBlobStreamMode) {
  throw EDatabaseError("BLOB streams are not supported");
}

void TDataSet::NotifyFieldChanged(TField&) {
  modified_ = true;
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::CheckEditing() const {
  if (state_ != dsEdit && state_ != dsInsert) {
    throw EDatabaseError("Dataset not in edit or insert mode");
  }
}

void TDataSet::CheckFieldWrite(const TField&) const {
  CheckActive();
  CheckCanModify();
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey && state_ != dsCalcFields) {
    throw EDatabaseError("Dataset not in edit or insert mode");
  }
}

void TDataSet::CheckBlobWrite(const TField& field) const {
  CheckFieldWrite(field);
}

void TDataSet::InternalRefresh() {}
void TDataSet::InternalInsert(bool) {}
void TDataSet::InternalEdit() {}
void TDataSet::InternalCancel(bool) {}

}  // namespace tabshift
