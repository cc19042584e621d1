#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/ABSTempEngine.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "platform/FileSystem.h"

namespace tabshift::testing {
namespace {

// A temporary table with an INTEGER and a BLOB field, one cursor on it.
class TemporaryTable : public ::testing::Test {
 protected:
  void Create(bool memory_only, uint64_t available_memory) {
    TABSTemporaryTableData::SetAvailableMemoryForTesting(available_memory);
    TABSFieldDefs fields;
    AddField(fields, "V", adtInteger);
    AddField(fields, "B", adtBlob).BlobBlockSize = 100;
    cursor.table_name = "Scratch";
    cursor.memory_only = memory_only;
    table = &static_cast<TABSTemporaryTableData&>(TemporaryDatabaseData().GetTableData(cursor));
    table->CreateTable(cursor, fields, {}, {});
    TABSTemporaryTableData::SetAvailableMemoryForTesting(0);
    buffer.assign(static_cast<size_t>(cursor.record_buffer_size), 0);
    cursor.record_buffer = buffer.data();
  }
  void TearDown() override {
    if (table != nullptr) table->DropTable(cursor, false);
  }
  void Append(int32_t value, const std::string& blob_bytes) {
    std::fill(buffer.begin(), buffer.end(), 0);
    buffer[0] = 0xFF;
    table->FieldManager()->SetFieldData(0, &value, buffer.data());
    if (!blob_bytes.empty()) {
      std::unique_ptr<TABSBlobStream> blob = table->OpenBlob(buffer.data(), 1, false);
      blob->WriteBuffer(blob_bytes.data(), blob_bytes.size());
      table->WriteBlob(buffer.data(), 1, *blob);
    }
    ASSERT_TRUE(table->InsertRecord(cursor));
  }
  int32_t Value() {
    int32_t value = 0;
    table->FieldManager()->GetFieldData(0, &value, buffer.data());
    return value;
  }
  std::string Blob() {
    std::unique_ptr<TABSBlobStream> blob = table->OpenBlob(buffer.data(), 1, true);
    std::string bytes(static_cast<size_t>(blob->Size()), '\0');
    blob->ReadBuffer(bytes.data(), bytes.size());
    return bytes;
  }
  static std::string BlobFor(int32_t value) {
    return value % 3 == 0 ? std::string()
                          : std::string(static_cast<size_t>(value % 250), 'a' + value % 26);
  }

  TABSCursorState cursor;
  TABSTemporaryTableData* table = nullptr;
  std::vector<uint8_t> buffer;
};

TEST_F(TemporaryTable, SpillsBeyondTheMemoryFigureAndReadsEveryRecordBack) {
  Create(false, 10 * 15 * 100);  // room for 100 records of 15 bytes in memory
  ASSERT_EQ(table->TemporaryRecords().InMemoryLimit(), 100);
  for (int32_t i = 0; i < 1234; ++i) Append(i, BlobFor(i));
  const std::string spill_file = table->TemporaryRecords().FileName();
  ASSERT_FALSE(spill_file.empty());
  EXPECT_TRUE(platform::FileExists(spill_file));
  int32_t expected = 0;
  for (auto where = TABSNavigateTo::First;
       table->NavigateRecord(cursor, where) == TABSReadResult::Found;
       where = TABSNavigateTo::Next, ++expected) {
    ASSERT_EQ(Value(), expected);
    ASSERT_EQ(Blob(), BlobFor(expected));
  }
  EXPECT_EQ(expected, 1234);
  ASSERT_EQ(table->NavigateRecord(cursor, TABSNavigateTo::Last), TABSReadResult::Found);
  EXPECT_EQ(Value(), 1233);
  ASSERT_TRUE(table->SetRecNoUnfiltered(cursor, 500));
  EXPECT_EQ(Value(), 499);
  EXPECT_EQ(table->GetRecNoUnfiltered(cursor), 500);
  table->DropTable(cursor, false);
  table = nullptr;
  EXPECT_FALSE(platform::FileExists(spill_file));
}

TEST_F(TemporaryTable, MemoryOnlyTablesNeverSpill) {
  Create(true, 10 * 15 * 10);
  for (int32_t i = 0; i < 300; ++i) Append(i, BlobFor(i));
  EXPECT_TRUE(table->TemporaryRecords().FileName().empty());
  ASSERT_TRUE(table->SetRecNoUnfiltered(cursor, 300));
  EXPECT_EQ(Value(), 299);
  EXPECT_EQ(Blob(), BlobFor(299));
}

TEST_F(TemporaryTable, RefusesUpdateAndDeleteAndKeepsInsertionOrder) {
  Create(false, 0);
  for (const int32_t value : {3, 1, 2}) Append(value, "");
  EXPECT_FALSE(table->UpdateRecord(cursor));
  EXPECT_FALSE(table->DeleteRecord(cursor));
  std::vector<int32_t> values;
  for (auto where = TABSNavigateTo::First;
       table->NavigateRecord(cursor, where) == TABSReadResult::Found;
       where = TABSNavigateTo::Next) {
    values.push_back(Value());
  }
  EXPECT_EQ(values, (std::vector<int32_t>{3, 1, 2}));
  table->EmptyTable(0);
  EXPECT_EQ(table->GetRecordCount(cursor), 0);
}

TEST(TemporaryRecords, SequenceNumbersUseFortyEightBits) {
  const int64_t sequence = (int64_t{0x1234} << 32) | 0x89ABCDEF;
  const TABSRecordId id = TABSTemporaryRecordManager::IdOf(sequence);
  EXPECT_EQ(TABSTemporaryRecordManager::SequenceOf(id), sequence);
  EXPECT_EQ(id.item_no, 0x1234);
  EXPECT_ENGINE_TEXT(TABSTemporaryRecordManager(0, false, 1000, 10), 10124,
                     "Invalid record size = 0");
}

}  // namespace
}  // namespace tabshift::testing
