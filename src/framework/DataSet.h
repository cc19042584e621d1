// The dataset base: a component that opens a set of records, gives its current record through
// field objects, moves through the records and edits, inserts and deletes them. It owns the
// field objects, two record buffers (the active record and a spare one that receives the
// next fetched record, so a failed fetch never damages the active one) and the states. A
// concrete dataset supplies the records by implementing the protected hooks below, usually by
// delegating to a cursor of its own.
//
// The cursor model the hooks follow: the concrete dataset keeps a cursor position of its own,
// which is before the first record, on a record, or after the last one. GetRecord moves it by
// one record (gmNext, gmPrior) or stays (gmCurrent) and copies the record there into a buffer.
// The base moves the cursor only through these hooks and puts it back on the active record
// (InternalSetToRecord) before any operation that needs it there after it may have moved.
//
// Behaviour for users:
// - Open puts the dataset on its first record; Eof and Bof are both true when it is empty.
// - Next at the last record sets Eof and stays on that record; Prior at the first sets Bof.
//   First then "while (!Eof()) { ...; Next(); }" visits every record once.
// - Append and Insert begin a new record (state dsInsert); Edit begins changing the active
//   record (dsEdit; on an empty dataset it begins an insert). Post stores the record and
//   returns to dsBrowse on the stored record; a failed Post keeps the state and every value set
//   so far. Cancel drops the changes and returns to the record that was active before.
// - Navigation, Append, Insert and bookmarks first finish a pending edit or insert as
//   CheckBrowseMode does: posted when modified, otherwise cancelled. Close cancels it.
// - Refresh reads the active record again (the first one when it is gone).
// - Delete removes the active record (cancels a pending insert instead) and makes the
//   following record active, or the preceding one when it was the last.
// Concrete datasets call Close() in their destructor: the base cannot reach their hooks once
// they are destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/Component.h"
#include "framework/Field.h"
#include "framework/FieldDefs.h"

namespace tabshift {

class TStream;

enum TDataSetState : uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields };

// What GetRecord is asked for: the record at the cursor, or the next or prior one.
enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
// grBOF and grEOF: no record in that direction (the cursor is then before the first or after
// the last record); grError: the record could not be read.
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

using TRecordBuffer = uint8_t*;
// A bookmark: BookmarkSize() bytes that identify a record; empty when there is none.
using TBookmark = std::vector<uint8_t>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  const char* ClassName() const override { return "TDataSet"; }

  // Definitions of the fields; the concrete dataset fills them when it opens, or the user
  // before opening. Opening creates one field per definition unless fields exist already.
  TFieldDefs& FieldDefs() { return field_defs_; }
  const TFieldDefs& FieldDefs() const { return field_defs_; }
  TFields& Fields() { return fields_; }
  const TFields& Fields() const { return fields_; }
  int FieldCount() const { return fields_.Count(); }
  TField* FindField(std::string_view name) const { return fields_.FindField(name); }
  TField& FieldByName(std::string_view name) const { return fields_.FieldByName(name); }

  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }
  // Whether a field was written since the edit or insert began.
  bool Modified() const { return modified_; }

  void First();
  void Next();
  void Prior();
  void Last();
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // True when there is no active record (also while inactive), except while inserting.
  bool IsEmpty() const;
  int RecordCount() { return GetRecordCount(); }

  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Finishes a pending edit or insert: posted when modified, otherwise cancelled.
  void CheckBrowseMode();
  // Reads the active record again after InternalRefresh; when it is gone, goes to the first
  // record.
  void Refresh();

  int BookmarkSize() const { return bookmark_size_; }
  // The active record's bookmark; empty without an active record or while inserting.
  TBookmark GetBookmark() const;
  // Makes the record of the bookmark active; raises EDatabaseError "Record not found" when it
  // cannot be read.
  void GotoBookmark(const TBookmark& bookmark);

  // A stream on the value of a BLOB field of the active record. bmWrite starts from an empty
  // value. Checks that the dataset is open and, for the write modes, CheckBlobWrite.
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);
  // Marks the record modified; BLOB streams of concrete datasets call it when they change a
  // value.
  void NotifyFieldChanged(TField& field);

  // Checks, each raising EDatabaseError; concrete datasets may raise their own errors instead.
  // "Cannot perform this operation on a closed dataset".
  virtual void CheckActive() const;
  // "Cannot perform this operation on an open dataset".
  virtual void CheckInactive() const;
  // Whether records may be changed; false makes every change raise CheckCanModify's error.
  virtual bool CanModify() const { return true; }

 protected:
  friend class TField;

  // --- Checks used by the operations ---
  // Before Append, Insert, Edit, Delete and field writes: "Cannot modify a read-only dataset"
  // unless CanModify().
  virtual void CheckCanModify() const;
  // Before Post and Cancel: "Dataset not in edit or insert mode" unless editing or inserting.
  virtual void CheckEditing() const;
  // Before a field write: CheckActive, CheckCanModify, then "Dataset not in edit or insert
  // mode" unless the state is dsEdit, dsInsert, dsSetKey or dsCalcFields.
  virtual void CheckFieldWrite(const TField& field) const;
  // Before a BLOB stream in a write mode is created; CheckFieldWrite by default.
  virtual void CheckBlobWrite(const TField& field) const;

  // --- Opening and closing ---
  // Opens the concrete dataset's cursor, fills FieldDefs when it owns them, and sets the
  // bookmark size. RecordSize() is read after it returns.
  virtual void InternalOpen() = 0;
  // Closes the cursor; called after the record buffers were freed and before the default
  // fields are destroyed. Also called when opening fails after InternalOpen succeeded.
  virtual void InternalClose() = 0;
  // Creates one field per definition (a no-op when fields exist); Open calls it after
  // InternalOpen, which may call it earlier itself.
  void CreateFields();
  void SetBookmarkSize(int size) { bookmark_size_ = size; }

  // --- Record buffers ---
  // Bytes of one record buffer, as the default AllocRecordBuffer allocates them.
  virtual size_t RecordSize() const = 0;
  // A new record buffer; by default RecordSize() zeroed bytes. The base allocates two at open
  // and frees them at close; in between it reuses them for fetched and new records without
  // freeing them, so GetRecord and InternalInitRecord release whatever a buffer's previous
  // record held when records own resources.
  virtual TRecordBuffer AllocRecordBuffer();
  // Frees a buffer from AllocRecordBuffer and sets it to nullptr.
  virtual void FreeRecordBuffer(TRecordBuffer& buffer);
  // Makes a buffer a new, empty record: every field NULL (and defaults applied if the
  // dataset has them).
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  // The buffer of the active record (the record being edited or inserted while doing so);
  // what GetFieldData and SetFieldData work on. Valid while a record is active or a new one
  // is being inserted; nullptr while inactive.
  TRecordBuffer ActiveBuffer() const { return buffers_[active_]; }

  // --- Navigation ---
  // Fills `buffer` from the cursor as `mode` asks. Without a record there: grBOF (gmPrior) or
  // grEOF (gmNext, gmCurrent). A failure to read raises when `do_check` is set, else gives
  // grError. The base always passes do_check true.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) = 0;
  // Puts the cursor before the first record, or after the last one.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Copies the bookmark (BookmarkSize bytes) of the record in `buffer` to `data`.
  virtual void GetBookmarkData(const uint8_t* buffer, uint8_t* data) const = 0;
  // Puts the cursor on the record of the bookmark, so that GetRecord(gmCurrent) reads it.
  virtual void InternalGotoBookmark(const uint8_t* bookmark) = 0;
  // Puts the cursor on the record held in `buffer`; by default through its bookmark.
  virtual void InternalSetToRecord(TRecordBuffer buffer);
  // Lets the concrete dataset drop what it cached about the records; the cursor is on the
  // active record, if there is one. Does nothing by default.
  virtual void InternalRefresh();
  // Number of records; by default EDatabaseError "Operation not supported".
  virtual int GetRecordCount();

  // --- Field values ---
  // Copies the native form of the field's value in the active buffer to `buffer` (see
  // Field.h); false when the value is NULL. `buffer` may be nullptr: then only NULL-ness is
  // asked, which is how the base learns it for BLOB fields.
  virtual bool GetFieldData(const TField& field, void* buffer) = 0;
  // Writes the native form of `buffer` into the field of the active buffer; nullptr makes it
  // NULL (also for BLOB fields). The base has run CheckFieldWrite and sets Modified after it.
  virtual void SetFieldData(const TField& field, const void* buffer) = 0;
  // A stream on the field's BLOB in the active buffer (see CreateBlobStream). The base raises
  // EDatabaseError "BLOB streams are not supported" by default.
  virtual std::unique_ptr<TStream> InternalCreateBlobStream(TField& field, TBlobStreamMode mode);

  // --- Editing ---
  // A new record begins; called before InternalInitRecord of its buffer. `append` for Append.
  virtual void InternalInsert(bool append);
  // An edit of the active record begins; the cursor is on it. Raising refuses the edit.
  virtual void InternalEdit();
  // Stores the active buffer: a new record when `inserting`, else the edited one (the cursor
  // is on it). Raising leaves the dataset in its state with its values.
  virtual void InternalPost(bool inserting) = 0;
  // The edit or insert is dropped; called before the base restores the previous record.
  virtual void InternalCancel(bool inserting);
  // Deletes the record at the cursor (the active one) and leaves the cursor between its
  // neighbours: GetRecord(gmNext) then gives the record that followed it, gmPrior the one
  // that preceded it.
  virtual void InternalDelete() = 0;

 private:
  void OpenCursor();
  void CloseCursor();
  void FreeBuffers();
  void SetState(TDataSetState state) { state_ = state; }
  // Fetches into the spare buffer; on success it becomes the active one.
  bool Fetch(TGetMode mode);
  void UpdateCursorPos();
  void SetEmpty();
  void BeginInsert(bool append);
  // Drops a pending edit or insert without the checks of Cancel.
  void CancelEditing();
  // Reads the active record again from the cursor, or the first record when it is gone.
  void Refetch();
  void FetchAfterDelete();

  TFieldDefs field_defs_;
  TFields fields_;
  bool default_fields_ = false;
  TDataSetState state_ = dsInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  // Whether the active buffer holds a record (false on an empty dataset).
  bool has_record_ = false;
  // Whether the cursor is known to be on the active record.
  bool cursor_on_record_ = false;
  // While inserting: whether a record was active before, in the other buffer.
  bool had_record_before_insert_ = false;
  int bookmark_size_ = 0;
  TRecordBuffer buffers_[2] = {nullptr, nullptr};
  int active_ = 0;
};

}  // namespace tabshift
