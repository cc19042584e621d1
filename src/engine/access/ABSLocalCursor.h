// The cursor of the local engine: runs every cursor operation as calls on the table data of
// its session's database, holding the table data's lock for each call. In a multi-user
// database file it takes the table and record locks between sessions, retrying as long as the
// engine's rules allow and giving up the table data's lock while it waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseCursor.h"
#include "engine/access/ABSLocalBLOBStream.h"

namespace tabshift {

class TABSLocalCursor : public TABSCursor {
 public:
  // Table lock kinds and retry rules of multi-user database files.
  static constexpr int32_t kLockForBlobRead = 1;
  static constexpr int32_t kLockForEdit = 2;
  static constexpr int32_t kLockInTransaction = 3;
  static constexpr int32_t kLockForWrite = 4;
  static constexpr int32_t kLockExclusive = 6;
  static constexpr int32_t kPostLockTries = 2250;
  static constexpr int32_t kPostLockWait = 40;
  static constexpr int32_t kEditLockTries = 900;
  static constexpr int32_t kEditLockWait = 100;
  static constexpr int32_t kRecordLockTries = 15;
  static constexpr int32_t kRecordLockWait = 100;

  explicit TABSLocalCursor(TABSBaseSession& session);
  // Closes the table.
  ~TABSLocalCursor() override;

  void CreateTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                   const TABSConstraintDefs& constraints) override;
  void DeleteTable() override;
  void EmptyTable() override;
  void RenameTable(const std::string& new_name) override;
  void LoadFieldDefs() override;
  void OpenTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                 const TABSConstraintDefs& constraints) override;
  void CloseTable() override;
  void Lock() override;
  void Unlock() override;
  bool LockTable(int32_t kind, int32_t tries, int32_t wait_milliseconds) override;
  void UnlockTable(int32_t kind) override;
  void RenameField(const std::string& old_name, const std::string& new_name) override;
  const TABSIndexDefs& GetIndexDefs() override;
  void AddIndex(const TABSIndexDef& definition) override;
  void DropIndex(const std::string& name) override;
  void DropAllIndexes() override;
  std::string CreateIndexForFields(const std::vector<TABSIndexColumn>& columns) override;
  bool HasIndexForFields(const std::vector<TABSIndexColumn>& columns) override;
  void CopyFieldValue(int field_no, bool by_current_list, TABSCursor& other,
                      int other_field_no) override;
  void InitRecord(uint8_t* buffer, bool apply_defaults) override;
  void FreeRecordBuffer(uint8_t*& buffer) override;
  int64_t GetRecordCount() override;
  TABSReadResult NavigateRecord(TABSGetRecordMode mode) override;
  bool SetRecNo(int64_t record_no) override;
  int64_t GetRecNo() override;
  int CompareBookmarks(const uint8_t* left, const uint8_t* right) override;
  void MoveToBeginning() override;
  void MoveToEnd() override;
  void PrepareInsert() override;
  int32_t LockRecordForEdit() override;
  void CancelEdit(bool was_insert) override;
  int32_t PostRecord(bool insert) override;
  int32_t DeleteRecord() override;
  bool RecordLockCheck() override;
  void SetIndexForFields(const std::vector<TABSIndexColumn>& columns) override;
  void SetFilter(TABSRecordFilter filter) override;
  void ClearFilter() override;
  bool Locate(const std::vector<std::string>& fields, const std::vector<TABSVariant>& values,
              TABSLocateOptions options) override;
  bool FindKey(const uint8_t* key_record) override;
  bool LocateValue(const std::string& field, const TABSVariant& value,
                   TABSLocateOptions options) override;
  TABSLocalBLOBStream* OpenBlob(bool inserting, bool editing, bool browsing, TABSBlobOpenMode mode,
                                int field_no) override;
  void CloseBlob(int field_no) override;
  void FreeBlobs(bool writable_only) override;
  int64_t GetLastAutoincValue(int field_no) override;
  void BeginBatch() override;
  void CommitBatch() override;
  void RollbackBatch() override;
  bool CheckRecord(bool raise) override;

  int32_t OpenBlobCount() const { return static_cast<int32_t>(open_blobs_.size()); }

 private:
  TABSDatabaseData& Database() const;
  TABSTableData& Table(int32_t native_error) const;
  // Whether the database lives in this process only ("MEMORY", "TEMP"), not in a file.
  bool InProcessDatabase() const;
  // Whether table and record locks between sessions are needed.
  bool SharedTable() const;
  // Hands the session, the record buffer and the transaction state to the table data.
  void PrepareState();
  // The table data of TableName: loaded when the table exists, none otherwise.
  TABSTableData* ExistingTableData();
  void RefreshDefinitions();
  void ResetPosition();
  // Retries while the lock is refused, giving up the table data's lock between tries.
  bool RetryTableLock(int32_t kind, int32_t tries, int32_t wait_milliseconds);
  bool RetryRecordLock(const TABSRecordId& record_id);
  // Releases the locks a post or delete took: the record's (when asked), and outside a
  // transaction the table's.
  void ReleasePostLocks(bool release_record, const TABSRecordId& record_id);
  int32_t PostLockKind() const;
  // The constraint checks before a row change; a violation gives ResultCode -8.
  bool PassesChecks(bool inserting, const TABSRecordId& record_id);
  // Reads the stored record into `record`; false when it is gone.
  bool ReadStored(const TABSRecordId& record_id, std::vector<uint8_t>& record);
  int32_t InsertCurrent();
  int32_t UpdateCurrent();
  int32_t DeleteCurrent();
  // Stores a stream into its record. The BLOB the record referred to before is freed only
  // when this cursor wrote it and no stored record refers to it.
  void StoreBlob(TABSLocalBLOBStream& stream);
  void CloseWritableBlobs();
  bool IsUnsavedBlob(const uint8_t* record, int field_no) const;
  // Frees the BLOBs this cursor wrote into the record buffer (all buffers for null) and clears
  // their slots in it.
  void FreeUnsavedBlobs(uint8_t* record);
  // After a post: the BLOBs the posted record holds belong to the stored record now.
  void KeepPostedBlobs();
  // After an update: frees the BLOBs of the record as it was stored that the update replaced.
  void FreeReplacedBlobs(uint8_t* stored_before);
  bool SameBlobSlot(const uint8_t* left, const uint8_t* right, int field_no) const;
  bool FindIndexForFields(const std::vector<TABSIndexColumn>& columns,
                          std::string* index_name) const;
  int CompareByIndex(const TABSRecordId& left, const TABSRecordId& right);
  void CopyBlobValue(int field_no, TABSCursor& other, int other_field_no);

  // A BLOB this cursor wrote into a record buffer that no stored record refers to yet: the
  // buffer, the field and the field's slot (null flag and bytes) as written.
  struct UnsavedBlob {
    const uint8_t* record;
    int field_no;
    std::vector<uint8_t> slot;
  };

  std::vector<uint8_t> BlobSlot(const uint8_t* record, int field_no) const;

  std::vector<std::unique_ptr<TABSLocalBLOBStream>> open_blobs_;
  std::vector<UnsavedBlob> unsaved_blobs_;
};

}  // namespace tabshift
