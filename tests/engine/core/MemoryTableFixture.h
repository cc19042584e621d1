// A memory table made from definitions, with one cursor on it, for the table data's tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/ABSMemEngine.h"
#include "engine/core/ABSTableData.h"

namespace tabshift::testing {

inline TABSFieldDef& AddField(TABSFieldDefs& fields, const std::string& name, AdvancedDataType type,
                              int32_t size = 0) {
  TABSFieldDef& field = fields.AddNewItem();
  field.Name = name;
  field.SetDataType(type, size);
  return field;
}

inline TABSIndexDef& AddIndexDef(TABSIndexDefs& indexes, const std::string& name,
                                 const std::vector<std::string>& columns) {
  TABSIndexDef& index = indexes.AddNewItem();
  index.Name = name;
  for (const std::string& column : columns) index.Columns.push_back({column});
  return index;
}

class MemoryTable {
 public:
  MemoryTable(const std::string& name, const TABSFieldDefs& fields,
              const TABSIndexDefs& indexes = {}, const TABSConstraintDefs& constraints = {}) {
    cursor.table_name = name;
    table = &static_cast<TABSMemoryTableData&>(MemoryDatabaseData().GetTableData(cursor));
    table->CreateTable(cursor, fields, indexes, constraints);
    table->AttachCursor(cursor);
    buffer.assign(static_cast<size_t>(cursor.record_buffer_size), 0);
    cursor.record_buffer = buffer.data();
  }
  ~MemoryTable() { Drop(); }
  MemoryTable(const MemoryTable&) = delete;
  MemoryTable& operator=(const MemoryTable&) = delete;

  void Drop() {
    if (table == nullptr) return;
    table->DetachCursor(cursor);
    table->DropTable(cursor, false);
    table = nullptr;
  }

  TABSBaseFieldManager& Fields() { return *table->FieldManager(); }

  void NewRecord() {
    std::memset(buffer.data(), 0, buffer.size());
    std::memset(buffer.data(), 0xFF, static_cast<size_t>(Fields().NullBitmapSize()));
    Fields().ApplyDefaultValues(buffer.data());
  }
  void SetInt(int field_no, int32_t value) {
    Fields().SetFieldData(field_no, &value, buffer.data());
  }
  void SetText(int field_no, const std::string& text) {
    Fields().SetFieldData(field_no, text.c_str(), buffer.data());
  }
  void SetNull(int field_no) { Fields().SetFieldData(field_no, nullptr, buffer.data()); }
  int32_t GetInt(int field_no) {
    int32_t value = 0;
    return Fields().GetFieldData(field_no, &value, buffer.data()) ? value : INT32_MIN;
  }
  int64_t GetLarge(int field_no) {
    int64_t value = 0;
    return Fields().GetFieldData(field_no, &value, buffer.data()) ? value : INT64_MIN;
  }
  // Posts the cursor's buffer as a new record, as the cursor does.
  void Post() {
    Fields().AssignAutoincValues(cursor.session, buffer.data());
    table->CheckConstraints(cursor.session, buffer.data(), true, true, cursor.record_id, true);
    ASSERT_TRUE(table->InsertRecord(cursor));
  }
  void Insert(int32_t value) {
    NewRecord();
    SetInt(0, value);
    Post();
  }
  // The first field's value of every record in the cursor's order and filter.
  std::vector<int32_t> Column0() {
    std::vector<int32_t> values;
    for (auto where = TABSNavigateTo::First;
         table->NavigateRecord(cursor, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      values.push_back(GetInt(0));
    }
    return values;
  }

  TABSCursorState cursor;
  TABSMemoryTableData* table = nullptr;
  std::vector<uint8_t> buffer;
};

}  // namespace tabshift::testing

// The engine adds its native code to every message.
#define EXPECT_ENGINE_TEXT(statement, code, text) \
  EXPECT_ENGINE_ERROR(statement, code,            \
                      std::string(text) + " - Native error: " + std::to_string(code))
