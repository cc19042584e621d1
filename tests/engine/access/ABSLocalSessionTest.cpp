#include "engine/access/ABSLocalSession.h"

#include <gtest/gtest.h>

#include "engine/access/SessionTestSupport.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {
namespace {

using testing::FakeDiskEngine;
using testing::FakeDiskFiles;
using testing::TempDirectory;

struct NamedDatabase {
  const char* name;
  TABSDatabaseData& (*expected)();
};

class InProcessDatabaseTest : public ::testing::TestWithParam<NamedDatabase> {};

TEST_P(InProcessDatabaseTest, ConnectsToTheProcessWideObjectAndKeepsItAfterDisconnecting) {
  TABSLocalSession session;
  session.DatabaseName = GetParam().name;
  session.SetConnected(true);
  EXPECT_TRUE(session.IsConnected());
  EXPECT_EQ(session.DatabaseData, &GetParam().expected());
  EXPECT_EQ(session.SessionID, 0);
  session.SetConnected(false);
  EXPECT_EQ(session.DatabaseData, nullptr);
  EXPECT_EQ(session.SessionID, -1);
  EXPECT_EQ(DatabaseDataList().Find(GetParam().name), &GetParam().expected());
}

INSTANTIATE_TEST_SUITE_P(MemoryAndTemp, InProcessDatabaseTest,
                         ::testing::Values(NamedDatabase{"MEMORY", MemoryDatabaseData},
                                           NamedDatabase{"TEMP", TemporaryDatabaseData}));

class OtherSpellingTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OtherSpellingTest, IsADatabaseFileThatNeedsTheDiskEngine) {
  TABSLocalSession session;
  session.DatabaseName = GetParam();
  session.DatabaseFileName = "/nowhere/file.abs";
  EXPECT_TRUE(session.IsDiskDatabase());
  EXPECT_ENGINE_TEXT(session.SetConnected(true), kDiskEngineMissingError,
                     "Cannot reach database file '/nowhere/file.abs': the disk database engine "
                     "is not available in this build");
  EXPECT_FALSE(session.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(CaseAndBlanks, OtherSpellingTest,
                         ::testing::Values("memory", "Memory", "temp", "MEMORY ", "DB"));

TEST(LocalSessionNamedValues, ReplaceByIdOrByNameAndFindIgnoringCase) {
  TABSLocalSession session;
  session.PutNamedValue({7, "Seq", TABSVariant()});
  session.PutNamedValue({8, "Other", TABSVariant()});
  session.PutNamedValue({7, "Renamed", TABSVariant()});
  ASSERT_NE(session.FindNamedValueByID(7), nullptr);
  EXPECT_EQ(session.FindNamedValueByID(7)->Name, "Renamed");
  EXPECT_EQ(session.FindNamedValue("seq"), nullptr);

  session.PutNamedValue({-1, "OTHER", TABSVariant()});
  ASSERT_NE(session.FindNamedValue("other"), nullptr);
  EXPECT_EQ(session.FindNamedValue("other")->ID, -1);
  EXPECT_EQ(session.FindNamedValueByID(8), nullptr);

  session.RemoveNamedValue(7);
  EXPECT_EQ(session.FindNamedValueByID(7), nullptr);
  EXPECT_NE(session.FindNamedValue("Other"), nullptr);
}

TEST(LocalSessionRelaxedPageChecks, AreAFlagOfTheConnectedDatabase) {
  TABSLocalSession session;
  session.DatabaseName = "TEMP";
  EXPECT_ENGINE_TEXT(session.SetRelaxedPageChecks(true), 20151, "Pointer is nil");
  session.SetConnected(true);
  session.SetRelaxedPageChecks(true);
  TABSLocalSession other;
  other.DatabaseName = "TEMP";
  other.SetConnected(true);
  EXPECT_TRUE(other.GetRelaxedPageChecks());
  other.SetRelaxedPageChecks(false);
  EXPECT_FALSE(session.GetRelaxedPageChecks());
}

TEST(LocalSessionTransactions, CommitAndRollbackNeedATransaction) {
  TABSLocalSession session;
  session.DatabaseName = "MEMORY";
  session.SetConnected(true);
  const char* text = "Database is not within a transaction. Cannot perform operation";
  EXPECT_ENGINE_TEXT(session.Commit(true), 20229, text);
  EXPECT_ENGINE_TEXT(session.Rollback(), 20229, text);
  session.StartTransaction();
  EXPECT_TRUE(session.InTransaction);
  session.Commit(false);
  EXPECT_FALSE(session.InTransaction);
  EXPECT_ENGINE_TEXT(session.Commit(false), 20229, text);
}

TEST(LocalSessionCreate, TheMemoryDatabaseIsAlwaysOpen) {
  TABSLocalSession session;
  session.DatabaseName = "MEMORY";
  EXPECT_ENGINE_TEXT(session.CreateDatabase(), 20092,
                     "Cannot create database. Database is already open");
}

class LocalSessionDiskTest : public ::testing::Test {
 protected:
  void Prepare(TABSLocalSession& session, const std::string& password = "") {
    session.DatabaseName = "db";
    session.DatabaseFileName = file;
    session.Password.Password = password;
  }
  void Create(const std::string& password) {
    TABSLocalSession creator;
    Prepare(creator, password);
    creator.CreateDatabase();
  }

  FakeDiskEngine engine;
  TempDirectory directory;
  std::string file = directory.File("data.abs");
};

TEST_F(LocalSessionDiskTest, CreateDatabaseMakesTheFileAndFreesTheObject) {
  Create("secret");
  EXPECT_EQ(testing::ReadWholeFile(file), "fake database");
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
}

TEST_F(LocalSessionDiskTest, ConnectionsToOneFileShareOneObjectUntilTheLastLeaves) {
  Create("");
  TABSLocalSession first;
  TABSLocalSession second;
  Prepare(first);
  Prepare(second);
  second.DatabaseFileName = directory.path() + "/DATA.ABS";
  first.SetConnected(true);
  second.SetConnected(true);
  ASSERT_NE(first.DatabaseData, nullptr);
  EXPECT_EQ(first.DatabaseData, second.DatabaseData);
  EXPECT_NE(first.SessionID, second.SessionID);
  EXPECT_EQ(first.PageSize, 8192);
  first.SetConnected(false);
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), second.DatabaseData);
  second.SetConnected(false);
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
}

TEST_F(LocalSessionDiskTest, MultiUserSessionNamesGetTheirOwnObjects) {
  Create("");
  TABSLocalSession first;
  TABSLocalSession second;
  Prepare(first);
  Prepare(second);
  first.MultiUser = second.MultiUser = true;
  first.MultiUserSessionName = "One";
  second.MultiUserSessionName = "Two";
  first.SetConnected(true);
  second.SetConnected(true);
  EXPECT_NE(first.DatabaseData, second.DatabaseData);
  EXPECT_EQ(DatabaseDataList().FindDisk(file, "ONE"), first.DatabaseData);
}

TEST_F(LocalSessionDiskTest, CreatingAnOpenFileFailsAndLeavesItOpen) {
  Create("");
  TABSLocalSession open;
  Prepare(open);
  open.SetConnected(true);
  TABSLocalSession creator;
  Prepare(creator);
  EXPECT_ENGINE_TEXT(creator.CreateDatabase(), 20092,
                     "Cannot create database. Database is already open");
  EXPECT_TRUE(open.IsConnected());
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), open.DatabaseData);
}

TEST_F(LocalSessionDiskTest, ASecondConnectionWithAnotherPasswordIsRefused) {
  Create("Secret");
  TABSLocalSession first;
  Prepare(first, "Secret");
  first.SetConnected(true);
  TABSLocalSession second;
  Prepare(second, "secret");
  EXPECT_ENGINE_TEXT(second.SetConnected(true), 20298, "Database password is invalid.");
  EXPECT_FALSE(second.IsConnected());
  EXPECT_EQ(first.DatabaseData->SessionCount(), 1);
  Prepare(second, "Secret");
  second.SetConnected(true);
  EXPECT_EQ(second.DatabaseData, first.DatabaseData);
}

TEST_F(LocalSessionDiskTest, AFailedFirstConnectionLeavesNoObjectBehind) {
  Create("Secret");
  TABSLocalSession session;
  Prepare(session, "wrong");
  EXPECT_ENGINE_CODE(session.SetConnected(true), 30445);
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
}

TEST_F(LocalSessionDiskTest, ConnectingReportsWhatTheEngineFoundInTheFile) {
  Create("");
  FakeDiskFiles::Files()[file].needs_repair = true;
  FakeDiskFiles::Files()[file].version = 2.5;
  TABSLocalSession session;
  Prepare(session);
  session.SetConnected(true);
  EXPECT_TRUE(session.NeedsRepair);
  EXPECT_DOUBLE_EQ(session.FileVersion, 2.5);
}

// The memory engine has no undo: rows stay whatever ends the transaction, and the index pages
// they changed are settled at once so that later work cannot lose them.
class MemoryTransactionTest : public ::testing::TestWithParam<bool> {};

TEST_P(MemoryTransactionTest, RowsStayAndIndexPagesAreSettled) {
  const bool commit = GetParam();
  TABSFieldDefs fields;
  testing::AddField(fields, "ID", adtInteger);
  TABSIndexDefs indexes;
  testing::AddIndexDef(indexes, "ByID", {"ID"});
  testing::MemoryTable table("TransactionRows", fields, indexes);
  table.Insert(5);

  TABSLocalSession session;
  session.DatabaseName = "MEMORY";
  session.SetConnected(true);
  session.StartTransaction();
  table.cursor.session = session.SessionID;
  table.cursor.in_transaction = true;
  for (int32_t value : {3, 9, 1}) table.Insert(value);
  if (commit) {
    session.Commit(true);
  } else {
    session.Rollback();
  }
  table.cursor.in_transaction = false;

  const TABSSortedPageList* pending = table.table->PageManager()->ChangeSet(session.SessionID);
  EXPECT_TRUE(pending == nullptr || pending->Count() == 0);
  // Work after the transaction that is given up must not take the transaction's pages along.
  table.table->DiscardSessionChanges(session.SessionID, false);
  table.cursor.index_id = table.table->IndexManager()->IndexDefs().Item(0).ObjectID;
  EXPECT_EQ(table.Column0(), (std::vector<int32_t>{1, 3, 5, 9}));
}

INSTANTIATE_TEST_SUITE_P(CommitOrRollback, MemoryTransactionTest, ::testing::Bool());

}  // namespace
}  // namespace tabshift
