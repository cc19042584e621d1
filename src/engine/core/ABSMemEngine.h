// The memory engine behind the database "MEMORY": tables whose records, index pages and BLOBs
// live in the process until the table is dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSInProcessTableData.h"
#include "engine/core/ABSMemRecordManager.h"
#include "engine/core/ABSMemory.h"

namespace tabshift {

// A BLOB's stored form outside a table, for copying it to another table without recompressing.
struct TABSRawBlobHeader {
  static constexpr size_t kSize = 20;
  int32_t block_count = 0;
  int64_t blob_size = 0;
  int64_t stored_length = 0;
};

class TABSMemoryTableData : public TABSInProcessTableData {
 public:
  static constexpr int32_t kRecordGrowthStep = 1000;
  // Bytes in front of a BLOB block's stored bytes: block count and the 64-bit BLOB size.
  static constexpr size_t kBlobBlockHeaderSize = 12;

  TABSMemoryTableData(TABSDatabaseData* database, std::string name);
  ~TABSMemoryTableData() override;

  void CreateRecordManager() override;
  void EmptyTable(int32_t session) override;
  void AttachCursor(TABSCursorState& cursor) override;
  int32_t AddIndex(TABSCursorState& cursor, const TABSIndexDef& definition) override;
  void DropIndex(TABSCursorState& cursor, const std::string& index_name) override;
  int64_t RecordIdToNumber(const TABSRecordId& record_id) const override;
  TABSRecordId NumberToRecordId(int64_t number) const override;
  void WriteBlob(uint8_t* record, int field_no, TABSBlobStream& blob) override;
  void FreeBlob(uint8_t* record, int field_no) override;
  bool InsertRecord(TABSCursorState& cursor) override;
  bool DeleteRecord(TABSCursorState& cursor) override;
  bool UpdateRecord(TABSCursorState& cursor) override;
  bool SetRecNoUnfiltered(TABSCursorState& cursor, int64_t record_no) override;
  int64_t GetRecNoUnfiltered(TABSCursorState& cursor) override;
  int64_t GetLastAutoincValue(int32_t session, int field_no) override;

  // The stored form of a BLOB field; a NULL field gives a zeroed header and no bytes.
  TABSMemoryBlock GetRawBlob(int field_no, const uint8_t* record, TABSRawBlobHeader& header);
  void PutRawBlob(uint8_t* record, int field_no, const TABSRawBlobHeader& header,
                  const uint8_t* bytes);
  void FreeRawBlob(TABSMemoryBlock& bytes) { bytes.Free(); }

  TABSMemoryRecordManager& MemoryRecords();
  // BLOB blocks in use by the table's records and cursors.
  int32_t BlobBlockCount() const;

 protected:
  void ReadStoredBlob(const uint8_t* record, int field_no, TABSStream& stored,
                      TABSBLOBDescriptor& descriptor) override;

 private:
  void ClearTable(int32_t session);
  void FreeStoredBlobs();
  void ReadIntoCursor(TABSCursorState& cursor);
  // BLOB slots hold a 4-byte handle of the table's block list (0 = none): pointers are wider.
  uint8_t* BlobBlock(const uint8_t* record, int field_no) const;
  void SetBlobBlock(uint8_t* record, int field_no, uint8_t* block);
  uint32_t SlotHandle(const uint8_t* record, int field_no) const;

  std::vector<uint8_t*> blob_blocks_;
  std::vector<uint32_t> free_handles_;
};

class TABSMemoryDatabaseData : public TABSInProcessDatabaseData {
 public:
  TABSMemoryDatabaseData();

  TABSTableData& CreateTableData(const TABSCursorState& cursor) override;
};

}  // namespace tabshift
