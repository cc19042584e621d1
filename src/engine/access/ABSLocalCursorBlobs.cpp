// The local cursor's BLOB streams. A BLOB written into a record buffer is a new block of the
// table; until the record is posted the stored record keeps referring to its old block, so the
// cursor frees the new block when the change is cancelled and the old one when it is posted.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/access/ABSBaseSession.h"
#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {

namespace {

constexpr int32_t kNilOpenBlob = 10108;
constexpr int32_t kNilCloseBlob = 10113;
constexpr int32_t kOpenBlobFieldNo = 10110;
constexpr int32_t kCloseBlobFieldNo = 10118;
constexpr int32_t kBlobAlreadyOpen = 10115;

}  // namespace

TABSLocalBLOBStream* TABSLocalCursor::OpenBlob(bool inserting, bool editing, bool browsing,
                                               TABSBlobOpenMode mode, int field_no) {
  TABSTableData& table = Table(kNilOpenBlob);
  if (CurrentRecord == nullptr) RaiseEngineError(kNilOpenBlob, "Nil pointer occured");
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  const bool shared = SharedTable();
  if (shared && !RetryTableLock(kLockForBlobRead, kPostLockTries, kPostLockWait)) return nullptr;
  struct ReleaseLock {
    TABSLocalCursor& cursor;
    bool shared;
    ~ReleaseLock() {
      if (shared) cursor.table_data_->UnlockTable(cursor.state_.session, kLockForBlobRead);
    }
  } release{*this, shared};
  if (browsing && !inserting && !editing && open_blobs_.empty()) {
    // Another cursor may have changed the record's BLOBs since it was read.
    std::vector<uint8_t> stored;
    if (!ReadStored(BufferRecordId(CurrentRecord), stored)) return nullptr;
    std::copy(stored.begin(), stored.end(), CurrentRecord);
  }
  if (field_no < 0 || field_no >= all_field_defs_.Count() ||
      !IsBaseBlobType(all_field_defs_.Item(field_no).BaseType)) {
    RaiseEngineErrorFmt(kOpenBlobFieldNo, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {field_no, all_field_defs_.Count()});
  }
  if (mode != TABSBlobOpenMode::Read) {
    for (const auto& open : open_blobs_) {
      if (open->FieldNo() == field_no && open->Writable()) {
        RaiseEngineErrorFmt(kBlobAlreadyOpen,
                            "BLOB field already opened. FieldNo = %d, FieldName = %s",
                            {field_no, all_field_defs_.Item(field_no).Name});
      }
    }
  }
  auto blob = table.OpenBlob(CurrentRecord, field_no, mode != TABSBlobOpenMode::Write);
  open_blobs_.push_back(
      std::make_unique<TABSLocalBLOBStream>(std::move(blob), mode, field_no, CurrentRecord));
  return open_blobs_.back().get();
}

void TABSLocalCursor::CloseBlob(int field_no) {
  TABSTableData& table = Table(kNilCloseBlob);
  if (field_no < 0 || field_no >= all_field_defs_.Count()) {
    RaiseEngineErrorFmt(kCloseBlobFieldNo, "Invalid field number - FieldNo = %d, FieldCount = %d",
                        {field_no, all_field_defs_.Count()});
  }
  std::lock_guard guard(table.Database().Lock());
  PrepareState();
  for (auto open = open_blobs_.begin(); open != open_blobs_.end();) {
    if ((*open)->FieldNo() != field_no) {
      ++open;
      continue;
    }
    if ((*open)->Writable()) StoreBlob(**open);
    open = open_blobs_.erase(open);
  }
}

void TABSLocalCursor::FreeBlobs(bool writable_only) {
  std::erase_if(open_blobs_, [&](const auto& open) { return !writable_only || open->Writable(); });
}

void TABSLocalCursor::CloseWritableBlobs() {
  for (auto open = open_blobs_.begin(); open != open_blobs_.end();) {
    if (!(*open)->Writable()) {
      ++open;
      continue;
    }
    StoreBlob(**open);
    open = open_blobs_.erase(open);
  }
}

bool TABSLocalCursor::SameBlobSlot(const uint8_t* left, const uint8_t* right, int field_no) const {
  return BlobSlot(left, field_no) == BlobSlot(right, field_no);
}

std::vector<uint8_t> TABSLocalCursor::BlobSlot(const uint8_t* record, int field_no) const {
  const TABSFieldDef& field = field_defs_.Item(field_no);
  std::vector<uint8_t> slot(record + field.BufferOffset,
                            record + field.BufferOffset + field.BufferSize);
  slot.push_back(record_image::IsNull(record, field_no) ? 1 : 0);
  return slot;
}

bool TABSLocalCursor::IsUnsavedBlob(const uint8_t* record, int field_no) const {
  if (record_image::IsNull(record, field_no)) return false;
  const std::vector<uint8_t> slot = BlobSlot(record, field_no);
  return std::any_of(unsaved_blobs_.begin(), unsaved_blobs_.end(), [&](const UnsavedBlob& blob) {
    return blob.record == record && blob.field_no == field_no && blob.slot == slot;
  });
}

void TABSLocalCursor::StoreBlob(TABSLocalBLOBStream& stream) {
  if (!stream.Modified()) return;
  uint8_t* record = stream.Record();
  const int field_no = stream.FieldNo();
  if (IsUnsavedBlob(record, field_no)) {
    std::erase_if(unsaved_blobs_, [&](const UnsavedBlob& blob) {
      return blob.record == record && blob.field_no == field_no;
    });
  } else if (!record_image::IsNull(record, field_no)) {
    // A stored record (or a record deleted meanwhile) owns the old BLOB: the table data
    // must not free it when it writes the new one.
    const TABSFieldDef& field = field_defs_.Item(field_no);
    std::memset(record + field.BufferOffset, 0, static_cast<size_t>(field.BufferSize));
    record_image::SetNull(record, field_no, true);
  }
  table_data_->WriteBlob(record, field_no, stream.Blob());
  if (!record_image::IsNull(record, field_no)) {
    unsaved_blobs_.push_back({record, field_no, BlobSlot(record, field_no)});
  }
}

void TABSLocalCursor::FreeUnsavedBlobs(uint8_t* record) {
  if (unsaved_blobs_.empty()) return;
  std::vector<uint8_t> scratch(static_cast<size_t>(data_size_), 0);
  for (auto blob = unsaved_blobs_.begin(); blob != unsaved_blobs_.end();) {
    if (record != nullptr && blob->record != record) {
      ++blob;
      continue;
    }
    // The buffer may be gone or hold another record now: free through a copy of the slot.
    const TABSFieldDef& field = field_defs_.Item(blob->field_no);
    std::copy(blob->slot.begin(), blob->slot.end() - 1, scratch.begin() + field.BufferOffset);
    record_image::SetNull(scratch.data(), blob->field_no, false);
    table_data_->FreeBlob(scratch.data(), blob->field_no);
    if (record != nullptr && BlobSlot(record, blob->field_no) == blob->slot) {
      std::memset(record + field.BufferOffset, 0, static_cast<size_t>(field.BufferSize));
      record_image::SetNull(record, blob->field_no, true);
    }
    blob = unsaved_blobs_.erase(blob);
  }
}

void TABSLocalCursor::KeepPostedBlobs() {
  if (unsaved_blobs_.empty()) return;
  std::erase_if(unsaved_blobs_, [&](const UnsavedBlob& blob) {
    return BlobSlot(CurrentRecord, blob.field_no) == blob.slot;
  });
  // What else was written into this buffer is referred to by nothing.
  FreeUnsavedBlobs(CurrentRecord);
}

void TABSLocalCursor::FreeReplacedBlobs(uint8_t* stored_before) {
  TABSTableData& table = *table_data_;
  // Records of a database file release their BLOBs in the engine's own update.
  if (!table.FieldManager()->HasBlobFields() || !InProcessDatabase()) return;
  for (int i = 0; i < field_defs_.Count(); ++i) {
    if (!IsBaseBlobType(field_defs_.Item(i).BaseType) || record_image::IsNull(stored_before, i)) {
      continue;
    }
    if (!SameBlobSlot(stored_before, CurrentRecord, i)) table.FreeBlob(stored_before, i);
  }
}

void TABSLocalCursor::CopyBlobValue(int field_no, TABSCursor& other, int other_field_no) {
  TABSLocalBLOBStream* source = OpenBlob(false, true, false, TABSBlobOpenMode::Read, field_no);
  if (source == nullptr) RaiseEngineError(kNilOpenBlob, "Nil pointer occured");
  TABSLocalBLOBStream* target =
      other.OpenBlob(false, true, false, TABSBlobOpenMode::Write, other_field_no);
  if (target == nullptr) {
    CloseBlob(field_no);
    RaiseEngineError(kNilOpenBlob, "Nil pointer occured");
  }
  target->SetSize(0);
  source->Seek(0, SeekOrigin::Beginning);
  target->CopyFrom(*source, source->Size());
  CloseBlob(field_no);
  other.CloseBlob(other_field_no);
}

}  // namespace tabshift
