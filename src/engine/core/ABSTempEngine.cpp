#include "engine/core/ABSTempEngine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSTempPageManager.h"

namespace tabshift {

namespace {

constexpr int32_t kNilInsertManager = 10010;
constexpr int32_t kNilInsertBuffer = 10018;
constexpr int32_t kSeekFailed = 10141;
constexpr int32_t kShortRead = 10142;
constexpr int32_t kNilBlobStream = 10144;
constexpr int32_t kShortWrite = 10145;
constexpr size_t kMemoryBlobStreamCapacity = 1048576;

std::atomic<uint64_t> available_memory_for_testing{0};

struct EntryHeader {
  int32_t block_count = 0;
  int64_t blob_size = 0;
  int64_t stored_length = 0;
};

}  // namespace

void TABSTemporaryTableData::SetAvailableMemoryForTesting(uint64_t bytes) {
  available_memory_for_testing = bytes;
}

TABSTemporaryTableData::TABSTemporaryTableData(TABSDatabaseData* database, std::string name)
    : TABSInProcessTableData(database, std::move(name)) {}

TABSTemporaryTableData::~TABSTemporaryTableData() {
  try {
    if (record_manager_ != nullptr) record_manager_->ClearRecords(kAllSessions);
    if (index_manager_ != nullptr) index_manager_->DropAllIndexes(0);
  } catch (...) {
    // Destruction must not throw; the managers free their memory below all the same.
  }
  index_manager_.reset();
  record_manager_.reset();
}

TABSTemporaryRecordManager& TABSTemporaryTableData::TemporaryRecords() {
  return static_cast<TABSTemporaryRecordManager&>(*record_manager_);
}

void TABSTemporaryTableData::CreateRecordManager() {
  record_manager_ = std::make_unique<TABSTemporaryRecordManager>(
      field_manager_->RecordBufferSize(), engine_flag_ != 0, kRecordGrowthStep, kRecordsPerBlock,
      available_memory_for_testing.load());
}

void TABSTemporaryTableData::CreateBlobStream() {
  blob_stream_.reset();
  if (!field_manager_->HasBlobFields()) return;
  if (engine_flag_ != 0) {
    blob_stream_ = std::make_unique<TABSMemoryStream>(kMemoryBlobStreamCapacity);
  } else {
    blob_stream_ = std::make_unique<TABSTemporaryStream>(false);
  }
}

void TABSTemporaryTableData::PrepareStorage(const TABSCursorState& cursor) {
  engine_flag_ = cursor.memory_only ? 1 : 0;
  page_manager_ = std::make_unique<TABSTemporaryPageManager>(cursor.memory_only,
                                                             available_memory_for_testing.load());
}

void TABSTemporaryTableData::EmptyTable(int32_t session) {
  std::lock_guard guard(DatabaseLock());
  CreateBlobStream();
  TABSTableData::EmptyTable(session);
  if (record_manager_ != nullptr) record_manager_->ClearRecords(kAllSessions);
  ApplySessionChanges(0, false);
}

int64_t TABSTemporaryTableData::RecordIdToNumber(const TABSRecordId& record_id) const {
  return TABSTemporaryRecordManager::SequenceOf(record_id);
}

TABSRecordId TABSTemporaryTableData::NumberToRecordId(int64_t number) const {
  return TABSTemporaryRecordManager::IdOf(number);
}

bool TABSTemporaryTableData::InsertRecord(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilInsertManager, "Nil pointer occured");
  if (cursor.record_buffer == nullptr) RaiseEngineError(kNilInsertBuffer, "Nil pointer occured");
  TABSRecordId record_id;
  if (!record_manager_->AddRecord(cursor.session, cursor.record_buffer, record_id)) return false;
  index_manager_->InsertRecord(cursor.session, cursor.record_buffer, record_id);
  index_manager_->BumpVersionStamps();
  cursor.record_id = record_id;
  MarkInFilterBitmap(cursor, record_id, cursor.record_buffer);
  cursor.at_beginning = false;
  cursor.at_end = false;
  ApplySessionChanges(cursor.session, cursor.in_transaction);
  return true;
}

bool TABSTemporaryTableData::SetRecNoUnfiltered(TABSCursorState& cursor, int64_t record_no) {
  std::lock_guard guard(DatabaseLock());
  const int64_t sequence = record_no < 2 ? 0 : record_no - 1;
  if (record_manager_ == nullptr || sequence >= record_manager_->RecordCount()) return false;
  cursor.record_id = NumberToRecordId(sequence);
  cursor.at_beginning = false;
  cursor.at_end = false;
  if (cursor.record_buffer != nullptr) {
    TABSNavigationRequest request;
    request.record_id = cursor.record_id;
    request.record_buffer = cursor.record_buffer;
    record_manager_->ReadRecord(cursor.session, request);
  }
  return true;
}

int64_t TABSTemporaryTableData::GetRecNoUnfiltered(TABSCursorState& cursor) {
  if (cursor.at_beginning || cursor.at_end) return -1;
  return RecordIdToNumber(cursor.record_id) + 1;
}

int64_t TABSTemporaryTableData::BlobPosition(const uint8_t* record, int field_no) const {
  int64_t position = 0;
  std::memcpy(&position, record + field_manager_->FieldDefs().Item(field_no).BufferOffset,
              sizeof position);
  return position;
}

void TABSTemporaryTableData::WriteBlob(uint8_t* record, int field_no, TABSBlobStream& blob) {
  std::lock_guard guard(DatabaseLock());
  if (!blob.Modified()) return;
  if (blob_stream_ == nullptr) RaiseEngineError(kNilBlobStream, "Nil pointer occured");
  if (blob.Size() == 0) {
    record_image::SetNull(record, field_no, true);
    return;
  }
  TABSStream& stored = blob.Stored();
  const TABSBLOBDescriptor& descriptor = blob.Compressed().Descriptor();
  uint8_t header[kBlobEntryHeaderSize];
  const auto block_count = static_cast<int32_t>(descriptor.block_count);
  const int64_t stored_length = stored.Size();
  std::memcpy(header, &block_count, 4);
  std::memcpy(header + 4, &descriptor.blob_size, 8);
  std::memcpy(header + 12, &stored_length, 8);
  const int64_t position = blob_stream_->Seek(0, SeekOrigin::End);
  if (blob_stream_->Write(header, sizeof header) != sizeof header) {
    RaiseEngineErrorFmt(
        kShortWrite,
        "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, "
        "Bytes Write = %d",
        {position, blob_stream_->Size(), static_cast<int64_t>(sizeof header), int64_t{0}});
  }
  stored.Seek(0, SeekOrigin::Beginning);
  blob_stream_->CopyFrom(stored, stored_length);
  std::memcpy(record + field_manager_->FieldDefs().Item(field_no).BufferOffset, &position,
              sizeof position);
  record_image::SetNull(record, field_no, false);
}

void TABSTemporaryTableData::ReadStoredBlob(const uint8_t* record, int field_no, TABSStream& stored,
                                            TABSBLOBDescriptor& descriptor) {
  if (blob_stream_ == nullptr) RaiseEngineError(kNilBlobStream, "Nil pointer occured");
  const int64_t position = BlobPosition(record, field_no);
  if (blob_stream_->Seek(position, SeekOrigin::Beginning) != position) {
    RaiseEngineErrorFmt(kSeekFailed, "Cannot set stream position to %d. Position = %d, Size = %d",
                        {position, blob_stream_->Position(), blob_stream_->Size()});
  }
  uint8_t header[kBlobEntryHeaderSize];
  const size_t read = blob_stream_->Read(header, sizeof header);
  EntryHeader entry;
  std::memcpy(&entry.block_count, header, 4);
  std::memcpy(&entry.blob_size, header + 4, 8);
  std::memcpy(&entry.stored_length, header + 12, 8);
  if (read != sizeof header || entry.stored_length < 0 ||
      entry.stored_length > blob_stream_->Size() - position - static_cast<int64_t>(sizeof header)) {
    RaiseEngineErrorFmt(
        kShortRead,
        "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, "
        "Bytes Read = %d",
        {position, blob_stream_->Size(), static_cast<int64_t>(sizeof header),
         static_cast<int64_t>(read)});
  }
  stored.CopyFrom(*blob_stream_, entry.stored_length);
  descriptor.block_count = entry.block_count;
  descriptor.blob_size = entry.blob_size;
}

TABSTemporaryDatabaseData::TABSTemporaryDatabaseData() : TABSInProcessDatabaseData("TEMP") {}

TABSTableData& TABSTemporaryDatabaseData::CreateTableData(const TABSCursorState& cursor) {
  std::lock_guard guard(Lock());
  return *new TABSTemporaryTableData(this, cursor.table_name);
}

}  // namespace tabshift
