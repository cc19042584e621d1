#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"

namespace tabshift::testing {
namespace {

std::unique_ptr<TABSFieldDefs> IntegerFields() {
  auto fields = std::make_unique<TABSFieldDefs>();
  AddField(*fields, "V", adtInteger);
  return fields;
}

TEST(MemoryDatabase, IsInTheProcessListAndNumbersObjectsFromOne) {
  TABSDatabaseData* memory = DatabaseDataList().Find("MEMORY");
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory, &MemoryDatabaseData());
  EXPECT_EQ(DatabaseDataList().Find("memory"), nullptr);
  MemoryTable table("Ids", *IntegerFields());
  EXPECT_GT(table.Fields().FieldDefs().Item(0).ObjectID, 0);
  TStringList names;
  memory->GetTableNames(names);
  EXPECT_EQ(names.Count(), 1);
}

TEST(MemoryRecords, GrowOnceAtTheThousandAndFirstRecord) {
  MemoryTable table("Growth", *IntegerFields());
  for (int i = 0; i < 1000; ++i) table.Insert(i);
  EXPECT_EQ(table.table->MemoryRecords().Capacity(), 1000);
  table.Insert(1000);
  EXPECT_EQ(table.table->MemoryRecords().Capacity(), 2000);
  EXPECT_EQ(table.cursor.record_id.page_no, 1000);
}

TEST(MemoryRecords, FreedHighestSlotIsReusedOthersAreNot) {
  MemoryTable table("Reuse", *IntegerFields());
  for (int i = 0; i < 3; ++i) table.Insert(i);
  table.cursor.record_id = {2, 0};
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  table.Insert(10);
  EXPECT_EQ(table.cursor.record_id.page_no, 2);
  table.cursor.record_id = {1, 0};
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  table.Insert(11);
  EXPECT_EQ(table.cursor.record_id.page_no, 3);
  EXPECT_EQ(table.Column0(), (std::vector<int32_t>{0, 10, 11}));
}

TEST(MemoryRecords, RecordNumbersSkipDeletedSlots) {
  MemoryTable table("Numbers", *IntegerFields());
  for (int i = 0; i < 5; ++i) table.Insert(i);
  table.cursor.record_id = {2, 0};
  EXPECT_EQ(table.table->GetRecNoUnfiltered(table.cursor), 3);
  table.cursor.record_id = {1, 0};
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  ASSERT_TRUE(table.table->SetRecNoUnfiltered(table.cursor, 2));
  EXPECT_EQ(table.cursor.record_id.page_no, 2);
  EXPECT_EQ(table.GetInt(0), 2);
  table.cursor.record_id = {4, 0};
  EXPECT_EQ(table.table->GetRecNoUnfiltered(table.cursor), 4);
  EXPECT_FALSE(table.table->SetRecNoUnfiltered(table.cursor, 5));
  EXPECT_EQ(table.table->GetRecordCount(table.cursor), 4);
}

TEST(MemoryRecords, RecordNumbersAcrossBitmapBytes) {
  MemoryTable table("ManyNumbers", *IntegerFields());
  for (int i = 0; i < 40; ++i) table.Insert(i);
  for (const int slot : {0, 7, 8, 9, 20, 39}) {
    table.cursor.record_id = {slot, 0};
    ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  }
  std::vector<int32_t> live = table.Column0();
  for (size_t n = 0; n < live.size(); ++n) {
    ASSERT_TRUE(table.table->SetRecNoUnfiltered(table.cursor, static_cast<int64_t>(n + 1)));
    EXPECT_EQ(table.GetInt(0), live[n]);
    EXPECT_EQ(table.table->GetRecNoUnfiltered(table.cursor), static_cast<int64_t>(n + 1));
  }
}

TEST(MemoryRecords, ReadResultsAtTheEdges) {
  MemoryTable table("Edges", *IntegerFields());
  TABSMemoryRecordManager& records = table.table->MemoryRecords();
  std::vector<uint8_t> buffer(table.buffer.size());
  TABSNavigationRequest request;
  request.record_buffer = buffer.data();
  request.direction = TABSReadDirection::Next;
  records.ReadRecord(0, request);
  EXPECT_EQ(request.result, TABSReadResult::End);
  for (int i = 0; i < 3; ++i) table.Insert(i);
  request.record_id = {2, 0};
  records.ReadRecord(0, request);
  EXPECT_EQ(request.result, TABSReadResult::End);
  request.record_id = {0, 0};
  request.direction = TABSReadDirection::Prior;
  records.ReadRecord(0, request);
  EXPECT_EQ(request.result, TABSReadResult::Beginning);
  table.cursor.record_id = {1, 0};
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  EXPECT_EQ(table.cursor.record_id.page_no, 2);  // the next record
  request.record_id = {1, 0};
  request.direction = TABSReadDirection::Current;
  records.ReadRecord(0, request);
  EXPECT_EQ(request.result, TABSReadResult::NotFound);
  request.at_end = true;
  request.direction = TABSReadDirection::Prior;
  records.ReadRecord(0, request);
  EXPECT_EQ(request.result, TABSReadResult::Found);
  EXPECT_EQ(request.record_id.page_no, 2);
  EXPECT_FALSE(request.at_end);
  TABSRecordId gone{5, 0};
  EXPECT_FALSE(records.RemoveRecord(0, gone));
  EXPECT_FALSE(records.ReplaceRecord(0, buffer.data(), gone));
}

TEST(MemoryRecords, DeletingTheLastRecordLeavesTheCursorAtTheBeginning) {
  MemoryTable table("Last", *IntegerFields());
  table.Insert(1);
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  EXPECT_TRUE(table.cursor.at_beginning);
  EXPECT_EQ(table.table->GetRecordCount(table.cursor), 0);
  table.Insert(2);
  EXPECT_EQ(table.cursor.record_id.page_no, 0);
}

TEST(MemoryRecords, ZeroRecordSizeIsRefused) {
  EXPECT_ENGINE_TEXT(TABSMemoryRecordManager(0, 1000), 10011, "Invalid record size = 0");
}

TEST(MemoryTables, EmptyFieldListIsRefused) {
  TABSCursorState cursor;
  cursor.table_name = "NoFields";
  TABSTableData& table = MemoryDatabaseData().GetTableData(cursor);
  EXPECT_ENGINE_TEXT(table.CreateTable(cursor, {}, {}, {}), 10025,
                     "Error creating table - no fields were specified");
  EXPECT_TRUE(table.DropTable(cursor, false));
}

class BlobTable : public ::testing::Test {
 protected:
  static std::unique_ptr<TABSFieldDefs> Fields(uint8_t algorithm) {
    auto owned = std::make_unique<TABSFieldDefs>();
    TABSFieldDefs& fields = *owned;
    AddField(fields, "ID", adtAutoIncInteger);
    TABSFieldDef& blob = AddField(fields, "B", adtBlob);
    blob.BlobCompressionAlgorithm = algorithm;
    blob.BlobCompressionMode = algorithm == 0 ? 0 : 1;
    blob.BlobBlockSize = 1000;
    return owned;
  }
  static std::string Pattern(size_t size) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return text;
  }
  static void WriteBlob(MemoryTable& table, const std::string& bytes) {
    std::unique_ptr<TABSBlobStream> blob = table.table->OpenBlob(table.buffer.data(), 1, false);
    blob->SetSize(0);  // as a dataset does when it opens a BLOB to replace it
    blob->WriteBuffer(bytes.data(), bytes.size());
    table.table->WriteBlob(table.buffer.data(), 1, *blob);
  }
  static std::string ReadBlob(MemoryTable& table) {
    std::unique_ptr<TABSBlobStream> blob = table.table->OpenBlob(table.buffer.data(), 1, true);
    std::string bytes(static_cast<size_t>(blob->Size()), '\0');
    blob->ReadBuffer(bytes.data(), bytes.size());
    return bytes;
  }
};

TEST_F(BlobTable, RoundTripsWithAndWithoutCompression) {
  for (const uint8_t algorithm : {0, 1, 2}) {
    MemoryTable table("Blobs", *Fields(algorithm));
    for (const size_t size : {size_t{1}, size_t{999}, size_t{1000}, size_t{1001}, size_t{25000}}) {
      table.NewRecord();
      WriteBlob(table, Pattern(size));
      table.Post();
    }
    std::vector<size_t> sizes;
    for (auto where = TABSNavigateTo::First;
         table.table->NavigateRecord(table.cursor, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      const std::string bytes = ReadBlob(table);
      EXPECT_EQ(bytes, Pattern(bytes.size())) << int{algorithm};
      sizes.push_back(bytes.size());
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{1, 999, 1000, 1001, 25000}));
  }
}

TEST_F(BlobTable, EmptyBlobLeavesTheFieldNullWithoutABlock) {
  MemoryTable table("EmptyBlob", *Fields(1));
  table.NewRecord();
  WriteBlob(table, "");
  EXPECT_TRUE(record_image::IsNull(table.buffer.data(), 1));
  EXPECT_EQ(table.table->BlobBlockCount(), 0);
  WriteBlob(table, "abc");
  EXPECT_EQ(table.table->BlobBlockCount(), 1);
  WriteBlob(table, "");
  EXPECT_TRUE(record_image::IsNull(table.buffer.data(), 1));
  EXPECT_EQ(table.table->BlobBlockCount(), 0);
  std::unique_ptr<TABSBlobStream> untouched = table.table->OpenBlob(table.buffer.data(), 1, true);
  EXPECT_EQ(untouched->Size(), 0);
  table.table->WriteBlob(table.buffer.data(), 1, *untouched);
  EXPECT_EQ(table.table->BlobBlockCount(), 0);
}

TEST_F(BlobTable, ZeroBlockSizeIsRefused) {
  std::unique_ptr<TABSFieldDefs> fields = Fields(0);
  fields->Item(1).BlobBlockSize = 0;
  MemoryTable table("ZeroBlock", *fields);
  table.NewRecord();
  EXPECT_ENGINE_TEXT(table.table->OpenBlob(table.buffer.data(), 1, true), 10420,
                     "Stream block size = 0 is not allowed");
}

TEST_F(BlobTable, DeleteUpdateAndEmptyTableFreeTheBlocks) {
  MemoryTable table("FreeBlocks", *Fields(1));
  for (int i = 0; i < 5; ++i) {
    table.NewRecord();
    WriteBlob(table, Pattern(100 + static_cast<size_t>(i)));
    table.Post();
  }
  EXPECT_EQ(table.table->BlobBlockCount(), 5);
  ASSERT_TRUE(table.table->DeleteRecord(table.cursor));
  EXPECT_EQ(table.table->BlobBlockCount(), 4);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::First),
            TABSReadResult::Found);
  WriteBlob(table, Pattern(3000));
  ASSERT_TRUE(table.table->UpdateRecord(table.cursor));
  EXPECT_EQ(table.table->BlobBlockCount(), 4);
  EXPECT_EQ(ReadBlob(table), Pattern(3000));

  table.table->EmptyTable(table.cursor.session);
  EXPECT_EQ(table.table->BlobBlockCount(), 0);
  EXPECT_EQ(table.table->GetRecordCount(table.cursor), 0);
  table.NewRecord();
  table.Post();
  EXPECT_EQ(table.cursor.record_id.page_no, 0);
  EXPECT_EQ(table.GetInt(0), 1);
}

TEST_F(BlobTable, RawBlobsCopyBetweenTablesWithoutRecompressing) {
  MemoryTable source("RawSource", *Fields(2));
  MemoryTable target("RawTarget", *Fields(2));
  source.NewRecord();
  WriteBlob(source, Pattern(5000));
  TABSRawBlobHeader header;
  TABSMemoryBlock bytes = source.table->GetRawBlob(1, source.buffer.data(), header);
  EXPECT_EQ(header.blob_size, 5000);
  EXPECT_EQ(header.block_count, 5);
  target.NewRecord();
  target.table->PutRawBlob(target.buffer.data(), 1, header, bytes.data());
  source.table->FreeRawBlob(bytes);
  EXPECT_EQ(ReadBlob(target), Pattern(5000));
  source.table->FreeRecordBlobs(source.buffer.data());
  target.table->FreeRecordBlobs(target.buffer.data());
}

TEST_F(BlobTable, DroppingATableReturnsEveryByteToTheMemoryManager) {
  const int64_t before = MemoryManager().BytesInUse();
  {
    TABSIndexDefs indexes;
    AddIndexDef(indexes, "ByID", {"ID"}).Primary = true;
    MemoryTable table("Dropped", *Fields(1), indexes);
    for (int i = 0; i < 2500; ++i) {
      table.NewRecord();
      WriteBlob(table, Pattern(static_cast<size_t>(i % 50)));
      table.Post();
    }
    EXPECT_GT(MemoryManager().BytesInUse(), before);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

}  // namespace
}  // namespace tabshift::testing
