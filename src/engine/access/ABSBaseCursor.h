// An engine cursor: one session's view of one table. It keeps copies of the table's
// definitions, the record buffer the next operation works on, the position, the current index,
// an optional filter and the BLOB streams open on the current record. Every record or table
// operation of a dataset is one virtual call here; record operations report through ResultCode
// and ResultText instead of raising, table-level operations raise at once. Engines implement
// the operations (TABSLocalCursor).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/access/ABSBaseFieldDefs.h"
#include "engine/access/ABSBaseIndexDefs.h"
#include "engine/access/ABSVariant.h"
#include "engine/core/ABSCursorState.h"
#include "engine/core/ABSRecordManager.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSBaseSession;
class TABSDatabaseData;
class TABSLocalBLOBStream;
class TABSTableData;

// How a BLOB field is opened.
enum class TABSBlobOpenMode : uint8_t { Write = 0, Read = 1, ReadWrite = 2 };

// Which record NavigateRecord reads: the current one, the next or the prior one.
enum class TABSGetRecordMode : uint8_t { Current = 0, Next = 1, Prior = 2 };

// A filter on whole record buffers: true when the record passes. Filter expressions belong to
// the SQL engine; a dataset compiles its filter into such a predicate.
using TABSRecordFilter = std::function<bool(const uint8_t* record)>;

struct TABSLocateOptions {
  bool CaseInsensitive = false;
  // Text values match every value that starts with them.
  bool PartialKey = false;
};

// Where a cursor stands; also how a dataset moves the cursor to a bookmarked record.
struct TABSCursorPosition {
  TABSRecordId RecordId;
  bool AtBeginning = true;
  bool AtEnd = false;
};

class TABSCursor {
 public:
  // A record buffer is the record data, then the 6-byte record id, then one flag byte.
  static constexpr int32_t kRecordIdSize = 6;
  static constexpr int32_t kRecordTailSize = 7;
  // Flag byte of a record read from the table, and of a new or just inserted one.
  static constexpr uint8_t kFlagStored = 0;
  static constexpr uint8_t kFlagInserted = 3;

  explicit TABSCursor(TABSBaseSession& session);
  TABSCursor(const TABSCursor&) = delete;
  TABSCursor& operator=(const TABSCursor&) = delete;
  virtual ~TABSCursor();

  // Table-level operations (raise engine errors).
  virtual void CreateTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                           const TABSConstraintDefs& constraints) = 0;
  virtual void DeleteTable() = 0;
  virtual void EmptyTable() = 0;
  virtual void RenameTable(const std::string& new_name) = 0;
  virtual void LoadFieldDefs() = 0;
  // The definitions are those the dataset holds; an existing table keeps its own.
  virtual void OpenTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                         const TABSConstraintDefs& constraints) = 0;
  virtual void CloseTable() = 0;
  // The table data's lock; Lock and Unlock calls pair up and nest.
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  // Locks between sessions of a multi-user database file; other tables grant them at once.
  virtual bool LockTable(int32_t kind, int32_t tries, int32_t wait_milliseconds) = 0;
  virtual void UnlockTable(int32_t kind) = 0;
  // Renames the field in FieldDefs; engines rename it in the table.
  virtual void RenameField(const std::string& old_name, const std::string& new_name);
  virtual const TABSIndexDefs& GetIndexDefs() = 0;
  virtual void AddIndex(const TABSIndexDef& definition) = 0;
  virtual void DropIndex(const std::string& name) = 0;
  virtual void DropAllIndexes() = 0;
  // A temporary index of the session over the columns (or an index that already matches);
  // returns its name.
  virtual std::string CreateIndexForFields(const std::vector<TABSIndexColumn>& columns) = 0;
  virtual bool HasIndexForFields(const std::vector<TABSIndexColumn>& columns) = 0;

  // Record buffers and navigation.
  // Copies one field of CurrentRecord into the other cursor's CurrentRecord. Field numbers
  // count in FieldDefs when `by_current_list`, otherwise in AllFieldDefs.
  virtual void CopyFieldValue(int field_no, bool by_current_list, TABSCursor& other,
                              int other_field_no) = 0;
  // Every field NULL, every data byte 0, then the default values when asked; the record id
  // becomes (-1, -1) with the flag of a new record.
  virtual void InitRecord(uint8_t* buffer, bool apply_defaults) = 0;
  // Releases the BLOB data the buffer holds, frees the buffer and sets it to null.
  virtual void FreeRecordBuffer(uint8_t*& buffer) = 0;
  virtual int64_t GetRecordCount() = 0;
  // Reads into CurrentRecord (with its record id and flag) and moves RecordId there.
  virtual TABSReadResult NavigateRecord(TABSGetRecordMode mode) = 0;
  virtual bool SetRecNo(int64_t record_no) = 0;
  // 1-based; -1 when unknown.
  virtual int64_t GetRecNo() = 0;
  // Bookmarks are the record id and flag bytes of a record buffer; -1, 0 or 1.
  virtual int CompareBookmarks(const uint8_t* left, const uint8_t* right) = 0;
  virtual void MoveToBeginning() = 0;
  virtual void MoveToEnd() = 0;
  virtual void PrepareInsert() = 0;

  // Record operations: each sets and returns ResultCode (0 = done).
  virtual int32_t LockRecordForEdit() = 0;
  // Drops the unsaved BLOBs of CurrentRecord and releases what an edit locked.
  virtual void CancelEdit(bool was_insert) = 0;
  // Inserts CurrentRecord, or replaces the stored record with it when OldRecord (the record as
  // the edit began) still equals the stored one.
  virtual int32_t PostRecord(bool insert) = 0;
  // Deletes the record of CurrentRecord when it still equals the stored one.
  virtual int32_t DeleteRecord() = 0;
  virtual bool RecordLockCheck() = 0;

  // Order, filters and searches; each resets the position.
  virtual void SetIndexForFields(const std::vector<TABSIndexColumn>& columns) = 0;
  virtual void SetFilter(TABSRecordFilter filter) = 0;
  virtual void ClearFilter() = 0;
  // Moves to the first record whose fields equal the values; false when there is none.
  virtual bool Locate(const std::vector<std::string>& fields,
                      const std::vector<TABSVariant>& values, TABSLocateOptions options) = 0;
  // Moves to the first record whose key on the current index equals that of `key_record`.
  virtual bool FindKey(const uint8_t* key_record) = 0;
  virtual bool LocateValue(const std::string& field, const TABSVariant& value,
                           TABSLocateOptions options) = 0;

  // BLOBs of CurrentRecord. The stream stays the cursor's: CloseBlob, FreeBlobs, PostRecord
  // and CancelEdit end it. Null when the record cannot be read or locked.
  virtual TABSLocalBLOBStream* OpenBlob(bool inserting, bool editing, bool browsing,
                                        TABSBlobOpenMode mode, int field_no) = 0;
  // Stores what the field's write streams wrote into CurrentRecord and ends them.
  virtual void CloseBlob(int field_no) = 0;
  // Ends the open streams (all, or the writable ones) without storing them.
  virtual void FreeBlobs(bool writable_only) = 0;

  virtual int64_t GetLastAutoincValue(int field_no) = 0;
  virtual void BeginBatch() = 0;
  virtual void CommitBatch() = 0;
  virtual void RollbackBatch() = 0;
  // Runs the table's constraint checks on CurrentRecord; with `raise` a violation raises.
  virtual bool CheckRecord(bool raise) = 0;

  // Selects the current index by name; an unknown name selects the natural order.
  void SetIndexName(const std::string& name);
  // A field of CurrentRecord by its number in FieldDefs, in the table data's exchange format.
  bool GetFieldData(int field_no, void* value) const;
  void SetFieldData(int field_no, const void* value);
  // The same as typed values; NULL stands for no value.
  TABSVariant GetFieldValue(int field_no) const;
  TABSVariant GetFieldValue(int field_no, const uint8_t* record) const;
  void SetFieldValue(int field_no, const TABSVariant& value);
  TABSCursorPosition SavePosition() const;
  void RestorePosition(const TABSCursorPosition& position);
  // A zeroed record buffer of RecordBufferSize bytes from the engine's memory manager.
  uint8_t* AllocateRecordBuffer() const;
  // The record id at RecordIdOffset of a record buffer.
  TABSRecordId BufferRecordId(const uint8_t* buffer) const;
  void SetBufferRecordId(uint8_t* buffer, const TABSRecordId& record_id, uint8_t flag) const;
  static TABSRecordId ReadRecordId(const uint8_t* bytes);
  static void WriteRecordId(uint8_t* bytes, const TABSRecordId& record_id);

  TABSBaseSession& Session() const { return *session_; }
  const std::string& IndexName() const { return index_name_; }
  int32_t IndexID() const { return state_.index_id; }
  const TABSFieldDefs& FieldDefs() const { return field_defs_; }
  const TABSFieldDefs& AllFieldDefs() const { return all_field_defs_; }
  const TABSIndexDefs& IndexDefs() const { return index_defs_; }
  const TABSConstraintDefs& ConstraintDefs() const { return constraint_defs_; }
  const TABSRecordBitmap& FilterBitmap() const { return state_.filter_bitmap; }
  TABSIndexPositionCache& PositionCache() { return position_cache_; }
  bool Batch() const { return batch_; }
  int32_t ResultCode() const { return result_code_; }
  const std::string& ResultText() const { return result_text_; }
  // Null bitmap plus every field's BufferSize; the record id follows at this offset.
  int32_t DataSize() const { return data_size_; }
  int32_t RecordIdOffset() const { return data_size_; }
  int32_t RecordBufferSize() const { return data_size_ + kRecordTailSize; }
  const TABSRecordId& RecordId() const { return state_.record_id; }
  bool AtBeginning() const { return state_.at_beginning; }
  bool AtEnd() const { return state_.at_end; }
  TABSTableData* TableData() const { return table_data_; }
  TABSDatabaseData* DatabaseData() const;
  bool Opened() const { return opened_; }

  // Open options, set before OpenTable or CreateTable.
  std::string TableName;
  bool ReadOnly = false;
  bool Exclusive = false;
  bool InMemory = false;
  bool Temporary = false;
  bool KeepTempInMemory = false;
  // Set by the dataset before each record operation.
  uint8_t* CurrentRecord = nullptr;
  uint8_t* OldRecord = nullptr;

 protected:
  // Raises 10317 unless the number is in FieldDefs.
  const TABSFieldDef& FieldDefOf(int field_no, int32_t native_error) const;
  void SetResult(int32_t code, std::string text = {});

  TABSBaseSession* session_;
  // What the table data sees of this cursor.
  TABSCursorState state_;
  TABSTableData* table_data_ = nullptr;
  std::string index_name_;
  TABSFieldDefs field_defs_;
  TABSFieldDefs all_field_defs_;
  TABSIndexDefs index_defs_;
  TABSConstraintDefs constraint_defs_;
  TABSIndexPositionCache position_cache_;
  bool batch_ = false;
  int32_t result_code_ = 0;
  std::string result_text_;
  int32_t data_size_ = 0;
  bool opened_ = false;
};

}  // namespace tabshift
