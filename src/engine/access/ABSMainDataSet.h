// The storage engine's dataset: supplies what the framework's dataset asks of a concrete one by
// delegating to an engine cursor, and attaches itself to a database component of its session
// for as long as it needs one (its cursor is open, or a table-level operation or a reading of
// definitions runs). It keeps the component-level field and index definitions beside the
// framework's, and the engine definitions built from them.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseAdvDefs.h"
#include "engine/access/ABSBaseCursor.h"
#include "engine/access/ABSMainDatabase.h"
#include "engine/access/ABSMainFieldExchange.h"
#include "engine/access/ABSMainTableDefs.h"
#include "framework/DataSet.h"
#include "framework/IndexDefs.h"

namespace tabshift {

class TABSDataSetBlobStream;
class TABSSession;

// Native error codes of the dataset.
namespace native_error {
inline constexpr int32_t kDataSetNotOpened = 10029;      // "Dataset is not opened"
inline constexpr int32_t kDataSetNotEditing = 10030;     // "Dataset is not in insert or edit mode"
inline constexpr int32_t kDataSetReadOnly = 10032;       // "Dataset is in read only mode"
inline constexpr int32_t kFieldWriteNotEditing = 10007;  // "Dataset not in edit or insert mode"
inline constexpr int32_t kCannotRetrieveRecord = 10026;  // "Cannot retrieve record"
inline constexpr int32_t kBlobWriteReadOnly = 10107;     // "Dataset is in read only mode"
inline constexpr int32_t kBlobWriteNotEditing = 10111;   // "Dataset not in edit or insert mode"
}  // namespace native_error

// Why a dataset is attached to its database; it stays attached while any reason holds.
enum class TABSAttachReason : uint8_t {
  CursorOpen = 0,
  TableOperation = 3,
  ReadingFieldDefs = 4,
  IndexDefs = 5,
};

class TABSDataSet : public TDataSet, public TABSDatabaseClient {
 public:
  // Record buffers end in the 6-byte record id and a flag byte: the dataset's bookmark.
  static constexpr int kBookmarkSize = TABSCursor::kRecordTailSize;
  // Record buffers kept ready while open, so that reading around the active record (for key
  // searches, ranges and deletes) never allocates.
  static constexpr int kSpareBufferCount = 6;
  static constexpr int kProbeBuffer = 0;

  explicit TABSDataSet(TComponent* owner);
  // Closes the dataset and detaches it.
  ~TABSDataSet() override;

  const char* ClassName() const override { return "TABSDataSet"; }

  // "6.09 ", as the database component reports it.
  std::string CurrentVersion() const;
  const std::string& DatabaseName() const { return database_name_; }
  // Only while inactive and not attached; also sets InMemory to whether the name is "MEMORY"
  // in any letter case.
  void SetDatabaseName(const std::string& name);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);
  bool InMemory() const { return in_memory_; }
  // True also sets DatabaseName to "MEMORY".
  void SetInMemory(bool value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // A table of the temporary database "TEMP".
  bool Temporary() const { return database_name_ == "TEMP"; }

  TIndexDefs& IndexDefs() { return index_defs_; }
  TABSAdvFieldDefs& AdvFieldDefs() { return adv_field_defs_; }
  const TABSAdvFieldDefs& AdvFieldDefs() const { return adv_field_defs_; }
  TABSAdvIndexDefs& AdvIndexDefs() { return adv_index_defs_; }
  const TABSAdvIndexDefs& AdvIndexDefs() const { return adv_index_defs_; }

  // The database component while attached; none otherwise.
  TABSDatabase* Database() const { return database_; }
  // The engine cursor while open; none otherwise.
  TABSCursor* Cursor() const { return cursor_.get(); }

  void CloseDataSet() override { Close(); }

  bool CanModify() const override { return !cursor_read_only_; }
  void CheckActive() const override;

 protected:
  friend class TABSDataSetBlobStream;

  // Keeps the dataset attached for one reason while it lives.
  class Attachment {
   public:
    Attachment(TABSDataSet& dataset, TABSAttachReason reason);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

   private:
    TABSDataSet& dataset_;
    TABSAttachReason reason_;
  };

  void Attach(TABSAttachReason reason);
  void Detach(TABSAttachReason reason);
  bool Attached() const { return attach_reasons_ != 0; }
  // A cursor on the attached database's engine session for `table_name`, not yet open.
  std::unique_ptr<TABSCursor> MakeCursor(const std::string& table_name) const;
  // Whether temporary data of the table stays in memory.
  bool KeepTempInMemory() const;
  // Every persistent field without a definition of its name gets one.
  void AddPersistentFieldDefs();
  // The engine definitions an open cursor is given for a memory or temporary table.
  void BuildOpenDefinitions();
  // Reads field definitions of every form from the cursor.
  void LoadFieldDefsFromCursor(TABSCursor& cursor);
  // Brings IndexDefs and the component-level index definitions up to date from the cursor.
  void LoadIndexDefsFromCursor(TABSCursor& cursor);

  // The table-specific part of opening: checks, makes and opens the cursor.
  virtual std::unique_ptr<TABSCursor> OpenTableCursor() = 0;
  // Selects the current index after the cursor is open.
  virtual void SelectIndex() {}

  void CheckCanModify() const override;
  void CheckEditing() const override;
  void CheckFieldWrite(const TField& field) const override;
  void CheckBlobWrite(const TField& field) const override;

  void InternalOpen() override;
  void InternalClose() override;
  size_t RecordSize() const override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;
  void InternalFirst() override;
  void InternalLast() override;
  void GetBookmarkData(const uint8_t* buffer, uint8_t* data) const override;
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  int GetRecordCount() override;
  bool GetFieldData(const TField& field, void* buffer) override;
  void SetFieldData(const TField& field, const void* buffer) override;
  std::unique_ptr<TStream> InternalCreateBlobStream(TField& field, TBlobStreamMode mode) override;
  void InternalInsert(bool append) override;
  void InternalEdit() override;
  void InternalPost(bool inserting) override;
  void InternalCancel(bool inserting) override;
  void InternalDelete() override;

  TIndexDefs index_defs_;
  TABSAdvFieldDefs adv_field_defs_;
  TABSAdvFieldDefs saved_adv_field_defs_;
  TABSAdvIndexDefs adv_index_defs_;
  TABSAdvIndexDefs saved_adv_index_defs_;
  TABSTableDefinitions engine_defs_;
  std::unique_ptr<TABSCursor> cursor_;

 private:
  void AttachDatabase();
  // A database of the name that waits in the default session while its own SessionName names
  // the dataset's session is moved there first.
  void MoveDatabaseIntoItsSession() const;
  void DetachDatabase();
  int CursorFieldNo(const TField& field) const { return field.FieldNo() - 1; }
  void PrepareFieldExchanges();
  void FreeOldRecord();
  // Whether a record follows the active one; the cursor stays where it was.
  bool HasNextRecord();
  void FreeSpareBuffers();
  // Ends the BLOB streams still open on the active record before it is stored, dropped or
  // left; a failure to store one is raised.
  void CloseBlobStreams();
  void BlobStreamClosed(TABSDataSetBlobStream* stream);
  void RaisePendingBlobError();

  std::string database_name_;
  std::string session_name_;
  bool in_memory_ = false;
  bool read_only_ = false;
  bool cursor_read_only_ = false;
  TABSDatabase* database_ = nullptr;
  TABSSession* session_ = nullptr;
  uint8_t attach_reasons_ = 0;
  uint8_t* old_record_ = nullptr;
  std::array<uint8_t*, kSpareBufferCount> spare_buffers_{};
  // Per field, by cursor field number.
  std::vector<TABSFieldExchange> exchanges_;
  std::vector<uint8_t> exchange_scratch_;
  std::vector<TABSDataSetBlobStream*> blob_streams_;
  std::exception_ptr blob_error_;
  // Set by a delete that left the cursor on the record that followed the deleted one.
  bool next_is_current_ = false;
};

}  // namespace tabshift
