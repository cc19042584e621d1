// The common part of the tables of the memory and temporary databases: a table is created in
// one call, dropped by deleting itself, counted by its record store, and opens its BLOBs into
// a stream of its own engine flag.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/ABSTableData.h"

namespace tabshift {

class TABSInProcessTableData : public TABSTableData {
 public:
  using TABSTableData::TABSTableData;

  // Sets the definitions, makes the record store and the indexes; 10025 without fields.
  void CreateTable(TABSCursorState& cursor, const TABSFieldDefs& fields,
                   const TABSIndexDefs& indexes, const TABSConstraintDefs& constraints) final;
  // Deletes the table unless `force` is set and other cursors are still attached.
  bool DropTable(TABSCursorState& cursor, bool force) final;
  int64_t GetRecordCount(TABSCursorState& cursor) final;
  int64_t GetRecordCountUnfiltered(TABSCursorState& cursor) final;
  // 10420 for a field whose block size is 0; a NULL field or a request without contents gives
  // an empty new BLOB.
  std::unique_ptr<TABSBlobStream> OpenBlob(const uint8_t* record, int field_no,
                                           bool read_contents) final;

 protected:
  // Called by CreateTable before the definitions are set.
  virtual void PrepareStorage(const TABSCursorState&) {}
  // Called by CreateTable once the record layout is known, before the indexes are made.
  virtual void RecordLayoutReady() {}
  // Copies the stored form of a non-NULL BLOB field into `stored` and completes `descriptor`
  // with its block count and size.
  virtual void ReadStoredBlob(const uint8_t* record, int field_no, TABSStream& stored,
                              TABSBLOBDescriptor& descriptor) = 0;
};

}  // namespace tabshift
