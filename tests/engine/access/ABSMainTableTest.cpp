#include "engine/access/ABSMainTable.h"

#include <gtest/gtest.h>

#include "engine/access/ABSLocalSession.h"
#include "engine/access/ABSMainDatabase.h"
#include "engine/access/ABSMainSession.h"
#include "engine/access/DataSetTestSupport.h"
#include "engine/core/EngineErrorMatchers.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

using testing::MemoryTable;

TEST(TableSetters, DatabaseNameDecidesInMemoryWhateverTheLetterCase) {
  TABSTable table;
  table.SetDatabaseName("memory");
  EXPECT_TRUE(table.InMemory());
  table.SetDatabaseName("upTo70500Dsk");
  EXPECT_FALSE(table.InMemory());
  table.SetInMemory(true);
  EXPECT_EQ(table.DatabaseName(), "MEMORY");
  EXPECT_EQ(table.CurrentVersion(), "6.09 ");
}

TEST(TableSetters, PropertiesOfAnOpenTableAreRefused) {
  MemoryTable table("SETTERS");
  table.CreateSimple();
  table.Open();
  EXPECT_DATABASE_ERROR(table.SetDatabaseName("OTHER"),
                        "Cannot perform this operation on an open dataset");
  EXPECT_DATABASE_ERROR(table.SetTableName("OTHER"),
                        "Cannot perform this operation on an open dataset");
  EXPECT_EQ(table.BookmarkSize(), 7);
}

TEST(TableAttach, ADatabaseWaitingInTheDefaultSessionMovesIntoTheTablesSession) {
  MemoryTable table("ATTACHED");
  table.CreateSimple();
  TABSSession session;
  session.SetSessionName("Reports");
  session.SetActive(true);
  TABSDatabase database;
  database.SetDatabaseName("MEMORY");
  database.SetSessionName("Reports");
  EXPECT_EQ(database.Session(), Sessions().DefaultSession());
  TABSTable reader;
  reader.SetSessionName("reports");
  reader.SetDatabaseName("MEMORY");
  reader.SetTableName("ATTACHED");
  reader.Open();
  EXPECT_EQ(reader.Database(), &database);
  EXPECT_EQ(database.Session(), &session);
  reader.Close();
  EXPECT_EQ(reader.Database(), nullptr);
}

TEST(TableOpen, LowerCaseMemoryIsADatabaseFileOfThatName) {
  MemoryTable table("LOWERCASE");
  table.CreateSimple();
  // A session of its own, where no database component of the memory database exists yet (the
  // session finds database components by name without regard to case).
  TABSSession session;
  session.SetSessionName("Lower");
  TABSTable lower;
  lower.SetSessionName("Lower");
  lower.SetDatabaseName("memory");
  lower.SetTableName("LOWERCASE");
  EXPECT_TRUE(lower.InMemory());
  EXPECT_ENGINE_CODE(lower.Open(), kDiskEngineMissingError);
  EXPECT_FALSE(lower.Active());
}

TEST(TableOpen, MissingNamesAndTablesAreReported) {
  TABSTable no_database;
  no_database.SetTableName("T");
  EXPECT_DATABASE_ERROR(no_database.Open(), "DatabaseName property is blank");
  TABSTable no_table;
  no_table.SetName("Orders");
  no_table.SetDatabaseName("MEMORY");
  no_table.SetTableName("  ");
  EXPECT_DATABASE_ERROR(no_table.Open(), "Orders: Missing TableName property");
  EXPECT_EQ(no_table.Database(), nullptr);
  MemoryTable missing("NOSUCHTABLE");
  EXPECT_ENGINE_ERROR(missing.Open(), 10028,
                      "Table not found, table name = NOSUCHTABLE - Native error: 10028");
  EXPECT_FALSE(missing.Active());
  EXPECT_EQ(missing.Database(), nullptr);
}

TEST(TableCreate, ReplacesAnExistingTableSilently) {
  MemoryTable table("REPLACED");
  table.CreateSimple();
  table.Open();
  table.AppendRow(1, "one");
  table.AppendRow(2, "two");
  table.Close();
  table.FieldDefs().Clear();
  table.FieldDefs().Add("CODE", ftLargeint);
  table.CreateTable();
  table.Open();
  EXPECT_EQ(table.RecordCount(), 0);
  ASSERT_EQ(table.FieldCount(), 1);
  EXPECT_EQ(table.Fields()[0].FieldName(), "CODE");
  EXPECT_EQ(table.Fields()[0].DataType(), ftLargeint);
}

TEST(TableCreate, RefusedFieldsCreateNothing) {
  MemoryTable sized("SIZEZERO");
  sized.FieldDefs().Add("ID", ftInteger);
  sized.FieldDefs().Add("TEXT", ftString, 0);
  EXPECT_ENGINE_ERROR(sized.CreateTable(), 30453,
                      "Cannot create table 'SIZEZERO' with field: TEXT STRING(0) - Native error: "
                      "30453");
  EXPECT_FALSE(sized.Exists());
  EXPECT_EQ(sized.Database(), nullptr);

  MemoryTable bcd("FMTBCD");
  bcd.FieldDefs().Add("AMOUNT", ftFMTBcd, 10);
  EXPECT_ENGINE_ERROR(bcd.CreateTable(), 30289, "Unknown DataType: '37' - Native error: 30289");
  EXPECT_FALSE(bcd.Exists());
}

TEST(TableCreate, LaterDefinitionChangesCountForTheNextCreation) {
  MemoryTable table("REDEFINED");
  table.FieldDefs().Add("A", ftInteger);
  table.CreateTable();
  table.FieldDefs().Add("B", ftInteger);
  table.CreateTable();
  table.Open();
  EXPECT_EQ(table.FieldCount(), 2);
}

class TableInTransaction : public ::testing::Test {
 protected:
  void SetUp() override {
    table.CreateSimple();
    table.Open();
    table.AppendRow(1, "one");
    table.Close();
    database.SetDatabaseName("MEMORY");
    database.Open();
    database.StartTransaction();
  }
  void TearDown() override {
    if (database.InTransaction()) database.Rollback();
  }

  MemoryTable table{"INTRANSACTION"};
  TABSDatabase database;
};

TEST_F(TableInTransaction, TableLevelOperationsAreRefused) {
  EXPECT_ENGINE_ERROR(
      table.CreateTable(), 20182,
      "Cannot perform 'CreateTable' operation on a database in transaction - Native error: 20182");
  EXPECT_ENGINE_ERROR(
      table.AddIndex("BYNAME", "NAME"), 20175,
      "Cannot perform 'AddIndex' operation on a database in transaction - Native error: 20175");
  EXPECT_ENGINE_ERROR(
      table.DeleteTable(), 20183,
      "Cannot perform 'DeleteTable' operation on a database in transaction - Native error: 20183");
  EXPECT_ENGINE_ERROR(
      table.RenameTable("ELSEWHERE"), 20181,
      "Cannot perform 'RenameTable' operation on a database in transaction - Native error: 20181");
  database.Commit();
  table.Open();
  EXPECT_EQ(table.Column("ID"), (std::vector<int32_t>{1}));
  EXPECT_TRUE(table.IndexDefs().empty());
}

TEST_F(TableInTransaction, EmptyTableRuns) {
  table.EmptyTable();
  database.Commit();
  table.Open();
  EXPECT_EQ(table.RecordCount(), 0);
}

TEST(TableAddIndex, ExistingNameChangesNothing) {
  MemoryTable table("ADDINDEX");
  table.CreateSimple();
  table.AddIndex("BYNAME", "NAME");
  EXPECT_ENGINE_ERROR(table.AddIndex("byname", "ID"), 20022,
                      "Cannot create index 'byname'. Index already exists - Native error: 20022");
  EXPECT_ENGINE_ERROR(table.AddIndex("", "ID"), 20046,
                      "Invalid index name '' - Native error: 20046");
  EXPECT_ENGINE_ERROR(table.AddIndex("BYID", ""), 20047,
                      "Cannot find index field '' - Native error: 20047");
  table.Open();
  ASSERT_EQ(table.IndexDefs().size(), 1u);
  EXPECT_EQ(table.IndexDefs()[0], (TIndexDef{"BYNAME", "NAME", "", "", 0}));
}

TEST(TableAddIndex, OrdersTheRowsOfAnOpenTable) {
  MemoryTable table("ADDINDEXOPEN");
  table.CreateSimple();
  table.Open();
  table.AppendRow(3, "c");
  table.AppendRow(1, "a");
  table.AppendRow(2, "b");
  table.AddIndex("BYID", "id", ixUnique);
  ASSERT_EQ(table.IndexDefs().size(), 1u);
  EXPECT_EQ(table.IndexDefs()[0].Options, ixUnique);
  table.SetIndexName("BYID");
  EXPECT_EQ(table.Column("ID"), (std::vector<int32_t>{1, 2, 3}));
  table.SetIndexFieldNames("");
  EXPECT_EQ(table.Column("ID"), (std::vector<int32_t>{3, 1, 2}));
}

TEST(TableRecordCount, ClosedEmptiedAndFilled) {
  MemoryTable table("COUNTED");
  table.CreateSimple();
  EXPECT_EQ(table.RecordCount(), 0);
  table.Open();
  for (int i = 0; i < 5; ++i) table.AppendRow(i, "row");
  EXPECT_EQ(table.RecordCount(), 5);
  table.Close();
  EXPECT_EQ(table.RecordCount(), 0);
  table.EmptyTable();
  table.Open();
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_TRUE(table.Eof());
}

TEST(TableRecords, RequiredFieldLeftNullAddsNoRow) {
  MemoryTable table("REQUIRED");
  table.FieldDefs().Add("ID", ftInteger, 0, true);
  table.FieldDefs().Add("NAME", ftString, 10);
  table.CreateTable();
  table.Open();
  table.Append();
  table.FieldByName("NAME").SetAsString("nameless");
  try {
    table.Post();
    ADD_FAILURE() << "no error from Post";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), -8);
    EXPECT_EQ(error.Message().rfind("Voreruza Zizavu Error # -8 ", 0), 0u) << error.Message();
    EXPECT_NE(error.Message().find("ID"), std::string::npos) << error.Message();
  }
  EXPECT_EQ(table.State(), dsInsert);
  EXPECT_EQ(table.FieldByName("NAME").AsString(), "nameless");
  table.Cancel();
  EXPECT_EQ(table.RecordCount(), 0);
}

TEST(TableRecords, EditDeleteAndNavigation) {
  MemoryTable table("NAVIGATED");
  table.CreateSimple();
  table.Open();
  for (int i = 1; i <= 4; ++i) table.AppendRow(i, "row " + std::to_string(i));
  table.Last();
  EXPECT_EQ(table.FieldByName("ID").AsInteger(), 4);
  table.Prior();
  table.Edit();
  table.FieldByName("NAME").SetAsString("third");
  table.Post();
  table.First();
  table.Next();
  table.Delete();
  EXPECT_EQ(table.FieldByName("ID").AsInteger(), 3);
  EXPECT_EQ(table.FieldByName("NAME").AsString(), "third");
  EXPECT_EQ(table.Column("ID"), (std::vector<int32_t>{1, 3, 4}));
  table.First();
  table.Edit();
  table.FieldByName("ID").SetAsInteger(10);
  table.Cancel();
  EXPECT_EQ(table.FieldByName("ID").AsInteger(), 1);
}

TEST(TableRecords, WritesOutsideEditingAreRefused) {
  MemoryTable table("BROWSING");
  table.FieldDefs().Add("ID", ftInteger);
  table.FieldDefs().Add("DATA", ftBlob);
  table.CreateTable();
  table.Open();
  table.Append();
  table.FieldByName("ID").SetAsInteger(1);
  table.Post();
  EXPECT_ENGINE_ERROR(table.FieldByName("ID").SetAsInteger(2), 10007,
                      "Dataset not in edit or insert mode - Native error: 10007");
  EXPECT_ENGINE_ERROR(table.CreateBlobStream(table.FieldByName("DATA"), bmWrite), 10111,
                      "Dataset not in edit or insert mode - Native error: 10111");
  EXPECT_ENGINE_ERROR(table.Post(), 10030,
                      "Dataset is not in insert or edit mode - Native error: 10030");
  table.Close();
  EXPECT_ENGINE_ERROR(table.Next(), 10029, "Dataset is not opened - Native error: 10029");

  table.SetReadOnly(true);
  table.Open();
  EXPECT_ENGINE_ERROR(table.Append(), 10032, "Dataset is in read only mode - Native error: 10032");
  EXPECT_ENGINE_ERROR(table.CreateBlobStream(table.FieldByName("DATA"), bmWrite), 10107,
                      "Dataset is in read only mode - Native error: 10107");
}

TEST(TableRenameAndDelete, EngineRulesOnNames) {
  MemoryTable first("RENAMEFIRST");
  first.CreateSimple();
  MemoryTable second("RENAMESECOND");
  second.CreateSimple();
  EXPECT_ENGINE_ERROR(first.RenameTable("RENAMESECOND"), 30451,
                      "Table RENAMESECOND already exists - Native error: 30451");
  EXPECT_ENGINE_ERROR(first.RenameTable("RENAMEFIRST"), 30452,
                      "Cannot rename table 'RENAMEFIRST' into itself - Native error: 30452");
  second.DeleteTable();
  EXPECT_FALSE(second.Exists());
  first.RenameTable("RENAMESECOND");
  EXPECT_EQ(first.TableName(), "RENAMESECOND");
  EXPECT_TRUE(first.Exists());
  MemoryTable never_made("NEVERMADE");
  EXPECT_ENGINE_ERROR(never_made.EmptyTable(), 20133,
                      "Table 'NEVERMADE' not found - Native error: 20133");
}

TEST(TableExists, FalseWithoutDatabaseOrOnFailure) {
  TABSTable table;
  table.SetTableName("ANY");
  EXPECT_FALSE(table.Exists());
  table.SetDatabaseName("NoSuchDiskDatabase");
  EXPECT_FALSE(table.Exists());
}

}  // namespace
}  // namespace tabshift
