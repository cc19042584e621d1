// Tables of the memory database for the dataset's tests: made with fields, filled with rows,
// and dropped again when the test ends so that every test starts from an empty database.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSMainTable.h"

namespace tabshift::testing {

// Checks that a statement raises EABSEngineError with a result code and message.
#define EXPECT_RESULT_CODE_ERROR(statement, code, message)                    \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no error from " #statement;                           \
    } catch (const ::tabshift::EABSEngineError& error) {                      \
      EXPECT_EQ(error.ErrorCode(), code) << error.Message();                  \
      EXPECT_EQ(error.Message(), std::string(message)) << "from " #statement; \
    }                                                                         \
  } while (false)

// Checks that a statement raises the framework's database error (not an engine error).
#define EXPECT_DATABASE_ERROR(statement, message)                             \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no error from " #statement;                           \
    } catch (const ::tabshift::EABSEngineError& error) {                      \
      ADD_FAILURE() << "engine error " << error.Message();                    \
    } catch (const ::tabshift::EDatabaseError& error) {                       \
      EXPECT_EQ(error.Message(), std::string(message)) << "from " #statement; \
    }                                                                         \
  } while (false)

// A table component on a table of the memory database; the table is dropped at the end.
class MemoryTable : public TABSTable {
 public:
  explicit MemoryTable(const std::string& table_name) {
    SetDatabaseName("MEMORY");
    SetTableName(table_name);
  }
  ~MemoryTable() override {
    Close();
    if (Exists()) DeleteTable();
  }

  // Creates the table with integer field ID and text field NAME (size 20).
  void CreateSimple() {
    FieldDefs().Add("ID", ftInteger);
    FieldDefs().Add("NAME", ftString, 20);
    CreateTable();
  }
  void AppendRow(int32_t id, const std::string& name) {
    Append();
    FieldByName("ID").SetAsInteger(id);
    FieldByName("NAME").SetAsString(name);
    Post();
  }
  // The values of an integer field in the table's order.
  std::vector<int32_t> Column(const std::string& field) {
    std::vector<int32_t> values;
    for (First(); !Eof(); Next()) values.push_back(FieldByName(field).AsInteger());
    return values;
  }
};

}  // namespace tabshift::testing
