// The reader between real processes: table locks, changes made by another process, the
// Exclusive mode, and the udbdump program run as a binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "CsvExport.h"
#include "SyntheticSet.h"
#include "UdbFixture.h"
#include "platform/System.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"

namespace tabshift::udb::testing {
namespace {

using tabshift::testing::RunInChild;
using tabshift::testing::TempDirectory;

UdbDescription Numbers(uint32_t rows) {
  UdbDescription description;
  description.password = "pw";
  TableSpec table{.name = "N",
                  .key_field_count = 1,
                  .fields = {Field("ID", UdbType::Int32), BytesField("PAD", 96)}};
  for (uint32_t i = 0; i < rows; ++i) {
    table.rows.push_back(Row{int64_t{i}, std::string(96, 'x')});
  }
  description.tables.push_back(table);
  return description;
}

TEST(UdbProcessTest, AReaderWaitsWhileAnotherProcessHoldsTheTableLock) {
  TempDirectory directory;
  const std::string path = directory.File("n.udb");
  WriteUdbFile(path, Numbers(100));
  platform::File holder;
  ASSERT_TRUE(holder.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                          platform::FileCreation::OpenExisting));
  ASSERT_TRUE(holder.Lock(low::kTableLockBase, 1));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.Unlock(low::kTableLockBase, 1);
  });
  // The reader is the udbdump program, a process of its own.
  const uint64_t start = platform::TickCount();
  const auto run = tabshift::testing::RunProgram(
      UDBDUMP_BINARY, {path, "--password", "pw", "--table", "N"}, directory.path());
  const uint64_t waited = platform::TickCount() - start;
  release.join();
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_GE(waited, 250u);
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 101);
}

// Both modes that re-read the head at every table lock.
class UdbChangeSeenTest : public ::testing::TestWithParam<TOpenMode> {};

TEST_P(UdbChangeSeenTest, AChangeByAnotherProcessEmptiesTheCacheAndIsSeenAtTheNextRecord) {
  TempDirectory directory;
  const std::string path = directory.File("n.udb");
  WriteUdbFile(path, Numbers(100));
  OpenSet set(path, "pw", GetParam());
  auto table = set.Table("N");
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(table->Fields(0).AsInteger(), 0);
  const uint32_t version = table->TableVersion();
  const int status = RunInChild([&] {
    OpenSet other(path, "pw");
    TUdbTableEngine& engine = other.file.Engine().Table(0);
    int slot = 0;
    if (engine.AcquireLock() != 0 || engine.LoadPage(0, 0, slot) != 0) return 1;
    low::Put32(engine.SlotBuffer(slot) + low::kPageHeader + 100, 4242);
    const int32_t result = engine.JournaledPageWrite(0, 0, slot, true);
    engine.ReleaseLock();
    return result == 0 ? 0 : 2;
  });
  ASSERT_EQ(status, 0);
  TUdbTableEngine& engine = set.file.Engine().Table(0);
  ASSERT_TRUE(table->FetchNext());
  for (int slot = 0; slot < TUdbTableEngine::kCacheSlots; ++slot) {
    EXPECT_EQ(engine.SlotPage(slot), -1);
  }
  EXPECT_EQ(table->Fields(0).AsInteger(), 4242);
  EXPECT_EQ(table->TableVersion(), version + 1);
}

INSTANTIATE_TEST_SUITE_P(ShareAndReadOnly, UdbChangeSeenTest,
                         ::testing::Values(TOpenMode::Share, TOpenMode::ReadOnly));

TEST(UdbProcessTest, ExclusiveModeTakesNoLockAndReadsTheHeadOnce) {
  TempDirectory directory;
  const std::string path = directory.File("n.udb");
  const UdbFileLayout layout = WriteUdbFile(path, Numbers(100));
  OpenSet set(path, "pw", TOpenMode::Exclusive);
  TUdbFileEngine& engine = set.file.Engine();
  // The reader's own handle holds the table byte: any attempt to lock it would wait forever.
  ASSERT_EQ(engine.LockByte(low::kTableLockBase), 0);
  auto table = set.Table("N");
  std::vector<uint8_t> head(engine.Table(0).Head(), engine.Table(0).Head() + 512);
  low::Put32(&head[low::head::kRecordCount], 3);
  low::Put32(&head[low::head::kVersion], 77);
  ASSERT_EQ(engine.BlockWrite(layout.tables[0].primary_head, head.data(), 512), 0);
  ASSERT_EQ(engine.BlockWrite(layout.tables[0].back_head, head.data(), 512), 0);
  int rows = 0;
  while (table->FetchNext()) rows += table->Fields(0).AsInteger() == rows ? 1 : 1000;
  EXPECT_EQ(rows, 100);
  EXPECT_EQ(engine.UnlockByte(low::kTableLockBase), 0);
}

// Changes another process makes to the heads reach a Share-mode reader at its next record: a
// damaged back copy is repaired from the primary, and a file cut short before the heads ends
// in the error of two corrupted heads rather than a crash.
TEST(UdbProcessTest, HeadsDamagedByAnotherProcessAreFoundAtTheNextRecord) {
  TempDirectory directory;
  const std::string path = directory.File("n.udb");
  const UdbDescription description = Numbers(100);
  const UdbFileLayout layout = WriteUdbFile(path, description);
  OpenSet set(path, "pw");
  auto table = set.Table("N");
  ASSERT_TRUE(table->FetchNext());
  const auto change_in_child = [&](const std::function<bool(platform::File&)>& change) {
    return RunInChild([&] {
      platform::File other;
      return other.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                        platform::FileCreation::OpenExisting) &&
                     change(other)
                 ? 0
                 : 1;
    });
  };
  ASSERT_EQ(change_in_child([&](platform::File& other) {
              return other.WriteAt(layout.tables[0].back_head + 100, "damaged", 7) == 7;
            }),
            0);
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(table->Fields(0).AsInteger(), 1);
  TUdbTableEngine& engine = set.file.Engine().Table(0);
  EXPECT_EQ(engine.HeadValue(low::head::kRemovalCount), low::kBackRestored);
  EXPECT_TRUE(ReadUdbBlock(path, description, layout.tables[0].back_head, 512).checksum_ok);

  ASSERT_EQ(change_in_child([](platform::File& other) { return other.SetSize(low::kHeadArray); }),
            0);
  try {
    table->FetchNext();
    ADD_FAILURE() << "a file cut short before its heads was read";
  } catch (const EUdbError& error) {
    EXPECT_EQ(error.Code(), kUdbHeadCorrupted);
  }
}

TEST(UdbDumpTest, CatalogueAndCsvMatchTheGeneratedContent) {
  TempDirectory directory;
  const std::string path = directory.File("s.udb");
  SyntheticOptions options;
  options.rows = 150;
  options.tables = 3;
  WriteSyntheticFile(path, options);
  const UdbDescription catalogue = SyntheticCatalogue(options);
  for (uint32_t t = 0; t < catalogue.tables.size(); ++t) {
    const TableSpec& described = catalogue.tables[t];
    std::string expected = CsvHeader(described.fields);
    for (uint64_t row = 0; row < SyntheticRowCount(options, t); ++row) {
      expected += CsvLine(described.fields, SyntheticRow(options, t, row));
    }
    const auto run = tabshift::testing::RunProgram(
        UDBDUMP_BINARY, {path, "--table", described.name}, directory.path());
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.output, expected) << described.name;
  }
  const auto catalogue_run =
      tabshift::testing::RunProgram(UDBDUMP_BINARY, {path}, directory.path());
  EXPECT_EQ(catalogue_run.exit_code, 0);
  EXPECT_NE(catalogue_run.output.find("Table " + catalogue.tables[0].name + ": key fields"),
            std::string::npos);
  const auto missing =
      tabshift::testing::RunProgram(UDBDUMP_BINARY, {path, "--table", "NOPE"}, directory.path());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.errors, "Table not found, file: " + path + ", table: NOPE\n");
  const auto wrong =
      tabshift::testing::RunProgram(UDBDUMP_BINARY, {path, "--password", "x"}, directory.path());
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_EQ(wrong.errors, "Wrong password, file: " + path + "\n");
}

}  // namespace
}  // namespace tabshift::udb::testing
