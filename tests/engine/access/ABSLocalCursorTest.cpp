#include "engine/access/ABSLocalCursor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/access/CursorTestSupport.h"
#include "engine/core/ABSMemory.h"

namespace tabshift::testing {
namespace {

std::unique_ptr<TABSFieldDefs> Integers(const std::vector<std::string>& names) {
  auto fields = std::make_unique<TABSFieldDefs>();
  for (const std::string& name : names) AddField(*fields, name, adtInteger);
  return fields;
}

std::unique_ptr<TABSConstraintDefs> NotNull(const std::string& field) {
  auto constraints = std::make_unique<TABSConstraintDefs>();
  constraints->Add(std::make_unique<TABSConstraintDefNotNull>());
  constraints->Item(0).Target.Name = field;
  return constraints;
}

std::vector<uint8_t> Bookmark(int32_t page_no, int16_t item_no) {
  std::vector<uint8_t> bytes(TABSCursor::kRecordTailSize, 0);
  TABSCursor::WriteRecordId(bytes.data(), {page_no, item_no});
  return bytes;
}

class LocalCursorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& name : created_) {
      if (session.TableExists(name)) DeleteTable(session, name);
    }
  }
  void Create(const std::string& name, const TABSFieldDefs& fields,
              const TABSIndexDefs& indexes = {}, const TABSConstraintDefs& constraints = {}) {
    CreateTable(session, name, fields, indexes, constraints);
    Track(name);
  }
  // Drops the table after the test when it still exists.
  void Track(const std::string& name) { created_.push_back(name); }

  ConnectedSession session;

 private:
  std::vector<std::string> created_;
};

TEST_F(LocalCursorTest, CreateTableOnAnExistingNameReplacesTheTable) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("Replaced", *Integers({"A"}), indexes);
  {
    OpenCursor table(session, "Replaced");
    table.AppendInts({1, 2, 3});
  }
  TABSFieldDefs text;
  AddField(text, "B", adtString, 10);
  Create("Replaced", text);
  OpenCursor table(session, "Replaced");
  EXPECT_EQ(table.cursor.GetRecordCount(), 0);
  ASSERT_EQ(table.cursor.FieldDefs().Count(), 1);
  EXPECT_EQ(table.cursor.FieldDefs().Item(0).Name, "B");
  EXPECT_EQ(table.cursor.GetIndexDefs().Count(), 0);
}

TEST_F(LocalCursorTest, RecordLayoutPutsTheRecordIdAfterTheData) {
  TABSFieldDefs fields;
  AddField(fields, "S", adtString, 20);
  AddField(fields, "Data", adtBlob);
  Create("Layout", fields);
  OpenCursor table(session, "Layout");
  EXPECT_EQ(table.cursor.DataSize(), 1 + 21 + 10);
  EXPECT_EQ(table.cursor.RecordIdOffset(), 32);
  EXPECT_EQ(table.cursor.RecordBufferSize(), 39);
  EXPECT_EQ(table.cursor.AllFieldDefs().Item(1).FieldNo, 1);
  table.Append();
  EXPECT_EQ(table.current[0], 0xFF);
  EXPECT_EQ(table.cursor.BufferRecordId(table.current), TABSRecordId());
  EXPECT_EQ(table.current[38], TABSCursor::kFlagInserted);
}

TEST_F(LocalCursorTest, RequiredFieldLeftNullFailsWithTheNotNullMessageAndAddsNoRow) {
  Create("Required", *Integers({"A", "B"}), {}, *NotNull("B"));
  OpenCursor table(session, "Required");
  table.Append();
  table.SetInt(0, 1);
  EXPECT_EQ(table.cursor.PostRecord(true), result_code::kCheckFailed);
  const std::string check =
      "Constraint '$C_NotNull$Required$B' violated. Value in field 'B' cannot be null - Native "
      "error: 30026";
  EXPECT_EQ(table.cursor.ResultText(), check);
  EXPECT_EQ(table.cursor.GetRecordCount(), 0);
  try {
    CheckResultCode(table.cursor.ResultCode(), table.cursor.ResultText());
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.Message(), "Voreruza Zizavu Error # -8 " + check);
  }
  table.SetInt(1, 2);
  EXPECT_EQ(table.cursor.PostRecord(true), result_code::kOk);
  EXPECT_EQ(table.cursor.ResultText(), "");
  EXPECT_EQ(table.cursor.GetRecordCount(), 1);
}

TEST_F(LocalCursorTest, CheckRecordRunsTheConstraintChecks) {
  Create("Checked", *Integers({"A"}), {}, *NotNull("A"));
  OpenCursor table(session, "Checked");
  table.Append();
  EXPECT_FALSE(table.cursor.CheckRecord(false));
  EXPECT_ENGINE_CODE(table.cursor.CheckRecord(true), 30026);
  table.SetInt(0, 7);
  EXPECT_TRUE(table.cursor.CheckRecord(true));
}

TEST_F(LocalCursorTest, UpdateOfARecordChangedMeanwhileIsRefusedAndLeavesItUnchanged) {
  Create("Conflict", *Integers({"A", "B"}));
  OpenCursor one(session, "Conflict");
  OpenCursor two(session, "Conflict");
  one.Append();
  one.SetInt(0, 1);
  one.SetInt(1, 10);
  ASSERT_EQ(one.cursor.PostRecord(true), 0);
  ASSERT_EQ(one.First(), TABSReadResult::Found);
  one.Edit();
  ASSERT_EQ(one.cursor.LockRecordForEdit(), 0);
  ASSERT_EQ(two.First(), TABSReadResult::Found);
  two.Edit();
  two.SetInt(1, 20);
  ASSERT_EQ(two.cursor.PostRecord(false), 0);
  one.SetInt(1, 30);
  EXPECT_EQ(one.cursor.PostRecord(false), result_code::kUpdateModifiedByOther);
  OpenCursor reader(session, "Conflict");
  EXPECT_EQ(reader.Column(1), std::vector<int32_t>{20});
  EXPECT_THROW(CheckResultCode(one.cursor.ResultCode(), one.cursor.ResultText()), EABSEngineError);
}

TEST_F(LocalCursorTest, UpdateAndDeleteOfARecordDeletedMeanwhileAreRefused) {
  Create("Vanished", *Integers({"A"}));
  OpenCursor one(session, "Vanished");
  OpenCursor two(session, "Vanished");
  one.AppendInts({1});
  ASSERT_EQ(one.First(), TABSReadResult::Found);
  one.Edit();
  ASSERT_EQ(two.First(), TABSReadResult::Found);
  ASSERT_EQ(two.cursor.DeleteRecord(), 0);
  one.SetInt(0, 2);
  EXPECT_EQ(one.cursor.PostRecord(false), result_code::kUpdateDeletedByOther);
  EXPECT_EQ(one.cursor.DeleteRecord(), result_code::kDeleteDeletedByOther);
  EXPECT_EQ(one.cursor.GetRecordCount(), 0);
}

TEST_F(LocalCursorTest, DeleteOfARecordChangedMeanwhileIsRefused) {
  Create("DeleteConflict", *Integers({"A"}));
  OpenCursor one(session, "DeleteConflict");
  OpenCursor two(session, "DeleteConflict");
  one.AppendInts({1, 2});
  ASSERT_EQ(one.First(), TABSReadResult::Found);
  ASSERT_EQ(two.First(), TABSReadResult::Found);
  two.Edit();
  two.SetInt(0, 5);
  ASSERT_EQ(two.cursor.PostRecord(false), 0);
  EXPECT_EQ(one.cursor.DeleteRecord(), result_code::kDeleteModifiedByOther);
  EXPECT_EQ(one.cursor.GetRecordCount(), 2);
  ASSERT_EQ(one.cursor.NavigateRecord(TABSGetRecordMode::Current), TABSReadResult::Found);
  EXPECT_EQ(one.cursor.DeleteRecord(), 0);
  EXPECT_EQ(one.Column(0), std::vector<int32_t>{2});
}

TEST_F(LocalCursorTest, CompareBookmarksWithoutIndexOrdersByRecordId) {
  Create("Bookmarks", *Integers({"A"}));
  OpenCursor table(session, "Bookmarks");
  const auto a = Bookmark(5, 0);
  const auto b = Bookmark(5, 1);
  const auto c = Bookmark(6, 0);
  EXPECT_EQ(table.cursor.CompareBookmarks(a.data(), b.data()), -1);
  EXPECT_EQ(table.cursor.CompareBookmarks(b.data(), c.data()), -1);
  EXPECT_EQ(table.cursor.CompareBookmarks(a.data(), c.data()), -1);
  EXPECT_EQ(table.cursor.CompareBookmarks(c.data(), a.data()), 1);
  EXPECT_EQ(table.cursor.CompareBookmarks(b.data(), b.data()), 0);
}

TEST_F(LocalCursorTest, CompareBookmarksWithAnIndexOrdersByItsKey) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("KeyBookmarks", *Integers({"A"}), indexes);
  OpenCursor table(session, "KeyBookmarks");
  table.AppendInts({30, 10, 10});
  table.cursor.SetIndexName("ByA");
  EXPECT_EQ(table.cursor.IndexName(), "ByA");
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{10, 10, 30}));
  const auto first = Bookmark(0, 0);
  const auto second = Bookmark(1, 0);
  const auto third = Bookmark(2, 0);
  EXPECT_EQ(table.cursor.CompareBookmarks(first.data(), second.data()), 1);
  EXPECT_EQ(table.cursor.CompareBookmarks(second.data(), third.data()), -1);
  table.cursor.SetIndexName("NoSuchIndex");
  EXPECT_EQ(table.cursor.IndexID(), -1);
  EXPECT_EQ(table.cursor.CompareBookmarks(first.data(), second.data()), -1);
}

TEST_F(LocalCursorTest, NavigationReportsFoundBeginningAndEnd) {
  Create("Navigation", *Integers({"A"}));
  OpenCursor table(session, "Navigation");
  EXPECT_EQ(table.First(), TABSReadResult::End);
  table.AppendInts({1, 2, 3});
  table.cursor.MoveToBeginning();
  EXPECT_EQ(table.cursor.NavigateRecord(TABSGetRecordMode::Current), TABSReadResult::Beginning);
  EXPECT_EQ(table.cursor.NavigateRecord(TABSGetRecordMode::Prior), TABSReadResult::Beginning);
  std::vector<int32_t> forward;
  while (table.Next() == TABSReadResult::Found) {
    forward.push_back(table.GetInt(0));
    EXPECT_EQ(table.cursor.BufferRecordId(table.current), table.cursor.RecordId());
    EXPECT_EQ(table.current[table.cursor.RecordIdOffset() + 6], TABSCursor::kFlagStored);
  }
  EXPECT_EQ(forward, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(table.cursor.AtEnd());
  EXPECT_EQ(table.cursor.NavigateRecord(TABSGetRecordMode::Current), TABSReadResult::End);
  std::vector<int32_t> backward;
  while (table.cursor.NavigateRecord(TABSGetRecordMode::Prior) == TABSReadResult::Found) {
    backward.push_back(table.GetInt(0));
  }
  EXPECT_EQ(backward, (std::vector<int32_t>{3, 2, 1}));
  EXPECT_TRUE(table.cursor.AtBeginning());
  table.cursor.MoveToEnd();
  ASSERT_EQ(table.cursor.NavigateRecord(TABSGetRecordMode::Prior), TABSReadResult::Found);
  EXPECT_EQ(table.GetInt(0), 3);
  const TABSCursorPosition at_last = table.cursor.SavePosition();
  table.First();
  table.cursor.RestorePosition(at_last);
  ASSERT_EQ(table.cursor.NavigateRecord(TABSGetRecordMode::Current), TABSReadResult::Found);
  EXPECT_EQ(table.GetInt(0), 3);
}

TEST_F(LocalCursorTest, RecordCountsAndNumbersFollowTheFilter) {
  Create("Counted", *Integers({"A"}));
  OpenCursor table(session, "Counted");
  table.AppendInts({1, 2, 3, 4, 5});
  EXPECT_EQ(table.cursor.GetRecordCount(), 5);
  ASSERT_TRUE(table.cursor.SetRecNo(3));
  EXPECT_EQ(table.GetInt(0), 3);
  EXPECT_EQ(table.cursor.GetRecNo(), 3);
  const TABSBaseFieldManager& fields = *table.cursor.TableData()->FieldManager();
  table.cursor.SetFilter(
      [&](const uint8_t* record) { return fields.FieldValue(0, record).GetAsInteger() % 2 == 1; });
  EXPECT_TRUE(table.cursor.AtBeginning());
  EXPECT_EQ(table.cursor.GetRecordCount(), 3);
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{1, 3, 5}));
  ASSERT_TRUE(table.cursor.SetRecNo(2));
  EXPECT_EQ(table.GetInt(0), 3);
  EXPECT_EQ(table.cursor.GetRecNo(), 2);
  table.cursor.ClearFilter();
  ASSERT_EQ(table.First(), TABSReadResult::Found);
  ASSERT_EQ(table.cursor.DeleteRecord(), 0);
  EXPECT_EQ(table.cursor.GetRecordCount(), 4);
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{2, 3, 4, 5}));
}

// A field type with a value to insert and one to update it to.
struct TypeCase {
  const char* name;
  AdvancedDataType type;
  int32_t size;
  std::function<void(TABSVariant&)> first;
  std::function<void(TABSVariant&)> second;
};

std::vector<TypeCase> EveryFieldType() {
  const auto bytes = [](std::vector<uint8_t> data) {
    return [data](TABSVariant& value) {
      value.SetBuffer(data.data(), static_cast<int32_t>(data.size()), true, bdtBytes);
    };
  };
  return {
      {"Char1", adtChar, 1, [](auto& v) { v.SetAsString("x"); },
       [](auto& v) { v.SetAsString("y"); }},
      {"Str1", adtString, 1, [](auto& v) { v.SetAsString("a"); },
       [](auto& v) { v.SetAsString("z"); }},
      {"Str40", adtString, 40, [](auto& v) { v.SetAsString(std::string(40, 'q')); },
       [](auto& v) { v.SetAsString("short"); }},
      {"Wide", adtWideString, 10, [](auto& v) { v.SetAsWideString(u"wide text"); },
       [](auto& v) { v.SetAsWideString(u"w"); }},
      {"Tiny", adtShortInt, 0, [](auto& v) { v.SetAsShortInt(-5); },
       [](auto& v) { v.SetAsShortInt(100); }},
      {"Small", adtSmallInt, 0, [](auto& v) { v.SetAsSmallInt(-1234); },
       [](auto& v) { v.SetAsSmallInt(32767); }},
      {"Int", adtInteger, 0, [](auto& v) { v.SetAsInteger(123456789); },
       [](auto& v) { v.SetAsInteger(-2); }},
      {"Large", adtLargeInt, 0, [](auto& v) { v.SetAsLargeInt(int64_t{1} << 40); },
       [](auto& v) { v.SetAsLargeInt(-(int64_t{1} << 62)); }},
      {"Byte", adtByte, 0, [](auto& v) { v.SetAsByte(200); }, [](auto& v) { v.SetAsByte(1); }},
      {"Word", adtWord, 0, [](auto& v) { v.SetAsWord(60000); }, [](auto& v) { v.SetAsWord(7); }},
      {"Card", adtCardinal, 0, [](auto& v) { v.SetAsCardinal(4294967295u); },
       [](auto& v) { v.SetAsCardinal(3); }},
      {"Single", adtSingle, 0, [](auto& v) { v.SetAsSingle(1.5f); },
       [](auto& v) { v.SetAsSingle(-0.25f); }},
      {"Float", adtFloat, 0, [](auto& v) { v.SetAsFloat(3.25); },
       [](auto& v) { v.SetAsFloat(-1e300); }},
      {"Ext", adtExtended, 0, [](auto& v) { v.SetAsExtended(2.5); },
       [](auto& v) { v.SetAsExtended(-8); }},
      {"Logical", adtLogical, 0, [](auto& v) { v.SetAsLogical(true); },
       [](auto& v) { v.SetAsLogical(false); }},
      {"Money", adtCurrency, 0, [](auto& v) { v.SetAsCurrency(12.5); },
       [](auto& v) { v.SetAsCurrency(-3.75); }},
      {"Date", adtDate, 0, [](auto& v) { v.SetAsEngineDate(730000); },
       [](auto& v) { v.SetAsEngineDate(1); }},
      {"Time", adtTime, 0, [](auto& v) { v.SetAsEngineTime(3600000); },
       [](auto& v) { v.SetAsEngineTime(0); }},
      {"Stamp", adtDateTime, 0,
       [](auto& v) {
         v.SetAsEngineDateTime({730000, 1000});
       },
       [](auto& v) {
         v.SetAsEngineDateTime({2, 3});
       }},
      {"Bytes", adtBytes, 4, bytes({1, 2, 3, 4}), bytes({0, 0, 0, 9})},
      {"AutoInc", adtAutoIncInteger, 0, [](auto& v) { v.SetAsInteger(100); },
       [](auto& v) { v.SetAsInteger(101); }},
  };
}

TEST_F(LocalCursorTest, EveryFieldTypeSurvivesInsertUpdateAndDelete) {
  const std::vector<TypeCase> cases = EveryFieldType();
  TABSFieldDefs fields;
  for (const TypeCase& type : cases) AddField(fields, type.name, type.type, type.size);
  Create("AllTypes", fields);
  OpenCursor table(session, "AllTypes");
  const auto write = [&](bool second) {
    for (size_t i = 0; i < cases.size(); ++i) {
      TABSVariant value;
      (second ? cases[i].second : cases[i].first)(value);
      table.cursor.SetFieldValue(static_cast<int>(i), value);
    }
  };
  const auto check = [&](bool second) {
    ASSERT_EQ(table.First(), TABSReadResult::Found);
    for (size_t i = 0; i < cases.size(); ++i) {
      TABSVariant expected;
      (second ? cases[i].second : cases[i].first)(expected);
      const TABSVariant found = table.cursor.GetFieldValue(static_cast<int>(i));
      ASSERT_FALSE(found.IsNull()) << cases[i].name;
      EXPECT_EQ(found.Compare(expected), TABSCompareResult::Equal)
          << cases[i].name << ": " << found.GetAsString() << " != " << expected.GetAsString();
    }
  };
  table.Append();
  write(false);
  ASSERT_EQ(table.cursor.PostRecord(true), 0) << table.cursor.ResultText();
  check(false);
  table.Edit();
  write(true);
  ASSERT_EQ(table.cursor.PostRecord(false), 0) << table.cursor.ResultText();
  check(true);
  EXPECT_EQ(table.cursor.GetRecordCount(), 1);
  ASSERT_EQ(table.cursor.DeleteRecord(), 0);
  EXPECT_EQ(table.cursor.GetRecordCount(), 0);
}

TEST_F(LocalCursorTest, NullAndEmptyTextAreStoredAsNull) {
  TABSFieldDefs fields;
  AddField(fields, "S", adtString, 5);
  AddField(fields, "I", adtInteger);
  Create("Nulls", fields);
  OpenCursor table(session, "Nulls");
  table.Append();
  TABSVariant empty;
  empty.SetAsString("");
  table.cursor.SetFieldValue(0, empty);
  TABSVariant long_text;
  long_text.SetAsString("abcdefgh");
  table.cursor.SetFieldValue(0, long_text);
  table.cursor.SetFieldValue(1, TABSVariant(bdtInteger));
  ASSERT_EQ(table.cursor.PostRecord(true), 0);
  ASSERT_EQ(table.First(), TABSReadResult::Found);
  EXPECT_EQ(table.cursor.GetFieldValue(0).GetAsString(), "abcde");
  EXPECT_TRUE(table.cursor.GetFieldValue(1).IsNull());
  EXPECT_FALSE(table.cursor.GetFieldData(1, nullptr));
  table.Edit();
  table.cursor.SetFieldValue(0, empty);
  ASSERT_EQ(table.cursor.PostRecord(false), 0);
  ASSERT_EQ(table.First(), TABSReadResult::Found);
  EXPECT_TRUE(table.cursor.GetFieldValue(0).IsNull());
}

TEST_F(LocalCursorTest, AutoincrementValuesAreAssignedOnInsert) {
  TABSFieldDefs fields;
  AddField(fields, "ID", adtAutoIncInteger);
  AddField(fields, "A", adtInteger);
  Create("Counter", fields);
  OpenCursor table(session, "Counter");
  for (int32_t value : {7, 8, 9}) {
    table.Append();
    table.SetInt(1, value);
    ASSERT_EQ(table.cursor.PostRecord(true), 0);
    EXPECT_EQ(table.GetInt(0), value - 6);
    EXPECT_EQ(table.cursor.BufferRecordId(table.current), table.cursor.RecordId());
  }
  EXPECT_EQ(table.cursor.GetLastAutoincValue(0), 3);
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(LocalCursorTest, BadFieldNumbersRaiseTheirNativeErrors) {
  TABSFieldDefs fields;
  AddField(fields, "A", adtInteger);
  AddField(fields, "Data", adtBlob);
  Create("BadNumbers", fields);
  OpenCursor table(session, "BadNumbers");
  OpenCursor other(session, "BadNumbers");
  table.Append();
  other.Append();
  int32_t value = 0;
  const std::string text = "Invalid field number - FieldNo = %d, FieldCount = 2 - Native error: ";
  struct Case {
    std::function<void()> call;
    int field_no;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {[&] { table.cursor.GetFieldData(-1, &value); }, -1, 10005},
      {[&] { table.cursor.SetFieldData(2, &value); }, 2, 10006},
      {[&] { table.cursor.GetFieldValue(5); }, 5, 20191},
      {[&] { table.cursor.SetFieldValue(2, TABSVariant()); }, 2, 20192},
      {[&] { table.cursor.CopyFieldValue(3, true, other.cursor, 0); }, 3, 10501},
      {[&] { table.cursor.CopyFieldValue(0, false, other.cursor, 9); }, 9, 10502},
      {[&] { table.cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Write, 7); }, 7, 10110},
      {[&] { table.cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Read, 0); }, 0, 10110},
      {[&] { table.cursor.CloseBlob(-3); }, -3, 10118},
  };
  for (const Case& c : cases) {
    std::string expected = text;
    expected.replace(expected.find("%d"), 2, std::to_string(c.field_no));
    EXPECT_ENGINE_ERROR(c.call(), c.code, expected + std::to_string(c.code));
  }
}

TEST_F(LocalCursorTest, TableLevelOperationsRefuseMissingAndClashingNames) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("Present", *Integers({"A"}), indexes);
  Create("Other", *Integers({"A"}));
  TABSLocalCursor cursor(session);
  cursor.TableName = "Nowhere";
  EXPECT_ENGINE_TEXT(cursor.DeleteTable(), 20132, "Table 'Nowhere' not found");
  EXPECT_ENGINE_TEXT(cursor.EmptyTable(), 20133, "Table 'Nowhere' not found");
  EXPECT_ENGINE_TEXT(cursor.RenameTable("Elsewhere"), 20134, "Table 'Nowhere' not found");
  EXPECT_ENGINE_TEXT(cursor.OpenTable({}, {}, {}), 10028, "Table not found, table name = Nowhere");
  EXPECT_FALSE(cursor.Opened());
  cursor.TableName = "Present";
  EXPECT_ENGINE_TEXT(cursor.RenameTable("OTHER"), 30451, "Table OTHER already exists");
  EXPECT_ENGINE_TEXT(cursor.RenameTable("Present"), 30452,
                     "Cannot rename table 'Present' into itself");
  cursor.OpenTable({}, {}, {});
  TABSIndexDef again;
  again.Name = "bya";
  again.Columns.push_back({"A"});
  EXPECT_ENGINE_TEXT(cursor.AddIndex(again), 20022,
                     "Cannot create index 'bya'. Index already exists");
  EXPECT_ENGINE_TEXT(cursor.DropIndex("ByB"), 20021, "Cannot delete index 'ByB'. Index not found");
  EXPECT_TRUE(cursor.LockTable(TABSLocalCursor::kLockExclusive, 50, 100));
}

TEST_F(LocalCursorTest, FailedCreateTableLeavesNoTableBehind) {
  TABSLocalCursor cursor(session);
  cursor.TableName = "NoFields";
  EXPECT_ENGINE_CODE(cursor.CreateTable({}, {}, {}), 10025);
  EXPECT_FALSE(session.TableExists("NoFields"));
  EXPECT_ENGINE_CODE(cursor.OpenTable({}, {}, {}), 10028);
}

TEST_F(LocalCursorTest, RenameEmptyAndDeleteTable) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("Before", *Integers({"A"}), indexes);
  {
    OpenCursor table(session, "Before");
    table.AppendInts({4, 5});
  }
  TABSLocalCursor cursor(session);
  cursor.TableName = "Before";
  cursor.RenameTable("After");
  Track("After");
  EXPECT_EQ(cursor.TableName, "After");
  EXPECT_FALSE(session.TableExists("Before"));
  {
    OpenCursor table(session, "After");
    EXPECT_EQ(table.Column(0), (std::vector<int32_t>{4, 5}));
  }
  cursor.EmptyTable();
  OpenCursor table(session, "After");
  EXPECT_EQ(table.cursor.GetRecordCount(), 0);
  EXPECT_EQ(table.cursor.GetIndexDefs().Count(), 1);
  EXPECT_ENGINE_CODE(cursor.DeleteTable(), 20017);
  table.cursor.CloseTable();
  cursor.DeleteTable();
  EXPECT_FALSE(session.TableExists("After"));
}

TEST_F(LocalCursorTest, RenameFieldRenamesInTheTableAndItsIndexes) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("Renamed", *Integers({"A", "B"}), indexes);
  OpenCursor table(session, "Renamed");
  table.cursor.RenameField("a", "First");
  EXPECT_EQ(table.cursor.FieldDefs().Item(0).Name, "First");
  EXPECT_EQ(table.cursor.AllFieldDefs().Item(0).Name, "First");
  EXPECT_EQ(table.cursor.GetIndexDefs().Item(0).Columns[0].ColumnName, "First");
  EXPECT_ENGINE_TEXT(table.cursor.RenameField("Z", "Y"), 30343, "Field 'Z' not found");
  EXPECT_ENGINE_TEXT(table.cursor.RenameField("First", "b"), 30344,
                     "Cannot rename field 'First'. Field 'b' already exists");
  // The cursor base renames only its own copies.
  table.cursor.TABSCursor::RenameField("First", "Second");
  EXPECT_EQ(table.cursor.FieldDefs().Item(0).Name, "Second");
  EXPECT_ENGINE_TEXT(table.cursor.TABSCursor::RenameField("Z", "Y"), 30345, "Field 'Z' not found");
  EXPECT_ENGINE_TEXT(table.cursor.TABSCursor::RenameField("Second", "B"), 30346,
                     "Cannot rename field 'Second'. Field 'B' already exists");
}

TEST_F(LocalCursorTest, IndexesAddedDroppedAndMadeForFields) {
  auto fields = Integers({"A", "B"});
  Create("Indexed", *fields);
  OpenCursor table(session, "Indexed");
  for (int32_t a : {2, 3, 1}) {
    table.Append();
    table.SetInt(0, a);
    table.SetInt(1, 10 - a);
    ASSERT_EQ(table.cursor.PostRecord(true), 0);
  }
  TABSIndexDef by_b;
  by_b.Name = "ByB";
  by_b.Columns.push_back({"B"});
  table.cursor.AddIndex(by_b);
  EXPECT_TRUE(table.cursor.HasIndexForFields({{"b"}}));
  table.cursor.SetIndexName("ByB");
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{3, 2, 1}));
  table.cursor.DropIndex("ByB");
  EXPECT_EQ(table.cursor.IndexID(), -1);
  EXPECT_EQ(table.cursor.IndexName(), "");
  const std::vector<TABSIndexColumn> descending = {{"A", true}};
  EXPECT_FALSE(table.cursor.HasIndexForFields(descending));
  table.cursor.SetIndexForFields(descending);
  EXPECT_TRUE(table.cursor.HasIndexForFields(descending));
  EXPECT_EQ(table.Column(0), (std::vector<int32_t>{3, 2, 1}));
  table.cursor.DropAllIndexes();
  EXPECT_EQ(table.cursor.GetIndexDefs().Count(), 0);
}

TEST_F(LocalCursorTest, LocateAndFindKeyMoveToTheMatchingRecord) {
  TABSFieldDefs fields;
  AddField(fields, "A", adtInteger);
  AddField(fields, "Name", adtString, 10);
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByName", {"Name"});
  Create("Search", fields, indexes);
  OpenCursor table(session, "Search");
  const std::vector<std::string> names = {"alpha", "Beta", "gamma"};
  for (size_t i = 0; i < names.size(); ++i) {
    table.Append();
    table.SetInt(0, static_cast<int32_t>(i + 1));
    table.cursor.SetFieldData(1, names[i].c_str());
    ASSERT_EQ(table.cursor.PostRecord(true), 0);
  }
  TABSVariant beta;
  beta.SetAsString("beta");
  EXPECT_FALSE(table.cursor.LocateValue("Name", beta, {}));
  ASSERT_TRUE(table.cursor.LocateValue("Name", beta, {true, false}));
  EXPECT_EQ(table.GetInt(0), 2);
  TABSVariant prefix;
  prefix.SetAsString("gam");
  TABSVariant three;
  three.SetAsInteger(3);
  ASSERT_TRUE(table.cursor.Locate({"Name", "A"}, {prefix, three}, {false, true}));
  EXPECT_EQ(table.cursor.BufferRecordId(table.current), (TABSRecordId{2, 0}));
  EXPECT_ENGINE_TEXT(table.cursor.Locate({"Nope"}, {three}, {}), 10323, "Cannot find field Nope");
  EXPECT_ENGINE_CODE(table.cursor.Locate({"A", "Name"}, {three}, {}), 10276);
  table.cursor.SetIndexName("ByName");
  std::vector<uint8_t> key(static_cast<size_t>(table.cursor.RecordBufferSize()));
  table.cursor.InitRecord(key.data(), false);
  table.cursor.TableData()->FieldManager()->SetFieldData(1, "alpha", key.data());
  ASSERT_TRUE(table.cursor.FindKey(key.data()));
  EXPECT_EQ(table.GetInt(0), 1);
}

TEST_F(LocalCursorTest, CopyFieldValueCopiesBytesOrConvertsThroughAValue) {
  TABSFieldDefs source_fields;
  AddField(source_fields, "I", adtInteger);
  AddField(source_fields, "S", adtString, 10);
  TABSFieldDefs target_fields;
  AddField(target_fields, "I", adtInteger);
  AddField(target_fields, "L", adtLargeInt);
  AddField(target_fields, "S", adtString, 3);
  Create("CopySource", source_fields);
  Create("CopyTarget", target_fields);
  OpenCursor source(session, "CopySource");
  OpenCursor target(session, "CopyTarget");
  source.Append();
  source.SetInt(0, -42);
  source.cursor.SetFieldData(1, "abcdef");
  target.Append();
  source.cursor.CopyFieldValue(0, true, target.cursor, 0);
  source.cursor.CopyFieldValue(0, false, target.cursor, 1);
  source.cursor.CopyFieldValue(1, true, target.cursor, 2);
  EXPECT_EQ(target.GetInt(0), -42);
  EXPECT_EQ(target.cursor.GetFieldValue(1).GetAsLargeInt(), -42);
  EXPECT_EQ(target.cursor.GetFieldValue(2).GetAsString(), "abc");
}

TEST_F(LocalCursorTest, InMemoryTablesGrantEveryLockAtOnce) {
  Create("Locks", *Integers({"A"}));
  OpenCursor table(session, "Locks");
  table.AppendInts({1});
  ASSERT_EQ(table.First(), TABSReadResult::Found);
  session.MultiUser = true;
  EXPECT_TRUE(table.cursor.LockTable(TABSLocalCursor::kLockExclusive, 50, 100));
  table.cursor.UnlockTable(TABSLocalCursor::kLockExclusive);
  EXPECT_EQ(table.cursor.LockRecordForEdit(), 0);
  EXPECT_TRUE(table.cursor.RecordLockCheck());
  table.cursor.Lock();
  table.cursor.Lock();
  table.cursor.Unlock();
  table.cursor.Unlock();
  table.Edit();
  table.SetInt(0, 2);
  EXPECT_EQ(table.cursor.PostRecord(false), 0);
  EXPECT_EQ(table.cursor.DeleteRecord(), 0);
  session.MultiUser = false;
}

TEST_F(LocalCursorTest, BatchesOnlyStartOutsideTransactions) {
  Create("Batched", *Integers({"A"}));
  OpenCursor table(session, "Batched");
  table.cursor.BeginBatch();
  EXPECT_TRUE(table.cursor.Batch());
  table.cursor.CommitBatch();
  EXPECT_FALSE(table.cursor.Batch());
  session.StartTransaction();
  table.cursor.BeginBatch();
  EXPECT_FALSE(table.cursor.Batch());
  session.Commit(false);
  table.cursor.BeginBatch();
  table.cursor.RollbackBatch();
  EXPECT_FALSE(table.cursor.Batch());
}

TEST(LocalCursorTemporary, TemporaryTablesRefuseEditsAndDeletesButSkipChecks) {
  ConnectedSession session("TEMP");
  CreateTable(session, "Scratch", *Integers({"A"}), {}, *NotNull("A"));
  {
    OpenCursor table(session, "Scratch");
    table.cursor.Temporary = true;
    table.Append();
    ASSERT_EQ(table.cursor.PostRecord(true), 0) << table.cursor.ResultText();
    ASSERT_EQ(table.First(), TABSReadResult::Found);
    EXPECT_EQ(table.cursor.LockRecordForEdit(), result_code::kUpdateInTemporaryMode);
    EXPECT_EQ(table.cursor.DeleteRecord(), result_code::kDeleteInTemporaryMode);
    EXPECT_EQ(table.cursor.GetRecordCount(), 1);
  }
  DeleteTable(session, "Scratch");
}

TEST_F(LocalCursorTest, MemoryInUseReturnsToTheStartAfterClosingAndDropping) {
  const int64_t before = MemoryManager().BytesInUse();
  TABSFieldDefs fields;
  AddField(fields, "A", adtInteger);
  AddField(fields, "S", adtString, 40);
  AddField(fields, "Data", adtBlob);
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByA", {"A"});
  Create("Transient", fields, indexes);
  {
    OpenCursor table(session, "Transient");
    for (int32_t i = 0; i < 300; ++i) {
      table.Append();
      table.SetInt(0, i % 17);
      table.cursor.SetFieldData(1, "some text");
      table.WriteBlob(2, std::string(static_cast<size_t>(i * 7), 'b'), true);
      ASSERT_EQ(table.cursor.PostRecord(true), 0);
    }
    ASSERT_EQ(table.First(), TABSReadResult::Found);
    table.Edit();
    table.WriteBlob(2, "replaced", false);
    ASSERT_EQ(table.cursor.PostRecord(false), 0);
    ASSERT_EQ(table.Next(), TABSReadResult::Found);
    table.Edit();
    table.WriteBlob(2, "dropped", false);
    table.Cancel();
    table.cursor.SetIndexForFields({{"S"}});
    EXPECT_GT(MemoryManager().BytesInUse(), before);
  }
  DeleteTable(session, "Transient");
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

}  // namespace
}  // namespace tabshift::testing
