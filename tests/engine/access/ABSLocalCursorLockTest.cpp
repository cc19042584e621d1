// The cursor's locks between sessions of a multi-user database file. The disk engine's lock
// manager is not part of this build: the database file is stood in for by a database data
// object whose tables keep their rows in memory and grant or refuse locks as a test says.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSLocalCursor.h"
#include "engine/access/ABSLocalSession.h"
#include "engine/access/CursorTestSupport.h"
#include "engine/core/ABSMemEngine.h"

namespace tabshift::testing {
namespace {

class LockingTable : public TABSMemoryTableData {
 public:
  using TABSMemoryTableData::TABSMemoryTableData;

  bool TryLockTable(int32_t, int32_t kind) override {
    log.push_back("table+" + std::to_string(kind));
    if (table_refusals == 0) return true;
    --table_refusals;
    return false;
  }
  void UnlockTable(int32_t, int32_t kind) override {
    log.push_back("table-" + std::to_string(kind));
  }
  bool TryLockRecord(int32_t, const TABSRecordId&) override {
    log.push_back("record+");
    return grant_records;
  }
  void UnlockRecord(int32_t, const TABSRecordId&) override { log.push_back("record-"); }
  bool RecordLockFree(int32_t, const TABSRecordId&) override { return record_free; }

  std::vector<std::string> log;
  int table_refusals = 0;
  bool grant_records = true;
  bool record_free = true;
};

class LockingDatabase : public TABSDatabaseData {
 public:
  explicit LockingDatabase(const TABSBaseSession& session)
      : TABSDatabaseData(session.DatabaseName) {}
  ~LockingDatabase() override {
    while (TableCount() > 0) delete &Table(TableCount() - 1);
  }
  int32_t ConnectSession(const void* session) override {
    TABSDatabaseData::ConnectSession(session);
    return ++last_session_id_;
  }
  TABSTableData& CreateTableData(const TABSCursorState& cursor) override {
    return *new LockingTable(this, cursor.table_name);
  }

 private:
  int32_t last_session_id_ = 0;
};

class MultiUserCursorTest : public ::testing::Test {
 protected:
  MultiUserCursorTest() {
    SetDiskDatabaseDataFactory(
        [](const TABSBaseSession& session) { return std::make_unique<LockingDatabase>(session); });
    session.DatabaseName = "locks.abs";
    session.DatabaseFileName = "locks.abs";
    session.MultiUser = true;
    session.SetConnected(true);
    CreateTable(session, "Shared", *Integers());
    one = std::make_unique<OpenCursor>(session, "Shared");
    two = std::make_unique<OpenCursor>(session, "Shared");
    one->AppendInts({1});
    Table().log.clear();
  }
  ~MultiUserCursorTest() override {
    one.reset();
    two.reset();
    DeleteTable(session, "Shared");
    session.SetConnected(false);
    SetDiskDatabaseDataFactory(nullptr);
  }

  static std::unique_ptr<TABSFieldDefs> Integers() {
    auto fields = std::make_unique<TABSFieldDefs>();
    AddField(*fields, "A", adtInteger);
    AddField(*fields, "Data", adtBlob);
    return fields;
  }
  LockingTable& Table() { return static_cast<LockingTable&>(*one->cursor.TableData()); }
  std::vector<std::string> TakeLog() { return std::exchange(Table().log, {}); }

  TABSLocalSession session;
  std::unique_ptr<OpenCursor> one;
  std::unique_ptr<OpenCursor> two;
};

using Log = std::vector<std::string>;

TEST_F(MultiUserCursorTest, PostingTakesTheWriteLockOrTheTransactionLock) {
  one->AppendInts({2});
  EXPECT_EQ(TakeLog(), (Log{"table+4", "table-4"}));
  session.StartTransaction();
  one->AppendInts({3});
  EXPECT_EQ(TakeLog(), (Log{"table+3"}));
  session.Commit(false);
  EXPECT_EQ(one->cursor.GetRecordCount(), 3);
}

TEST_F(MultiUserCursorTest, AnEditLocksTheRecordUntilItIsPostedOrCancelled) {
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  one->Edit();
  ASSERT_EQ(one->cursor.LockRecordForEdit(), 0);
  EXPECT_EQ(TakeLog(), (Log{"table+2", "record+"}));
  one->SetInt(0, 5);
  ASSERT_EQ(one->cursor.PostRecord(false), 0);
  EXPECT_EQ(TakeLog(), (Log{"table+4", "record-", "table-2", "table-4"}));
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  one->Edit();
  ASSERT_EQ(one->cursor.LockRecordForEdit(), 0);
  one->Cancel();
  EXPECT_EQ(TakeLog(), (Log{"table+2", "record+", "record-", "table-2"}));
  EXPECT_EQ(one->Column(0), std::vector<int32_t>{5});
}

TEST_F(MultiUserCursorTest, AFailedCheckKeepsTheRecordLocked) {
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  one->Edit();
  ASSERT_EQ(two->First(), TABSReadResult::Found);
  two->Edit();
  two->SetInt(0, 9);
  ASSERT_EQ(two->cursor.PostRecord(false), 0);
  TakeLog();
  EXPECT_EQ(one->cursor.LockRecordForEdit(), result_code::kUpdateModifiedByOther);
  EXPECT_EQ(TakeLog(), (Log{"table+2", "record+", "record-", "table-2"}));
}

TEST_F(MultiUserCursorTest, ARefusedTableLockIsTriedAgain) {
  Table().table_refusals = 2;
  one->AppendInts({2});
  EXPECT_EQ(TakeLog(), (Log{"table+4", "table+4", "table+4", "table-4"}));
}

TEST_F(MultiUserCursorTest, ARecordLockedByAnotherSessionGivesMinus12AndFreesTheTable) {
  Table().grant_records = false;
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  one->Edit();
  EXPECT_EQ(one->cursor.LockRecordForEdit(), result_code::kRecordLocked);
  const Log log = TakeLog();
  ASSERT_EQ(log.size(), 2u + TABSLocalCursor::kRecordLockTries);
  EXPECT_EQ(log.front(), "table+2");
  EXPECT_EQ(std::count(log.begin(), log.end(), "record+"), TABSLocalCursor::kRecordLockTries);
  EXPECT_EQ(log.back(), "table-2");
  Table().record_free = false;
  EXPECT_FALSE(one->cursor.RecordLockCheck());
}

TEST_F(MultiUserCursorTest, DeletingLocksTableAndRecord) {
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  ASSERT_EQ(one->cursor.DeleteRecord(), 0);
  EXPECT_EQ(TakeLog(), (Log{"table+4", "record+", "record-", "table-4"}));
  EXPECT_EQ(one->cursor.GetRecordCount(), 0);
}

TEST_F(MultiUserCursorTest, OpeningABlobHoldsTheReadLockMeanwhile) {
  ASSERT_EQ(one->First(), TABSReadResult::Found);
  ASSERT_NE(one->cursor.OpenBlob(false, false, true, TABSBlobOpenMode::Read, 1), nullptr);
  one->cursor.CloseBlob(1);
  EXPECT_EQ(TakeLog(), (Log{"table+1", "table-1"}));
  EXPECT_TRUE(one->cursor.LockTable(TABSLocalCursor::kLockExclusive, 50, 100));
  one->cursor.UnlockTable(TABSLocalCursor::kLockExclusive);
  EXPECT_EQ(TakeLog(), (Log{"table+6", "table-6"}));
}

}  // namespace
}  // namespace tabshift::testing
