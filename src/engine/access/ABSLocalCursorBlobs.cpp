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
    if ((*open)->Writable()) {
      StoreBlob(**open);
    } else if (!InProcessDatabase()) {
      // A file's BLOB read into memory is released; in-process BLOBs are the record's own.
      table.FreeBlob((*open)->Record(), field_no);
    }
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
  const TABSFieldDef& field = field_defs_.Item(field_no);
  return record_image::IsNull(left, field_no) == record_image::IsNull(right, field_no) &&
         std::memcmp(left + field.BufferOffset, right + field.BufferOffset,
                     static_cast<size_t>(field.BufferSize)) == 0;
}

void TABSLocalCursor::StoreBlob(TABSLocalBLOBStream& stream) {
  if (!stream.Modified()) return;
  uint8_t* record = stream.Record();
  const int field_no = stream.FieldNo();
  std::vector<uint8_t> stored;
  if (!record_image::IsNull(record, field_no) && ReadStored(BufferRecordId(record), stored) &&
      SameBlobSlot(stored.data(), record, field_no)) {
    // The stored record still refers to the old BLOB: writing must not free it.
    const TABSFieldDef& field = field_defs_.Item(field_no);
    std::memset(record + field.BufferOffset, 0, static_cast<size_t>(field.BufferSize));
    record_image::SetNull(record, field_no, true);
  }
  table_data_->WriteBlob(record, field_no, stream.Blob());
}

void TABSLocalCursor::FreeUnsavedBlobs(bool was_insert) {
  TABSTableData& table = *table_data_;
  if (CurrentRecord == nullptr || !table.FieldManager()->HasBlobFields()) return;
  if (was_insert) {
    table.FreeRecordBlobs(CurrentRecord);
    return;
  }
  std::vector<uint8_t> stored;
  const bool has_stored = ReadStored(BufferRecordId(CurrentRecord), stored);
  for (int i = 0; i < field_defs_.Count(); ++i) {
    if (!IsBaseBlobType(field_defs_.Item(i).BaseType) || record_image::IsNull(CurrentRecord, i)) {
      continue;
    }
    if (!has_stored || !SameBlobSlot(stored.data(), CurrentRecord, i)) {
      table.FreeBlob(CurrentRecord, i);
    }
  }
}

void TABSLocalCursor::FreeReplacedBlobs(uint8_t* stored_before) {
  TABSTableData& table = *table_data_;
  if (!table.FieldManager()->HasBlobFields()) return;
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
