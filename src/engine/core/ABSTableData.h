// The engine object of one table, shared by every cursor on it: it owns the field, index,
// constraint and record managers and runs every row change, navigation and BLOB operation
// under its database's lock. Engines derive their tables from it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/core/ABSCompressedBLOBStream.h"
#include "engine/core/ABSConstraintManager.h"
#include "engine/core/ABSCursorState.h"
#include "engine/core/ABSFieldManager.h"
#include "engine/core/ABSIndexManager.h"
#include "engine/core/ABSRecordManager.h"
#include "engine/core/ABSStreams.h"
#include "platform/CriticalSection.h"

namespace tabshift {

class TABSDatabaseData;
class TABSPageManager;

enum class TABSNavigateTo : uint8_t { First, Next, Prior, Last };

// A BLOB opened by OpenBlob: reads and writes its uncompressed bytes and remembers whether it
// was changed; the table's WriteBlob stores it.
class TABSBlobStream : public TStream {
 public:
  TABSBlobStream(std::unique_ptr<TABSStream> stored, bool is_new,
                 const TABSBLOBDescriptor& descriptor);
  ~TABSBlobStream() override;
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;

  bool Modified() const { return modified_; }
  TABSCompressedBLOBStream& Compressed() { return *compressed_; }
  // The stored (compressed) form, from its first byte.
  TABSStream& Stored() { return *stored_; }

 private:
  TABSStream* stored_;
  std::unique_ptr<TABSCompressedBLOBStream> compressed_;
  bool modified_ = false;
};

class TABSTableData {
 public:
  TABSTableData(TABSDatabaseData* database, std::string name);
  TABSTableData(const TABSTableData&) = delete;
  TABSTableData& operator=(const TABSTableData&) = delete;
  // Removes the table from its database's list.
  virtual ~TABSTableData();

  virtual void CreateRecordManager() = 0;
  virtual void SetFieldDefs(const TABSFieldDefs& defs);
  virtual void SetIndexDefs(const TABSIndexDefs& defs);
  virtual void SetConstraintDefs(const TABSConstraintDefs& defs);
  virtual void GetRecordLayout(TABSCursorState& cursor) const;
  virtual void ApplySessionChanges(int32_t session, bool in_transaction);
  virtual void DiscardSessionChanges(int32_t session, bool in_transaction);
  virtual void CreateTable(TABSCursorState& cursor, const TABSFieldDefs& fields,
                           const TABSIndexDefs& indexes, const TABSConstraintDefs& constraints) = 0;
  // Engines of in-process tables destroy the table data here: the object must not be used
  // after a call that returns true.
  virtual bool DropTable(TABSCursorState& cursor, bool force);
  virtual void EmptyTable(int32_t session);
  virtual void RenameTable(const std::string& new_name);
  virtual void AttachCursor(TABSCursorState& cursor);
  virtual void DetachCursor(TABSCursorState& cursor);
  virtual void RenameField(const std::string& old_name, const std::string& new_name);
  virtual int32_t AddIndex(TABSCursorState& cursor, const TABSIndexDef& definition);
  virtual void DropIndex(TABSCursorState& cursor, const std::string& index_name);
  virtual int64_t GetRecordCount(TABSCursorState& cursor) = 0;
  virtual int64_t RecordIdToNumber(const TABSRecordId& record_id) const = 0;
  virtual TABSRecordId NumberToRecordId(int64_t number) const = 0;
  virtual void ReleaseRecordBlobs(uint8_t* record);
  virtual TABSReadResult NavigateRecord(TABSCursorState& cursor, TABSNavigateTo where);
  // Moves to the first record, in the cursor's order, for which `matches` holds.
  virtual bool LocateRecord(TABSCursorState& cursor,
                            const std::function<bool(const uint8_t* record)>& matches);
  // Moves to the first record whose key columns on the cursor's index equal those of `key`.
  virtual bool FindKey(TABSCursorState& cursor, const uint8_t* key);
  virtual void WriteBlob(uint8_t* record, int field_no, TABSBlobStream& blob) = 0;
  virtual void FreeBlob(uint8_t* record, int field_no);
  virtual void FreeRecordBlobs(uint8_t* record);
  virtual std::unique_ptr<TABSBlobStream> OpenBlob(const uint8_t* record, int field_no,
                                                   bool read_contents) = 0;
  virtual bool InsertRecord(TABSCursorState& cursor) = 0;
  virtual bool DeleteRecord(TABSCursorState& cursor) = 0;
  virtual bool UpdateRecord(TABSCursorState& cursor) = 0;
  virtual bool SetRecNo(TABSCursorState& cursor, int64_t record_no);
  virtual int64_t GetRecNo(TABSCursorState& cursor);
  virtual bool SetRecNoUnfiltered(TABSCursorState& cursor, int64_t record_no) = 0;
  virtual int64_t GetRecNoUnfiltered(TABSCursorState& cursor) = 0;
  virtual int64_t GetRecordCountUnfiltered(TABSCursorState& cursor) = 0;
  virtual int64_t GetLastAutoincValue(int32_t session, int field_no);
  virtual void RefreshSessionIndexes(int32_t session);
  // Locks between the sessions of a database file shared by processes. Tables of one process
  // share nothing with other processes: every lock is granted at once.
  virtual bool TryLockTable(int32_t /*session*/, int32_t /*kind*/) { return true; }
  virtual void UnlockTable(int32_t /*session*/, int32_t /*kind*/) {}
  virtual bool TryLockRecord(int32_t /*session*/, const TABSRecordId& /*record_id*/) {
    return true;
  }
  virtual void UnlockRecord(int32_t /*session*/, const TABSRecordId& /*record_id*/) {}
  // Whether the session may change the record: no other session holds its lock.
  virtual bool RecordLockFree(int32_t /*session*/, const TABSRecordId& /*record_id*/) {
    return true;
  }

  // The record count that passes the cursor's filter.
  int64_t FilteredRecordCount(TABSCursorState& cursor);
  // Raises or returns false at the first violated constraint.
  bool CheckConstraints(int32_t session, const uint8_t* record, bool check_keys, bool raise,
                        const TABSRecordId& record_id, bool inserting,
                        const uint8_t* first_read = nullptr);

  const std::string& Name() const { return name_; }
  TABSDatabaseData& Database() { return *database_; }
  TABSPageManager* PageManager() { return page_manager_.get(); }
  TABSBaseFieldManager* FieldManager() { return field_manager_.get(); }
  TABSBaseIndexManager* IndexManager() { return index_manager_.get(); }
  TABSBaseConstraintManager* ConstraintManager() { return constraint_manager_.get(); }
  TABSBaseRecordManager* RecordManager() { return record_manager_.get(); }
  int32_t CursorCount() const { return static_cast<int32_t>(cursors_.size()); }
  // True when a cursor other than `cursor` is attached to this table.
  bool OtherCursorsAttached(const TABSCursorState& cursor) const {
    const bool attached = std::find(cursors_.begin(), cursors_.end(), &cursor) != cursors_.end();
    return CursorCount() > (attached ? 1 : 0);
  }
  uint8_t EngineFlag() const { return engine_flag_; }

 protected:
  // Reads in the cursor's order; fills the request's buffer with the record found.
  void ReadInOrder(TABSCursorState& cursor, TABSNavigationRequest& request);
  // The neighbour of the cursor's record in its order that passes its filter, for a delete.
  bool FindNeighbour(TABSCursorState& cursor, TABSRecordId& found);
  bool PassesFilter(const TABSCursorState& cursor, const uint8_t* record) const;
  void MarkInFilterBitmap(TABSCursorState& cursor, const TABSRecordId& record_id,
                          const uint8_t* record);
  void ReplaceManagers();
  platform::CriticalSection& DatabaseLock();

  platform::CriticalSection own_lock_;
  std::unique_ptr<TABSPageManager> page_manager_;
  TABSDatabaseData* database_;
  std::string name_;
  std::unique_ptr<TABSBaseFieldManager> field_manager_;
  std::unique_ptr<TABSBaseConstraintManager> constraint_manager_;
  std::unique_ptr<TABSBaseIndexManager> index_manager_;
  std::unique_ptr<TABSBaseRecordManager> record_manager_;
  std::vector<TABSCursorState*> cursors_;
  uint8_t engine_flag_ = 0;
};

}  // namespace tabshift
