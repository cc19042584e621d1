#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"

namespace tabshift::testing {
namespace {

std::unique_ptr<TABSFieldDefs> TwoIntegers() {
  auto fields = std::make_unique<TABSFieldDefs>();
  AddField(*fields, "A", adtInteger);
  AddField(*fields, "B", adtInteger);
  return fields;
}

std::unique_ptr<TABSIndexDefs> IndexOnA() {
  auto indexes = std::make_unique<TABSIndexDefs>();
  AddIndexDef(*indexes, "ByA", {"A"});
  return indexes;
}

int32_t IndexId(MemoryTable& table, const std::string& name) {
  return table.table->IndexManager()->IndexDefs().ItemByName(name)->ObjectID;
}

TEST(Constraints, UnnamedNotNullConstraintsGetGeneratedNames) {
  TABSConstraintDefs constraints;
  constraints.Add(std::make_unique<TABSConstraintDefNotNull>());
  constraints.Item(0).Target.Name = "A";
  constraints.Add(std::make_unique<TABSConstraintDefNotNull>());
  constraints.Item(1).Target.Name = "B";
  MemoryTable table("T", *TwoIntegers(), {}, constraints);
  TABSConstraintDefs& set = table.table->ConstraintManager()->ConstraintDefs();
  EXPECT_EQ(set.Item(0).Name, "$C_NotNull$T$A");
  EXPECT_EQ(set.Item(1).Name, "$C_NotNull$T$B");
  EXPECT_EQ(set.Item(0).Table.Name, "T");
  EXPECT_EQ(set.Item(1).Target.ObjectID, table.Fields().FieldDefs().Item(1).ObjectID);
  table.NewRecord();
  table.SetInt(0, 1);
  EXPECT_ENGINE_TEXT(table.Post(), 30026,
                     "Constraint '$C_NotNull$T$B' violated. Value in field 'B' cannot be null");
  EXPECT_EQ(table.table->GetRecordCount(table.cursor), 0);
}

TEST(Constraints, CheckConstraintsHoldValuesBetweenTheirLimits) {
  TABSConstraintDefs constraints;
  auto check = std::make_unique<TABSConstraintDefCheck>();
  check->Target.Name = "A";
  check->MinValue.SetAsInteger(10);
  check->MaxValue.SetAsInteger(20);
  constraints.Add(std::move(check));
  MemoryTable table("T", *TwoIntegers(), {}, constraints);
  EXPECT_EQ(table.table->ConstraintManager()->ConstraintDefs().Item(0).Name, "$C_Check$T$A");
  table.NewRecord();
  table.Post();  // NULL passes
  table.Insert(10);
  table.Insert(20);
  table.NewRecord();
  table.SetInt(0, 9);
  EXPECT_ENGINE_TEXT(
      table.Post(), 30029,
      "Constraint '$C_Check$T$A' violated. Value in field 'A' cannot be lower than '10'");
  table.SetInt(0, 21);
  EXPECT_ENGINE_TEXT(
      table.Post(), 30030,
      "Constraint '$C_Check$T$A' violated. Value in field 'A' cannot be greater than '20'");
  EXPECT_EQ(table.table->GetRecordCount(table.cursor), 3);
}

TEST(Constraints, ResolvingAnUnknownFieldOrIndexFails) {
  TABSConstraintDefs constraints;
  constraints.Add(std::make_unique<TABSConstraintDefNotNull>());
  constraints.Item(0).Target.Name = "Missing";
  TABSCursorState cursor;
  cursor.table_name = "Unresolved";
  TABSTableData& table = MemoryDatabaseData().GetTableData(cursor);
  EXPECT_ENGINE_TEXT(table.CreateTable(cursor, *TwoIntegers(), {}, constraints), 30027,
                     "Field 'Missing' not found");
  TABSConstraintDefs keys;
  keys.Add(std::make_unique<TABSConstraintDefUnique>());
  keys.Item(0).Target.Name = "NoSuchIndex";
  EXPECT_ENGINE_TEXT(table.CreateTable(cursor, *TwoIntegers(), {}, keys), 30325,
                     "Index 'NoSuchIndex' not found");
  table.DropTable(cursor, false);
}

TEST(Constraints, PrimaryKeyRefusesAllNullKeysAndDuplicates) {
  TABSIndexDefs indexes;
  TABSIndexDef& primary = AddIndexDef(indexes, "PK", {"A", "B"});
  primary.Primary = true;
  MemoryTable table("Keys", *TwoIntegers());
  table.table->AddIndex(table.cursor, primary);
  EXPECT_EQ(table.table->ConstraintManager()->ConstraintDefs().Item(0).Name, "C_PK$A$B");
  table.NewRecord();
  EXPECT_ENGINE_TEXT(table.Post(), 30330,
                     "Constraint 'C_PK$A$B' violated. Value in field 'A,B' cannot be null");
  table.NewRecord();
  table.SetInt(0, 1);
  table.Post();  // one NULL key field passes
  table.NewRecord();
  table.SetInt(0, 1);
  EXPECT_ENGINE_TEXT(table.Post(), 30319,
                     "Primary Key constraint 'C_PK$A$B' violated. Duplicate found.");
  table.SetInt(1, 2);
  table.Post();
  // An update that keeps its own key is no duplicate of itself.
  std::vector<uint8_t> first_read = table.buffer;
  EXPECT_TRUE(table.table->CheckConstraints(0, table.buffer.data(), true, false,
                                            table.cursor.record_id, false, first_read.data()));
  table.SetNull(1);
  EXPECT_FALSE(table.table->CheckConstraints(0, table.buffer.data(), true, false,
                                             table.cursor.record_id, false, first_read.data()));
  table.table->DropIndex(table.cursor, "PK");
  EXPECT_EQ(table.table->ConstraintManager()->ConstraintDefs().Count(), 0);
}

TEST(Constraints, UniqueIndexRefusesDuplicates) {
  MemoryTable table("Unique", *TwoIntegers());
  TABSIndexDefs indexes;
  TABSIndexDef& unique = AddIndexDef(indexes, "UA", {"A"});
  unique.Unique = true;
  table.table->AddIndex(table.cursor, unique);
  table.Insert(5);
  table.NewRecord();
  table.SetInt(0, 5);
  EXPECT_ENGINE_TEXT(table.Post(), 30320,
                     "Constraint unique 'C_Unique$A' violated. Duplicate found.");
}

TEST(Constraints, UnsupportedKindsAreRefused) {
  class Foreign : public TABSConstraintDef {
   public:
    Foreign() : TABSConstraintDef(1) {}
    const char* ClassName() const override { return "Foreign"; }
  };
  TABSConstraintDefs foreign;
  foreign.Add(std::make_unique<Foreign>());
  MemoryTable table("Kinds", *TwoIntegers());
  EXPECT_ENGINE_TEXT(table.table->SetConstraintDefs(foreign), 30036, "Not implemented yet");
}

class IndexedTable : public ::testing::Test {
 protected:
  IndexedTable() : table("Indexed", *TwoIntegers(), *IndexOnA()) {
    table.cursor.index_id = IndexId(table, "ByA");
  }
  MemoryTable table;
};

TEST_F(IndexedTable, NavigationFollowsTheIndexThroughInsertsUpdatesAndDeletes) {
  std::mt19937 random(7);
  std::vector<int32_t> model;
  for (int i = 0; i < 300; ++i) {
    const auto value = static_cast<int32_t>(random() % 100);
    table.Insert(value);
    model.push_back(value);
  }
  for (int round = 0; round < 100; ++round) {
    const auto record_no = static_cast<int64_t>(random() % model.size()) + 1;
    ASSERT_TRUE(table.table->SetRecNo(table.cursor, record_no));
    const int32_t old_value = table.GetInt(0);
    const auto found = std::find(model.begin(), model.end(), old_value);
    ASSERT_NE(found, model.end());
    if (round % 2 == 0) {
      const auto new_value = static_cast<int32_t>(random() % 100);
      table.SetInt(0, new_value);
      ASSERT_TRUE(table.table->UpdateRecord(table.cursor));
      *found = new_value;
    } else {
      ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
      model.erase(found);
    }
  }
  std::sort(model.begin(), model.end());
  EXPECT_EQ(table.Column0(), model);
  std::vector<int32_t> backwards;
  for (auto where = TABSNavigateTo::Last;
       table.table->NavigateRecord(table.cursor, where) == TABSReadResult::Found;
       where = TABSNavigateTo::Prior) {
    backwards.push_back(table.GetInt(0));
  }
  std::reverse(backwards.begin(), backwards.end());
  EXPECT_EQ(backwards, model);
  const TABSIndexDef* definition = table.table->IndexManager()->IndexDefs().ItemByName("ByA");
  EXPECT_EQ(definition->VersionStamp, table.table->RecordManager()->ChangeCounter());
}

TEST_F(IndexedTable, NavigationEndsReportBeginningAndEnd) {
  EXPECT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::First), TABSReadResult::End);
  table.Insert(2);
  table.Insert(1);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Last), TABSReadResult::Found);
  EXPECT_EQ(table.GetInt(0), 2);
  EXPECT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Next), TABSReadResult::End);
  EXPECT_TRUE(table.cursor.at_end);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Prior),
            TABSReadResult::Found);
  EXPECT_EQ(table.GetInt(0), 2);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Prior),
            TABSReadResult::Found);
  EXPECT_EQ(table.GetInt(0), 1);
  EXPECT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Prior),
            TABSReadResult::Beginning);
}

TEST_F(IndexedTable, FilteredNavigationCountsAndPositions) {
  for (int i = 20; i > 0; --i) table.Insert(i);
  table.cursor.filter = [&](const uint8_t* record) {
    int32_t value = 0;
    table.Fields().GetFieldData(0, &value, record);
    return value % 3 == 0;
  };
  EXPECT_EQ(table.Column0(), (std::vector<int32_t>{3, 6, 9, 12, 15, 18}));
  EXPECT_EQ(table.table->FilteredRecordCount(table.cursor), 6);
  ASSERT_TRUE(table.table->SetRecNo(table.cursor, 4));
  EXPECT_EQ(table.GetInt(0), 12);
  EXPECT_EQ(table.table->GetRecNo(table.cursor), 4);
  EXPECT_FALSE(table.table->SetRecNo(table.cursor, 7));
  ASSERT_TRUE(table.table->LocateRecord(table.cursor, [&](const uint8_t* record) {
    int32_t value = 0;
    table.Fields().GetFieldData(0, &value, record);
    return value > 10;
  }));
  EXPECT_EQ(table.GetInt(0), 12);
  std::vector<uint8_t> key(table.buffer.size());
  std::memset(key.data(), 0xFF, 1);
  const int32_t wanted = 15;
  table.Fields().SetFieldData(0, &wanted, key.data());
  ASSERT_TRUE(table.table->FindKey(table.cursor, key.data()));
  EXPECT_EQ(table.GetInt(0), 15);
  const int32_t filtered_out = 16;
  table.Fields().SetFieldData(0, &filtered_out, key.data());
  EXPECT_FALSE(table.table->FindKey(table.cursor, key.data()));
}

TEST_F(IndexedTable, DeleteMovesTheCursorToTheNextRecordInItsOrder) {
  for (const int32_t value : {30, 10, 20}) table.Insert(value);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::First),
            TABSReadResult::Found);
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  EXPECT_EQ(table.GetInt(0), 20);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::Last), TABSReadResult::Found);
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  EXPECT_EQ(table.GetInt(0), 20);  // no next: the prior one
}

TEST_F(IndexedTable, SortIndexIsReusedOrAddedAsTemporary) {
  TABSBaseIndexManager& indexes = *table.table->IndexManager();
  EXPECT_EQ(indexes.FindOrAddSortIndex(0, {{"a"}}), IndexId(table, "ByA"));
  for (int i = 0; i < 5; ++i) {
    table.NewRecord();
    table.SetInt(0, i);
    table.SetInt(1, 10 - i);
    table.Post();
  }
  const int32_t by_b = indexes.FindOrAddSortIndex(0, {{"B"}});
  const TABSIndexDef& temporary = *indexes.IndexDefs().ItemByObjectID(by_b);
  EXPECT_TRUE(temporary.Temporary);
  EXPECT_EQ(temporary.Name.rfind("TEMPORARY_INDEX_{", 0), 0u);
  EXPECT_EQ(temporary.Name.size(), 16u + 38u);
  EXPECT_EQ(temporary.VersionStamp, table.table->RecordManager()->ChangeCounter());
  table.cursor.index_id = by_b;
  EXPECT_EQ(table.Column0(), (std::vector<int32_t>{4, 3, 2, 1, 0}));
  table.table->DropIndex(table.cursor, temporary.Name);
  EXPECT_EQ(table.cursor.index_id, -1);
}

TEST_F(IndexedTable, EmptyTableClearsIndexesAndRestartsNumbering) {
  for (int i = 0; i < 10; ++i) table.Insert(i);
  table.table->EmptyTable(table.cursor.session);
  EXPECT_EQ(table.Column0(), std::vector<int32_t>{});
  table.Insert(3);
  EXPECT_EQ(table.Column0(), std::vector<int32_t>{3});
}

TEST(TableData, DropAndRenameAreRefusedWhileOtherCursorsAreAttached) {
  MemoryTable table("Busy", *TwoIntegers());
  TABSCursorState other;
  other.table_name = "Busy";
  table.table->AttachCursor(other);
  EXPECT_ENGINE_TEXT(table.table->DropTable(table.cursor, false), 20017,
                     "Cannot delete table 'Busy'. Table is open by another dataset");
  EXPECT_FALSE(table.table->DropTable(table.cursor, true));
  EXPECT_ENGINE_TEXT(table.table->RenameTable("Quiet"), 10150,
                     "Cannot rename table 'Busy'. Table is open by another dataset");
  table.table->DetachCursor(other);
}

TEST(TableData, RenameFieldRenamesIndexColumns) {
  MemoryTable table("Fields", *TwoIntegers(), *IndexOnA());
  table.table->RenameField("a", "Alpha");
  EXPECT_EQ(table.table->IndexManager()->IndexDefs().Item(0).Columns[0].ColumnName, "Alpha");
  EXPECT_ENGINE_TEXT(table.table->RenameField("Alpha", "b"), 30344,
                     "Cannot rename field 'Alpha'. Field 'b' already exists");
  EXPECT_ENGINE_TEXT(table.table->RenameField("Gamma", "C"), 30343, "Field 'Gamma' not found");
}

TEST(TableData, TablesAreFoundByNameWithoutRegardToCase) {
  MemoryTable table("Named", *TwoIntegers());
  TABSCursorState cursor;
  cursor.table_name = "NAMED";
  EXPECT_EQ(MemoryDatabaseData().FindTableData(cursor), table.table);
  table.Drop();
  EXPECT_EQ(MemoryDatabaseData().FindTableData(cursor), nullptr);
}

}  // namespace
}  // namespace tabshift::testing
