// The temporary engine behind the database "TEMP": append-only tables whose records and index
// pages spill to temporary files beyond their in-memory limits and whose BLOBs are appended to
// one stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSInProcessTableData.h"
#include "engine/core/ABSTempRecordManager.h"

namespace tabshift {

class TABSTemporaryTableData : public TABSInProcessTableData {
 public:
  static constexpr int32_t kRecordGrowthStep = 1000;
  static constexpr int32_t kRecordsPerBlock = 10;
  // Bytes in front of a BLOB entry's stored bytes: block count, BLOB size, stored length.
  static constexpr size_t kBlobEntryHeaderSize = 20;

  TABSTemporaryTableData(TABSDatabaseData* database, std::string name);
  ~TABSTemporaryTableData() override;

  void CreateRecordManager() override;
  void EmptyTable(int32_t session) override;
  int64_t RecordIdToNumber(const TABSRecordId& record_id) const override;
  TABSRecordId NumberToRecordId(int64_t number) const override;
  void WriteBlob(uint8_t* record, int field_no, TABSBlobStream& blob) override;
  bool InsertRecord(TABSCursorState& cursor) override;
  bool DeleteRecord(TABSCursorState&) override { return false; }
  bool UpdateRecord(TABSCursorState&) override { return false; }
  bool SetRecNoUnfiltered(TABSCursorState& cursor, int64_t record_no) override;
  int64_t GetRecNoUnfiltered(TABSCursorState& cursor) override;

  // The figure the in-memory limit of new record stores is computed from; 0 asks the memory
  // manager.
  static void SetAvailableMemoryForTesting(uint64_t bytes);
  TABSTemporaryRecordManager& TemporaryRecords();
  TABSStream* BlobStream() { return blob_stream_.get(); }

 protected:
  // The page manager keeps its pages in memory or spills them by the cursor's choice.
  void PrepareStorage(const TABSCursorState& cursor) override;
  void RecordLayoutReady() override { CreateBlobStream(); }
  void ReadStoredBlob(const uint8_t* record, int field_no, TABSStream& stored,
                      TABSBLOBDescriptor& descriptor) override;

 private:
  void CreateBlobStream();
  int64_t BlobPosition(const uint8_t* record, int field_no) const;

  std::unique_ptr<TABSStream> blob_stream_;
};

class TABSTemporaryDatabaseData : public TABSInProcessDatabaseData {
 public:
  TABSTemporaryDatabaseData();

  TABSTableData& CreateTableData(const TABSCursorState& cursor) override;
};

}  // namespace tabshift
