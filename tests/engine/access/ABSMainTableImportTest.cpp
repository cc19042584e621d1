#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/access/ABSMainDatabase.h"
#include "engine/access/ABSMainTable.h"
#include "engine/access/ABSRowCopy.h"
#include "engine/access/DataSetTestSupport.h"
#include "engine/core/ABSMemory.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

using testing::MemoryTable;

std::vector<uint8_t> BlobOf(TField& field) {
  TMemoryStream stream;
  field.SaveToStream(stream);
  return {stream.Memory(), stream.Memory() + stream.Size()};
}

void SetBlob(TField& field, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), bytes.size());
  field.LoadFromStream(stream);
}

// The row the converter's sequence writes as row i: every field type it maps.
struct ConvertedRow {
  explicit ConvertedRow(int i)
      : small(static_cast<int16_t>(i % 65536 - 32768)),
        integer(i * 37 - 500000),
        real(i * 0.125 - 1000.5),
        date(36526 + i % 3000),
        one(1, static_cast<char>('A' + i % 26)),
        large(int64_t{i} * 1000000007LL - (int64_t{1} << 40)) {
    const std::string digits = std::to_string(i);
    forty = std::string(40 - digits.size(), 'x') + digits;
    for (int k = 0; k < 16; ++k) bytes[static_cast<size_t>(k)] = static_cast<uint8_t>(i + k * 7);
    if (i % 500 == 0) {
      blob.resize(70000);
      for (size_t k = 0; k < blob.size(); ++k) blob[k] = static_cast<uint8_t>(k * 31 + i);
    }
  }

  int16_t small;
  int32_t integer;
  double real;
  int32_t date;
  std::string one;
  std::string forty;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(16);
  std::vector<uint8_t> blob;
  int64_t large;
};

void DefineConvertedFields(TFieldDefs& defs) {
  defs.Add("SI", ftSmallint);
  defs.Add("INT", ftInteger);
  defs.Add("FL", ftFloat);
  defs.Add("DT", ftDate);
  defs.Add("S1", ftString, 1);
  defs.Add("S40", ftString, 40);
  defs.Add("BY", ftBytes, 16);
  defs.Add("BL", ftBlob);
  defs.Add("LI", ftLargeint);
}

void AppendConverted(TABSTable& table, const ConvertedRow& row) {
  table.Append();
  table.FieldByName("SI").SetAsInteger(row.small);
  table.FieldByName("INT").SetAsInteger(row.integer);
  table.FieldByName("FL").SetAsFloat(row.real);
  table.FieldByName("DT").SetAsDateTime(row.date);
  table.FieldByName("S1").SetAsString(row.one);
  table.FieldByName("S40").SetAsString(row.forty);
  table.FieldByName("BY").SetData(row.bytes.data());
  SetBlob(table.FieldByName("BL"), row.blob);
  table.FieldByName("LI").SetAsLargeInt(row.large);
  table.Post();
}

// Compares the active record with the row; returns false at the first difference.
bool HoldsRow(TABSTable& table, const ConvertedRow& row) {
  std::vector<uint8_t> bytes(16);
  const bool bytes_read = table.FieldByName("BY").GetData(bytes.data());
  return table.FieldByName("SI").AsInteger() == row.small &&
         table.FieldByName("INT").AsInteger() == row.integer &&
         table.FieldByName("FL").AsFloat() == row.real &&
         table.FieldByName("DT").AsDateTime() == row.date &&
         table.FieldByName("S1").AsString() == row.one &&
         table.FieldByName("S40").AsString() == row.forty && bytes_read && bytes == row.bytes &&
         BlobOf(table.FieldByName("BL")) == row.blob &&
         table.FieldByName("LI").AsLargeInt() == row.large;
}

// One batch as the converter stages it: the rows appended and posted, read back in order,
// then the table closed, emptied and opened again. Returns the bytes in use afterwards.
int64_t RunBatch(TABSTable& memory, int rows) {
  for (int i = 0; i < rows; ++i) AppendConverted(memory, ConvertedRow(i));
  EXPECT_EQ(memory.RecordCount(), rows);
  int i = 0;
  for (memory.First(); !memory.Eof(); memory.Next(), ++i) {
    if (i >= rows || !HoldsRow(memory, ConvertedRow(i))) {
      ADD_FAILURE() << "row " << i;
      break;
    }
  }
  EXPECT_EQ(i, rows);
  memory.Close();
  memory.EmptyTable();
  memory.Open();
  EXPECT_EQ(memory.RecordCount(), 0);
  EXPECT_TRUE(memory.Eof());
  return MemoryManager().BytesInUse();
}

TEST(ConverterSequence, MemoryTableTakesStructureRowsAndGivesItsMemoryBack) {
  constexpr int kRows = 25000;
  MemoryTable target("XFER_TARGET");
  DefineConvertedFields(target.FieldDefs());
  target.CreateTable();
  target.AddIndex("UDBSortIndex", "INT,S40");
  target.Open();

  MemoryTable memory("XFER_MEMORY");
  ASSERT_TRUE(memory.ImportTable(target));
  EXPECT_FALSE(memory.Active());
  memory.Open();
  EXPECT_EQ(memory.FieldDefs(), target.FieldDefs());
  EXPECT_EQ(memory.IndexDefs(), target.IndexDefs());
  ASSERT_EQ(memory.IndexDefs().size(), 1u);
  EXPECT_EQ(memory.RecordCount(), 0);

  const int64_t before_rows = MemoryManager().BytesInUse();
  const int64_t after_first = RunBatch(memory, kRows);
  // The page cache's list keeps the room the first batch gave it (at most 10000 entries of 20
  // bytes, as its shrink steps allow); every byte of the rows, their BLOBs, their index pages
  // and the emptied change lists is given back.
  EXPECT_LE(after_first - before_rows, 10000 * 20 + 4096);
  EXPECT_EQ(RunBatch(memory, kRows), after_first);
}

TEST(ImportTable, FromAnOpenEmptyTableGivesAClosedTableOfTheSameStructure) {
  MemoryTable source("IMP_EMPTY_SRC");
  source.FieldDefs().Add("ID", ftInteger, 0, true);
  source.FieldDefs().Add("NAME", ftString, 30);
  source.FieldDefs().Add("WHEN", ftDateTime);
  source.CreateTable();
  source.AddIndex("BYID", "ID", ixUnique);
  source.AddIndex("BYNAME", "NAME;ID", 0, "NAME");
  source.Open();

  MemoryTable copy("IMP_EMPTY_DST");
  std::string errors;
  EXPECT_TRUE(copy.ImportTable(source, errors));
  EXPECT_EQ(errors, "");
  EXPECT_FALSE(copy.Active());
  copy.Open();
  EXPECT_EQ(copy.FieldDefs(), source.FieldDefs());
  EXPECT_TRUE(copy.FieldDefs()[0].Required);
  EXPECT_EQ(copy.IndexDefs(), source.IndexDefs());
  EXPECT_EQ(copy.RecordCount(), 0);
}

class ImportRows : public ::testing::Test {
 protected:
  void SetUp() override {
    source.FieldDefs().Add("K", ftInteger);
    source.FieldDefs().Add("V", ftString, 10);
    source.CreateTable();
    source.Open();
    for (const auto& [key, value] : {std::pair{1, "a"}, {1, "b"}, {2, "c"}}) {
      source.Append();
      source.FieldByName("K").SetAsInteger(key);
      source.FieldByName("V").SetAsString(value);
      source.Post();
    }
  }

  // The values of field V in the destination.
  std::vector<std::string> Values() {
    std::vector<std::string> values;
    destination.Open();
    for (destination.First(); !destination.Eof(); destination.Next()) {
      values.push_back(destination.FieldByName("V").AsString());
    }
    return values;
  }

  MemoryTable source{"IMP_ROWS_SRC"};
  MemoryTable destination{"IMP_ROWS_DST"};
};

TEST_F(ImportRows, SecondRowRefusedByAUniqueIndexIsReportedAndSkipped) {
  TABSAdvIndexDef unique;
  unique.Name = "UNIQUEK";
  unique.Fields = "K";
  unique.Options = ixUnique;
  source.AdvIndexDefs().push_back(unique);
  std::string errors = "before\r\n";
  EXPECT_FALSE(destination.ImportTable(source, errors));
  EXPECT_EQ(Values(), (std::vector<std::string>{"a", "c"}));
  const std::string prefix =
      "before\r\nError importing table. Cannot copy data due to error: Error copying table "
      "\"IMP_ROWS_DST\". Record #2 was not imported due to error: Voreruza Zizavu Error # -8 ";
  EXPECT_EQ(errors.substr(0, prefix.size()), prefix);
  EXPECT_EQ(errors.substr(errors.size() - 6), "\r\n\r\n\r\n");
  EXPECT_EQ(errors.find("Record #1"), std::string::npos);
  EXPECT_EQ(errors.find("Record #3"), std::string::npos);
  EXPECT_EQ(source.FieldByName("V").AsString(), "c");
}

TEST_F(ImportRows, WithoutContinueOnErrorTheFirstRefusedRowIsRaised) {
  TABSAdvIndexDef unique;
  unique.Name = "UNIQUEK";
  unique.Fields = "K";
  unique.Options = ixUnique;
  source.AdvIndexDefs().push_back(unique);
  destination.AdvFieldDefs() = source.AdvFieldDefs();
  destination.AdvIndexDefs() = source.AdvIndexDefs();
  destination.CreateTable();
  destination.Open();
  TABSRowCopyOptions options;
  options.TableName = "IMP_ROWS_DST";
  bool go_on = true;
  std::string errors;
  EXPECT_THROW(CopyRows(source, destination, options, go_on, errors), EABSEngineError);
  EXPECT_EQ(errors.rfind("Error copying table \"IMP_ROWS_DST\". Record #2 was not imported", 0), 0u)
      << errors;
  EXPECT_EQ(destination.State(), dsBrowse);
  EXPECT_EQ(destination.RecordCount(), 1);
}

TEST_F(ImportRows, ProgressRunsFromTheFirstRowToTheEndAndCanStopTheCopy) {
  std::vector<int> reports;
  destination.OnImportProgress = [&](TABSTable&, int progress, bool&) {
    reports.push_back(progress);
  };
  EXPECT_TRUE(destination.ImportTable(source));
  EXPECT_EQ(reports, (std::vector<int>{33, 67, 100}));

  destination.OnImportProgress = [](TABSTable&, int, bool& go_on) { go_on = false; };
  std::string errors;
  EXPECT_FALSE(destination.ImportTable(source, errors));
  EXPECT_EQ(errors,
            "Error importing table. Cannot copy data due to error: Terminated by User.\r\n\r\n");
  EXPECT_EQ(Values(), (std::vector<std::string>{"a"}));
}

TEST_F(ImportRows, FailedCreationEndsTheImport) {
  // A closed source is opened for the import; the memory database then has no other user.
  source.Close();
  TABSDatabase database;
  database.SetDatabaseName("MEMORY");
  database.Open();
  database.StartTransaction();
  std::string errors;
  EXPECT_FALSE(destination.ImportTable(source, errors));
  database.Rollback();
  EXPECT_EQ(errors,
            "Error importing table. Cannot create table due to error: Cannot perform "
            "'CreateTable' operation on a database in transaction - Native error: 20182\r\n");
  EXPECT_FALSE(destination.Exists());
}

TEST(ImportBlobs, AnOldPictureHeaderIsLeftOutAndOtherBlobsStayWhole) {
  std::vector<uint8_t> payload(100);
  for (size_t k = 0; k < payload.size(); ++k) payload[k] = static_cast<uint8_t>(k + 3);
  std::vector<uint8_t> picture = {1, 0, 0, 1, 100, 0, 0, 0};
  picture.insert(picture.end(), payload.begin(), payload.end());
  std::vector<uint8_t> near_miss = picture;
  near_miss[4] = 99;

  MemoryTable source("IMP_BLOB_SRC");
  source.FieldDefs().Add("ID", ftInteger);
  source.FieldDefs().Add("PIC", ftGraphic);
  source.CreateTable();
  source.Open();
  const std::vector<std::vector<uint8_t>> blobs = {picture, near_miss, {}};
  for (size_t i = 0; i < blobs.size(); ++i) {
    source.Append();
    source.FieldByName("ID").SetAsInteger(static_cast<int32_t>(i));
    SetBlob(source.FieldByName("PIC"), blobs[i]);
    source.Post();
  }

  MemoryTable copy("IMP_BLOB_DST");
  ASSERT_TRUE(copy.ImportTable(source));
  copy.Open();
  std::vector<std::vector<uint8_t>> copied;
  for (copy.First(); !copy.Eof(); copy.Next()) copied.push_back(BlobOf(copy.FieldByName("PIC")));
  EXPECT_EQ(copied, (std::vector<std::vector<uint8_t>>{payload, near_miss, {}}));
}

class ValueCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    left.FieldDefs().Add("W", ftWideString, 10);
    left.FieldDefs().Add("B", ftBlob);
    left.FieldDefs().Add("I", ftInteger);
    left.FieldDefs().Add("L", ftLargeint);
    left.CreateTable();
    right.FieldDefs().Add("B", ftBlob);
    right.FieldDefs().Add("W", ftWideString, 10);
    right.FieldDefs().Add("L", ftLargeint);
    right.FieldDefs().Add("I", ftInteger);
    right.CreateTable();
    left.Open();
    right.Open();
    left.Append();
    right.Append();
  }

  MemoryTable left{"VALUECOPY_LEFT"};
  MemoryTable right{"VALUECOPY_RIGHT"};
};

TEST_F(ValueCopy, WideTextAndBlobBytesCrossOver) {
  left.FieldByName("W").SetAsWideString(u"Gr\u00fc\u00dfe");
  CopyFieldValue(left.FieldByName("W"), right.FieldByName("B"));
  EXPECT_EQ(BlobOf(right.FieldByName("B")),
            (std::vector<uint8_t>{'G', 0, 'r', 0, 0xFC, 0, 0xDF, 0, 'e', 0}));
  SetBlob(left.FieldByName("B"), {'O', 0, 'K', 0, '!'});
  CopyFieldValue(left.FieldByName("B"), right.FieldByName("W"));
  EXPECT_EQ(right.FieldByName("W").AsWideString(), u"OK");
}

TEST_F(ValueCopy, IntegersReachLargeIntegersWithSignAndNull) {
  left.FieldByName("I").SetAsInteger(-5);
  CopyFieldValue(left.FieldByName("I"), right.FieldByName("L"));
  EXPECT_EQ(right.FieldByName("L").AsLargeInt(), -5);
  left.FieldByName("I").Clear();
  CopyFieldValue(left.FieldByName("I"), right.FieldByName("L"));
  EXPECT_TRUE(right.FieldByName("L").IsNull());
  left.FieldByName("L").SetAsLargeInt(1234567);
  CopyFieldValue(left.FieldByName("L"), right.FieldByName("I"));
  EXPECT_EQ(right.FieldByName("I").AsInteger(), 1234567);
  left.FieldByName("L").SetAsLargeInt(int64_t{1} << 40);
  EXPECT_THROW(CopyFieldValue(left.FieldByName("L"), right.FieldByName("I")), EDatabaseError);
}

TEST(TableCopier, CopiesStructureAndRowsIntoAnotherDatabaseWithinItsProgressRange) {
  MemoryTable source("COPIED");
  source.CreateSimple();
  source.AddIndex("BYNAME", "NAME");
  source.Open();
  for (int i = 1; i <= 3; ++i) source.AppendRow(i, "row " + std::to_string(i));
  source.Close();
  TABSDatabase memory;
  memory.SetDatabaseName("MEMORY");
  memory.Open();
  TABSDatabase temporary;
  temporary.SetDatabaseName("TEMP");
  temporary.Open();

  std::vector<double> reports;
  std::string errors;
  EXPECT_TRUE(CopyTableIntoDatabase(
      memory, temporary, "COPIED", 50, 100,
      [&](double percent, bool&) { reports.push_back(percent); }, errors));
  EXPECT_EQ(errors, "");
  EXPECT_EQ(reports, (std::vector<double>{66.5, 83.5, 100}));
  TABSTable copy;
  copy.SetDatabaseName("TEMP");
  copy.SetTableName("COPIED");
  copy.Open();
  EXPECT_EQ(copy.IndexDefs(), source.IndexDefs());
  std::vector<std::string> names;
  for (copy.First(); !copy.Eof(); copy.Next()) names.push_back(copy.FieldByName("NAME").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"row 1", "row 2", "row 3"}));
  copy.Close();
  copy.DeleteTable();

  errors.clear();
  EXPECT_FALSE(CopyTableIntoDatabase(memory, temporary, "MISSING", 0, 100, nullptr, errors));
  EXPECT_EQ(errors, "Table not found, table name = MISSING - Native error: 10028");
}

}  // namespace
}  // namespace tabshift
