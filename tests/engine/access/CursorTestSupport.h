// An engine session on one of the in-process databases and an open local cursor with record
// buffers of its own, for the cursor's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/access/ABSLocalCursor.h"
#include "engine/access/ABSLocalSession.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"

namespace tabshift::testing {

// An engine session connected to "MEMORY" or "TEMP".
class ConnectedSession : public TABSLocalSession {
 public:
  explicit ConnectedSession(const std::string& database_name = "MEMORY") {
    DatabaseName = database_name;
    SetConnected(true);
  }
};

// A cursor on an existing table, opened, with a current and an old record buffer.
class OpenCursor {
 public:
  OpenCursor(TABSBaseSession& session, const std::string& table_name) : cursor(session) {
    cursor.TableName = table_name;
    cursor.OpenTable({}, {}, {});
    current = cursor.AllocateRecordBuffer();
    old = cursor.AllocateRecordBuffer();
    cursor.CurrentRecord = current;
  }
  ~OpenCursor() {
    cursor.FreeRecordBuffer(current);
    cursor.FreeRecordBuffer(old);
  }
  OpenCursor(const OpenCursor&) = delete;
  OpenCursor& operator=(const OpenCursor&) = delete;

  void Append() {
    cursor.OldRecord = nullptr;
    cursor.InitRecord(current, true);
  }
  // Keeps the record as the edit begins, as a dataset does.
  void Edit() {
    std::memcpy(old, current, static_cast<size_t>(cursor.RecordBufferSize()));
    cursor.OldRecord = old;
  }
  // Puts the record as it was when the edit began back, as a dataset's cancel does.
  void Cancel() {
    cursor.CancelEdit(false);
    std::memcpy(current, old, static_cast<size_t>(cursor.RecordBufferSize()));
  }
  TABSReadResult First() {
    cursor.MoveToBeginning();
    return cursor.NavigateRecord(TABSGetRecordMode::Next);
  }
  TABSReadResult Next() { return cursor.NavigateRecord(TABSGetRecordMode::Next); }
  void SetInt(int field_no, int32_t value) { cursor.SetFieldData(field_no, &value); }
  int32_t GetInt(int field_no) {
    int32_t value = 0;
    return cursor.GetFieldData(field_no, &value) ? value : INT32_MIN;
  }
  void AppendInts(const std::vector<int32_t>& values) {
    for (const int32_t value : values) {
      Append();
      SetInt(0, value);
      ASSERT_EQ(cursor.PostRecord(true), 0) << cursor.ResultText();
    }
  }
  std::vector<int32_t> Column(int field_no) {
    std::vector<int32_t> values;
    for (TABSReadResult read = First(); read == TABSReadResult::Found; read = Next()) {
      values.push_back(GetInt(field_no));
    }
    return values;
  }
  // Writes the bytes through a write stream and closes it.
  void WriteBlob(int field_no, const std::string& bytes, bool inserting) {
    TABSLocalBLOBStream* blob =
        cursor.OpenBlob(inserting, !inserting, false, TABSBlobOpenMode::Write, field_no);
    ASSERT_NE(blob, nullptr);
    blob->SetSize(0);
    blob->WriteBuffer(bytes.data(), bytes.size());
    cursor.CloseBlob(field_no);
  }
  std::string ReadBlob(int field_no) {
    TABSLocalBLOBStream* blob =
        cursor.OpenBlob(false, true, false, TABSBlobOpenMode::Read, field_no);
    std::string bytes(static_cast<size_t>(blob->Size()), '\0');
    blob->ReadBuffer(bytes.data(), bytes.size());
    cursor.CloseBlob(field_no);
    return bytes;
  }

  TABSLocalCursor cursor;
  uint8_t* current = nullptr;
  uint8_t* old = nullptr;
};

// Creates a table through a cursor of its own.
inline void CreateTable(TABSBaseSession& session, const std::string& name,
                        const TABSFieldDefs& fields, const TABSIndexDefs& indexes = {},
                        const TABSConstraintDefs& constraints = {}) {
  TABSLocalCursor cursor(session);
  cursor.TableName = name;
  cursor.CreateTable(fields, indexes, constraints);
}

inline void DeleteTable(TABSBaseSession& session, const std::string& name) {
  TABSLocalCursor cursor(session);
  cursor.TableName = name;
  cursor.DeleteTable();
}

}  // namespace tabshift::testing
