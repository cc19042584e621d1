#include <gtest/gtest.h>

#include <string>

#include "engine/access/ABSLocalBLOBStream.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/access/CursorTestSupport.h"
#include "engine/core/ABSMemEngine.h"

namespace tabshift::testing {
namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

class LocalCursorBlobTest : public ::testing::Test {
 protected:
  LocalCursorBlobTest() {
    TABSFieldDefs fields;
    AddField(fields, "A", adtInteger);
    AddField(fields, "Data", adtBlob);
    CreateTable(session, "Blobs", fields);
    table = std::make_unique<OpenCursor>(session, "Blobs");
  }
  ~LocalCursorBlobTest() override {
    table.reset();
    DeleteTable(session, "Blobs");
  }

  int32_t BlockCount() {
    return static_cast<TABSMemoryTableData*>(table->cursor.TableData())->BlobBlockCount();
  }
  void AppendWithBlob(int32_t a, const std::string& bytes) {
    table->Append();
    table->SetInt(0, a);
    table->WriteBlob(1, bytes, true);
    ASSERT_EQ(table->cursor.PostRecord(true), 0);
  }

  ConnectedSession session;
  std::unique_ptr<OpenCursor> table;
};

TEST_F(LocalCursorBlobTest, BlobsOfEverySizeAreWrittenAndReadBack) {
  const std::vector<size_t> sizes = {0, 1, 70000, 250000};
  for (size_t i = 0; i < sizes.size(); ++i) {
    AppendWithBlob(static_cast<int32_t>(i), Pattern(sizes[i]));
  }
  size_t i = 0;
  for (TABSReadResult read = table->First(); read == TABSReadResult::Found;
       read = table->Next(), ++i) {
    EXPECT_EQ(table->ReadBlob(1), Pattern(sizes[i])) << sizes[i];
    EXPECT_EQ(table->cursor.GetFieldData(1, nullptr), sizes[i] != 0) << sizes[i];
  }
  EXPECT_EQ(i, sizes.size());
  EXPECT_EQ(table->cursor.OpenBlobCount(), 0);
}

TEST_F(LocalCursorBlobTest, AnUpdatedBlobReplacesTheOldOne) {
  AppendWithBlob(1, Pattern(70000));
  for (const std::string& bytes : {std::string("second"), Pattern(5000), std::string()}) {
    ASSERT_EQ(table->First(), TABSReadResult::Found);
    table->Edit();
    table->WriteBlob(1, bytes, false);
    ASSERT_EQ(table->cursor.PostRecord(false), 0);
    ASSERT_EQ(table->First(), TABSReadResult::Found);
    EXPECT_EQ(table->ReadBlob(1), bytes);
    EXPECT_EQ(BlockCount(), bytes.empty() ? 0 : 1);
  }
}

TEST_F(LocalCursorBlobTest, OpeningABlobForWritingTwiceFails) {
  table->Append();
  ASSERT_NE(table->cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Write, 1), nullptr);
  ASSERT_NE(table->cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Read, 1), nullptr);
  EXPECT_ENGINE_TEXT(table->cursor.OpenBlob(true, false, false, TABSBlobOpenMode::ReadWrite, 1),
                     10115, "BLOB field already opened. FieldNo = 1, FieldName = Data");
  table->cursor.CloseBlob(1);
  EXPECT_EQ(table->cursor.OpenBlobCount(), 0);
  EXPECT_NE(table->cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Write, 1), nullptr);
  table->cursor.FreeBlobs(false);
}

TEST_F(LocalCursorBlobTest, ReadOnlyStreamsRefuseWrites) {
  AppendWithBlob(1, "contents");
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  TABSLocalBLOBStream* blob = table->cursor.OpenBlob(false, false, true, TABSBlobOpenMode::Read, 1);
  ASSERT_NE(blob, nullptr);
  EXPECT_FALSE(blob->Writable());
  EXPECT_ENGINE_TEXT(blob->Write("x", 1), 10115, "Cannot write to read only stream");
  EXPECT_ENGINE_TEXT(blob->SetSize(0), 10116, "Cannot write to read only stream");
  EXPECT_EQ(blob->Size(), 8);
  EXPECT_EQ(blob->FieldNo(), 1);
  EXPECT_EQ(blob->Record(), table->current);
  table->cursor.CloseBlob(1);
  EXPECT_EQ(table->ReadBlob(1), "contents");
}

TEST_F(LocalCursorBlobTest, ReadWriteStreamsStartFromTheStoredBytes) {
  AppendWithBlob(1, "head");
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  table->Edit();
  TABSLocalBLOBStream* blob =
      table->cursor.OpenBlob(false, true, false, TABSBlobOpenMode::ReadWrite, 1);
  blob->Seek(0, SeekOrigin::End);
  blob->WriteBuffer("tail", 4);
  table->cursor.CloseBlob(1);
  ASSERT_EQ(table->cursor.PostRecord(false), 0);
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  EXPECT_EQ(table->ReadBlob(1), "headtail");
}

TEST_F(LocalCursorBlobTest, CancellingAnEditAfterWritingABlobKeepsTheStoredBlob) {
  AppendWithBlob(1, Pattern(70000));
  ASSERT_EQ(BlockCount(), 1);
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  table->Edit();
  table->WriteBlob(1, "never posted", false);
  EXPECT_EQ(BlockCount(), 2);
  table->Cancel();
  EXPECT_EQ(BlockCount(), 1);
  OpenCursor other(session, "Blobs");
  ASSERT_EQ(other.First(), TABSReadResult::Found);
  EXPECT_EQ(other.ReadBlob(1), Pattern(70000));
  AppendWithBlob(2, "reuses the freed block");
  ASSERT_EQ(other.First(), TABSReadResult::Found);
  EXPECT_EQ(other.ReadBlob(1), Pattern(70000));
}

TEST_F(LocalCursorBlobTest, CancellingAnInsertFreesItsBlobs) {
  AppendWithBlob(1, "kept");
  table->Append();
  table->WriteBlob(1, "first", true);
  table->WriteBlob(1, "second", true);
  EXPECT_EQ(BlockCount(), 2);
  table->cursor.CancelEdit(true);
  EXPECT_EQ(BlockCount(), 1);
  EXPECT_TRUE(table->cursor.CurrentRecord[0] & 0x02);
}

TEST_F(LocalCursorBlobTest, CancellingDiscardsStreamsStillOpen) {
  AppendWithBlob(1, "stored");
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  table->Edit();
  TABSLocalBLOBStream* blob =
      table->cursor.OpenBlob(false, true, false, TABSBlobOpenMode::Write, 1);
  blob->WriteBuffer("unsaved", 7);
  table->Cancel();
  EXPECT_EQ(table->cursor.OpenBlobCount(), 0);
  EXPECT_EQ(BlockCount(), 1);
  EXPECT_EQ(table->ReadBlob(1), "stored");
}

TEST_F(LocalCursorBlobTest, PostingStoresStreamsStillOpenForWriting) {
  table->Append();
  table->SetInt(0, 1);
  TABSLocalBLOBStream* blob =
      table->cursor.OpenBlob(true, false, false, TABSBlobOpenMode::Write, 1);
  blob->WriteBuffer("open at post", 12);
  ASSERT_EQ(table->cursor.PostRecord(true), 0);
  EXPECT_EQ(table->cursor.OpenBlobCount(), 0);
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  EXPECT_EQ(table->ReadBlob(1), "open at post");
}

TEST_F(LocalCursorBlobTest, BrowsingRereadsARecordAnotherCursorChanged) {
  AppendWithBlob(1, "old");
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  OpenCursor other(session, "Blobs");
  ASSERT_EQ(other.First(), TABSReadResult::Found);
  other.Edit();
  other.WriteBlob(1, "new", false);
  ASSERT_EQ(other.cursor.PostRecord(false), 0);
  TABSLocalBLOBStream* blob = table->cursor.OpenBlob(false, false, true, TABSBlobOpenMode::Read, 1);
  ASSERT_NE(blob, nullptr);
  std::string bytes(3, '\0');
  blob->ReadBuffer(bytes.data(), 3);
  EXPECT_EQ(bytes, "new");
  table->cursor.CloseBlob(1);
  ASSERT_EQ(other.cursor.DeleteRecord(), 0);
  EXPECT_EQ(table->cursor.OpenBlob(false, false, true, TABSBlobOpenMode::Read, 1), nullptr);
}

TEST_F(LocalCursorBlobTest, CopyFieldValueCopiesBlobs) {
  AppendWithBlob(1, Pattern(70000));
  TABSFieldDefs fields;
  AddField(fields, "Copy", adtBlob);
  CreateTable(session, "BlobCopies", fields);
  {
    OpenCursor target(session, "BlobCopies");
    ASSERT_EQ(table->First(), TABSReadResult::Found);
    target.Append();
    table->cursor.CopyFieldValue(1, true, target.cursor, 0);
    ASSERT_EQ(target.cursor.PostRecord(true), 0);
    ASSERT_EQ(target.First(), TABSReadResult::Found);
    EXPECT_EQ(target.ReadBlob(0), Pattern(70000));
  }
  DeleteTable(session, "BlobCopies");
}

TEST_F(LocalCursorBlobTest, AStaleRecordBufferNeverFreesAnotherRecordsBlob) {
  AppendWithBlob(1, "first record");
  ASSERT_EQ(table->First(), TABSReadResult::Found);
  table->Edit();
  OpenCursor other(session, "Blobs");
  ASSERT_EQ(other.First(), TABSReadResult::Found);
  ASSERT_EQ(other.cursor.DeleteRecord(), 0);
  other.Append();
  other.SetInt(0, 2);
  other.WriteBlob(1, "second record", true);
  ASSERT_EQ(other.cursor.PostRecord(true), 0);
  table->WriteBlob(1, "from a stale buffer", false);
  // The memory engine gave the new record the deleted one's id: it counts as changed.
  EXPECT_EQ(table->cursor.PostRecord(false), result_code::kUpdateModifiedByOther);
  table->Cancel();
  EXPECT_EQ(BlockCount(), 1);
  ASSERT_EQ(other.First(), TABSReadResult::Found);
  EXPECT_EQ(other.ReadBlob(1), "second record");
}

TEST_F(LocalCursorBlobTest, UnsavedBlobsGoWithTheirBufferOrTheCursor) {
  uint8_t* spare = table->cursor.AllocateRecordBuffer();
  table->cursor.CurrentRecord = spare;
  table->cursor.InitRecord(spare, true);
  table->WriteBlob(1, "in a spare buffer", true);
  table->cursor.CurrentRecord = table->current;
  table->Append();
  table->WriteBlob(1, "in the current buffer", true);
  EXPECT_EQ(BlockCount(), 2);
  table->cursor.FreeRecordBuffer(spare);
  EXPECT_EQ(spare, nullptr);
  EXPECT_EQ(BlockCount(), 1);
  table->cursor.InitRecord(table->current, true);
  EXPECT_EQ(BlockCount(), 0);
  table->WriteBlob(1, "left when the cursor closes", true);
  table->cursor.CloseTable();
  TABSLocalCursor probe(session);
  probe.TableName = "Blobs";
  probe.OpenTable({}, {}, {});
  EXPECT_EQ(static_cast<TABSMemoryTableData*>(probe.TableData())->BlobBlockCount(), 0);
}

}  // namespace
}  // namespace tabshift::testing
