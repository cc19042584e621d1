#include "engine/core/ABSInProcessTableData.h"

#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSStreams.h"

namespace tabshift {

namespace {

constexpr int32_t kNoFields = 10025;
constexpr int32_t kZeroBlockSize = 10420;

}  // namespace

void TABSInProcessTableData::CreateTable(TABSCursorState& cursor, const TABSFieldDefs& fields,
                                         const TABSIndexDefs& indexes,
                                         const TABSConstraintDefs& constraints) {
  std::lock_guard guard(DatabaseLock());
  if (fields.Count() == 0) {
    RaiseEngineError(kNoFields, "Error creating table - no fields were specified");
  }
  name_ = cursor.table_name;
  PrepareStorage(cursor);
  SetFieldDefs(fields);
  SetIndexDefs(indexes);
  SetConstraintDefs(constraints);
  CreateRecordManager();
  GetRecordLayout(cursor);
  RecordLayoutReady();
  index_manager_->CreateAllIndexes(cursor.session);
  ApplySessionChanges(cursor.session, cursor.in_transaction);
}

bool TABSInProcessTableData::DropTable(TABSCursorState& cursor, bool force) {
  std::lock_guard guard(DatabaseLock());
  TABSTableData::DropTable(cursor, force);
  if (force && OtherCursorsAttached(cursor)) return false;
  delete this;
  return true;
}

int64_t TABSInProcessTableData::GetRecordCount(TABSCursorState&) {
  return record_manager_ == nullptr ? 0 : record_manager_->RecordCount();
}

int64_t TABSInProcessTableData::GetRecordCountUnfiltered(TABSCursorState& cursor) {
  return GetRecordCount(cursor);
}

std::unique_ptr<TABSBlobStream> TABSInProcessTableData::OpenBlob(const uint8_t* record,
                                                                 int field_no, bool read_contents) {
  std::lock_guard guard(DatabaseLock());
  const TABSFieldDef& field = field_manager_->FieldDefs().Item(field_no);
  if (field.BlobBlockSize == 0) {
    RaiseEngineError(kZeroBlockSize, "Stream block size = 0 is not allowed");
  }
  TABSBLOBDescriptor descriptor;
  descriptor.block_size = field.BlobBlockSize;
  descriptor.compression_algorithm = field.BlobCompressionAlgorithm;
  descriptor.compression_mode = field.BlobCompressionMode;
  auto stored = std::make_unique<TABSTemporaryStream>(EngineFlag() != 0);
  if (!read_contents || record == nullptr || record_image::IsNull(record, field_no)) {
    return std::make_unique<TABSBlobStream>(std::move(stored), true, descriptor);
  }
  ReadStoredBlob(record, field_no, *stored, descriptor);
  stored->Seek(0, SeekOrigin::Beginning);
  return std::make_unique<TABSBlobStream>(std::move(stored), false, descriptor);
}

}  // namespace tabshift
