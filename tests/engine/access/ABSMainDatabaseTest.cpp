#include "engine/access/ABSMainDatabase.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <memory>
#include <vector>

#include "engine/access/ABSMainSession.h"
#include "engine/access/SessionErrorMatchers.h"
#include "engine/access/SessionTestSupport.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace tabshift {
namespace {

using testing::FakeDiskEngine;
using testing::FakeDiskFiles;
using testing::TempDirectory;

std::unique_ptr<TABSDatabase> MemoryDatabase(const std::string& name = "MEMORY") {
  auto database = std::make_unique<TABSDatabase>();
  database->SetDatabaseName(name);
  return database;
}

TEST(Database, DefaultsAtCreation) {
  TABSDatabase database;
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.Password(), "");
  EXPECT_FALSE(database.Exclusive());
  EXPECT_FALSE(database.ReadOnly());
  EXPECT_FALSE(database.MultiUser());
  EXPECT_EQ(database.MaxConnections(), 500);
  EXPECT_FALSE(database.HandleShared());
  EXPECT_TRUE(database.KeepConnection());
  EXPECT_FALSE(database.SilentMode());
  EXPECT_FALSE(database.DisableTempFiles());
  EXPECT_EQ(database.PageSize(), 4096);
  EXPECT_EQ(database.ExtentPageCount(), 8);
  EXPECT_EQ(database.CipherId(), 0);
  EXPECT_EQ(database.Session(), Sessions().DefaultSession());
  EXPECT_EQ(database.EngineSession(), nullptr);
}

// Separates decimals with a comma, as many locales do.
class CommaDecimals : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
};

TEST(Database, CurrentVersionIgnoresTheLocale) {
  TABSDatabase database;
  EXPECT_EQ(database.CurrentVersion(), "6.09 ");
  const std::locale previous = std::locale::global(std::locale(std::locale(), new CommaDecimals));
  const std::string c_locale = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) break;
  }
  const std::string version = database.CurrentVersion();
  std::setlocale(LC_NUMERIC, c_locale.c_str());
  std::locale::global(previous);
  EXPECT_EQ(version, "6.09 ");
}

TEST(Database, NameChecksComeFirst) {
  TABSDatabase database;
  EXPECT_DATABASE_ERROR(database.CreateDatabase(), "Database name missing");
  EXPECT_DATABASE_ERROR(database.DeleteDatabase(), "Database name missing");
  EXPECT_DATABASE_ERROR(database.Open(), "Database name missing");
  database.SetName("Named");
  EXPECT_DATABASE_ERROR(database.Open(), "Named: Database name missing");
}

TEST(Database, ConnectedDatabasesRefuseCreationAndRenaming) {
  auto database = MemoryDatabase();
  database->SetConnected(true);
  EXPECT_TRUE(database->Connected());
  const char* text = "Cannot perform this operation on an open database";
  EXPECT_DATABASE_ERROR(database->CreateDatabase(), text);
  EXPECT_DATABASE_ERROR(database->DeleteDatabase(), text);
  EXPECT_DATABASE_ERROR(database->SetDatabaseName("Other"), text);
  EXPECT_DATABASE_ERROR(database->SetSessionName("Other"), text);
  EXPECT_TRUE(database->Connected());
  database->SetDatabaseFileName("elsewhere.abs");
  EXPECT_FALSE(database->Connected());
}

TEST(Database, MemoryAndTempOpenWithoutAFile) {
  for (const char* name : {"MEMORY", "TEMP"}) {
    auto database = MemoryDatabase(name);
    database->Open();
    EXPECT_EQ(database->EngineSession()->DatabaseData, DatabaseDataList().Find(name));
    database->Close();
    EXPECT_EQ(database->EngineSession(), nullptr);
  }
}

TEST(Database, AMissingFileIsReportedAndLeavesTheDatabaseClosed) {
  TempDirectory directory;
  for (const char* name : {"memory", "Target"}) {
    auto database = MemoryDatabase(name);
    database->SetDatabaseFileName(directory.File("missing.abs"));
    EXPECT_DATABASE_ERROR(database->Open(),
                          "Database file '" + directory.File("missing.abs") + "' does not exist");
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(database->EngineSession(), nullptr);
  }
}

TEST(Database, AnExistingFileNeedsTheDiskEngine) {
  TempDirectory directory;
  const std::string file = directory.File("present.abs");
  testing::WriteWholeFile(file, "x");
  auto database = MemoryDatabase("memory");
  database->SetDatabaseFileName(file);
  EXPECT_ENGINE_CODE(database->Open(), kDiskEngineMissingError);
  EXPECT_FALSE(database->Connected());
  EXPECT_ENGINE_CODE(database->CreateDatabase(), kDiskEngineMissingError);
}

TEST(Database, NamesAreUniqueWithinASession) {
  auto first = MemoryDatabase("Shared");
  auto second = std::make_unique<TABSDatabase>();
  EXPECT_DATABASE_ERROR(second->SetDatabaseName("SHARED"), "Duplicate database name 'SHARED'");
  first->SetHandleShared(true);
  second->SetHandleShared(true);
  second->SetDatabaseName("SHARED");
  EXPECT_EQ(second->DatabaseName(), "SHARED");
}

TEST(Database, AnUnusedTemporaryDatabaseGivesWayToAnApplicationDatabase) {
  TABSSession session;
  session.SetSessionName("GivingWay");
  session.SetKeepConnections(true);
  TABSDatabase* temporary = &session.OpenDatabase("MEMORY", nullptr);
  TABSDatabase application;
  application.SetSessionName("GivingWay");
  application.SetDatabaseName("MEMORY");
  EXPECT_DATABASE_ERROR(application.Open(), "Duplicate database name 'MEMORY'");
  session.CloseDatabase(temporary);
  application.Open();
  EXPECT_EQ(session.DatabaseCount(), 1);
  EXPECT_EQ(session.FindDatabase("MEMORY"), &application);
}

TEST(Database, AttachingMovesTheDatabaseIntoItsSession) {
  TABSSession session;
  session.SetSessionName("Target");
  auto database = MemoryDatabase();
  database->SetSessionName("target");
  database->Open();
  EXPECT_EQ(database->Session(), &session);
  EXPECT_TRUE(session.Active());
  EXPECT_EQ(Sessions().DefaultSession()->FindDatabase("MEMORY"), nullptr);
  database->Close();
  database->SetSessionName("Unknown");
  EXPECT_ENGINE_TEXT(database->Open(), 20002, "Invalid session name 'Unknown'");
}

TEST(DatabaseTransactions, FollowTheOpenAndTransactionChecks) {
  auto database = MemoryDatabase();
  EXPECT_FALSE(database->InTransaction());
  const char* closed = "Cannot perform this operation on a closed database";
  EXPECT_DATABASE_ERROR(database->StartTransaction(), closed);
  EXPECT_DATABASE_ERROR(database->Commit(), closed);
  EXPECT_DATABASE_ERROR(database->Rollback(), closed);
  database->Open();
  const char* outside = "Database is not within a transaction. Cannot perform operation";
  EXPECT_ENGINE_TEXT(database->Commit(true), 20229, outside);
  EXPECT_ENGINE_TEXT(database->Rollback(), 20229, outside);
  database->StartTransaction();
  EXPECT_TRUE(database->InTransaction());
  EXPECT_DATABASE_ERROR(database->StartTransaction(), "Database is already within a transaction");
  database->Rollback();
  EXPECT_FALSE(database->InTransaction());
  database->StartTransaction();
  database->Commit(false);
  EXPECT_FALSE(database->InTransaction());
  database->StartTransaction();
  database->Close();
  EXPECT_FALSE(database->InTransaction());
}

TEST(DatabaseTables, NamesAndExistenceComeFromTheEngine) {
  TABSFieldDefs fields;
  testing::AddField(fields, "ID", adtInteger);
  testing::MemoryTable table("SessionListedTable", fields);
  auto database = MemoryDatabase();
  TStringList names;
  database->GetTableNames(names);
  EXPECT_GE(names.IndexOf("SessionListedTable"), 0);
  EXPECT_FALSE(database->Connected());
  EXPECT_TRUE(database->TableExists("sessionlistedtable"));
  EXPECT_FALSE(database->TableExists("NoSuchTable"));
  EXPECT_FALSE(database->Connected());
  database->Open();
  EXPECT_TRUE(database->TableExists("SESSIONLISTEDTABLE"));
  EXPECT_TRUE(database->Connected());
}

TEST(DatabaseTables, UnreachableDatabasesGiveNoNames) {
  TStringList names;
  names.Add("stale");
  TABSDatabase database;
  database.GetTableNames(names);
  EXPECT_EQ(names.Count(), 0);
}

// A dataset as a database sees it: it leaves the list when closed, and may close others.
class FakeDataSet : public TABSDatabaseClient {
 public:
  FakeDataSet(TABSDatabase& database, std::vector<std::string>& log, std::string name, bool sql)
      : database_(database), log_(log), name_(std::move(name)), sql_(sql) {
    database_.AddDataSet(this);
  }
  void CloseDataSet() override {
    log_.push_back(name_);
    database_.RemoveDataSet(this);
    if (also_close_ != nullptr) also_close_->CloseDataSet();
    also_close_ = nullptr;
  }
  bool IsSQLDataSet() const override { return sql_; }
  void AlsoClose(FakeDataSet* other) { also_close_ = other; }

 private:
  TABSDatabase& database_;
  std::vector<std::string>& log_;
  std::string name_;
  bool sql_;
  FakeDataSet* also_close_ = nullptr;
};

TEST(DatabaseDataSets, CloseClosesSqlDataSetsFirstAndEachOnlyOnce) {
  auto database = MemoryDatabase();
  database->Open();
  std::vector<std::string> log;
  FakeDataSet table1(*database, log, "table1", false);
  FakeDataSet query(*database, log, "query", true);
  FakeDataSet table2(*database, log, "table2", false);
  FakeDataSet table3(*database, log, "table3", false);
  table1.AlsoClose(&table3);
  database->AddDataSet(&table2);
  EXPECT_EQ(database->DataSetCount(), 4);
  database->Close();
  EXPECT_EQ(log, (std::vector<std::string>{"query", "table1", "table3", "table2"}));
  EXPECT_EQ(database->DataSetCount(), 0);
  EXPECT_FALSE(database->Connected());
}

// Does not leave the list when closed: the database must not close it twice or loop.
class StickyDataSet : public TABSDatabaseClient {
 public:
  void CloseDataSet() override { ++closes; }
  int closes = 0;
};

TEST(DatabaseDataSets, ADataSetThatStaysAttachedIsClosedOnce) {
  auto database = MemoryDatabase();
  database->Open();
  StickyDataSet dataset;
  database->AddDataSet(&dataset);
  database->Close();
  EXPECT_EQ(dataset.closes, 1);
  database->RemoveDataSet(&dataset);
}

TEST(DatabaseDataSets, DestroyingTheDatabaseClosesItsDataSets) {
  auto database = MemoryDatabase();
  database->Open();
  std::vector<std::string> log;
  FakeDataSet table(*database, log, "table", false);
  database.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"table"}));
}

// Detaches as a dataset does: leaves the list and drops its reference through the session.
class DetachingDataSet : public TABSDatabaseClient {
 public:
  explicit DetachingDataSet(TABSDatabase& database) : database_(database) {
    database_.AddDataSet(this);
  }
  void CloseDataSet() override {
    database_.RemoveDataSet(this);
    database_.Session()->CloseDatabase(&database_);
  }

 private:
  TABSDatabase& database_;
};

TEST(DatabaseDataSets, ATemporaryDatabaseSurvivesItsOwnClose) {
  TABSSession session;
  session.SetSessionName("Detaching");
  session.SetKeepConnections(false);
  TABSDatabase& database = session.OpenDatabase("MEMORY", nullptr);
  DetachingDataSet dataset(database);
  database.Close();
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(session.FindDatabase("MEMORY"), &database);
  EXPECT_EQ(database.RefCount(), 0);
}

TEST(DatabaseLoading, SettersOnlyStoreUntilLoadedOpens) {
  TABSSession session;
  session.SetSessionName("Loading");
  TABSDatabase database;
  database.BeginLoading();
  database.SetSessionName("Loading");
  database.SetDatabaseName("MEMORY");
  database.SetConnected(true);
  EXPECT_FALSE(database.Connected());
  database.EndLoading();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.Session(), &session);
}

class DatabaseDiskTest : public ::testing::Test {
 protected:
  std::unique_ptr<TABSDatabase> DiskDatabase(const std::string& name,
                                             const std::string& password = "") {
    auto database = std::make_unique<TABSDatabase>();
    database->SetDatabaseName(name);
    database->SetDatabaseFileName(file);
    database->SetPassword(password);
    database->SetSilentMode(true);
    return database;
  }

  FakeDiskEngine engine;
  TempDirectory directory;
  std::string file = directory.File("target.abs");
};

TEST_F(DatabaseDiskTest, CreateDatabaseWritesTheFileAndStaysDisconnected) {
  auto database = DiskDatabase("Disk", "pw");
  database->SetCipherId(3);
  database->CreateDatabase();
  EXPECT_FALSE(database->Connected());
  EXPECT_EQ(testing::ReadWholeFile(file), "fake database");
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
  database->Open();
  EXPECT_EQ(database->PageSize(), 8192);
  database->Close();
  database->DeleteDatabase();
  EXPECT_DATABASE_ERROR(database->Open(), "Database file '" + file + "' does not exist");
}

TEST_F(DatabaseDiskTest, CreatingAFileThatIsOpenFailsAndLeavesItOpen) {
  auto open = DiskDatabase("Open");
  open->CreateDatabase();
  open->Open();
  auto creator = DiskDatabase("Creator");
  EXPECT_ENGINE_TEXT(creator->CreateDatabase(), 20092,
                     "Cannot create database. Database is already open");
  EXPECT_TRUE(open->Connected());
  EXPECT_TRUE(open->EngineSession()->IsConnected());
}

TEST_F(DatabaseDiskTest, TwoDatabasesOfOneFileShareOneDataObject) {
  auto first = DiskDatabase("First", "pw");
  first->CreateDatabase();
  first->Open();
  auto second = DiskDatabase("Second", "pw");
  second->Open();
  EXPECT_EQ(first->EngineSession()->DatabaseData, second->EngineSession()->DatabaseData);
  auto third = DiskDatabase("Third", "other");
  EXPECT_ENGINE_TEXT(third->Open(), 20298, "Database password is invalid.");
  EXPECT_FALSE(third->Connected());
  first.reset();
  second.reset();
  EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
}

TEST_F(DatabaseDiskTest, AWrongPasswordFailsAtOnceWhenSilent) {
  DiskDatabase("Creator", "right")->CreateDatabase();
  auto database = DiskDatabase("Wrong", "wrong");
  EXPECT_ENGINE_TEXT(database->Open(), 30445, "Cannot open database - incorrect password");
  EXPECT_FALSE(database->Connected());
  database->SetSilentMode(false);
  EXPECT_ENGINE_CODE(database->Open(), 30445);
}

TEST_F(DatabaseDiskTest, OnPasswordIsAskedUntilItGivesUp) {
  DiskDatabase("Creator", "right")->CreateDatabase();
  auto database = DiskDatabase("Asking", "wrong");
  std::vector<std::string> answers = {"still wrong", "right"};
  int asked = 0;
  database->OnPassword = [&](TABSDatabase& sender) {
    sender.SetPassword(answers[static_cast<size_t>(asked++)]);
    return true;
  };
  database->Open();
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(database->Connected());
  database->Close();
  database->SetPassword("wrong");
  database->OnPassword = [&](TABSDatabase&) { return false; };
  EXPECT_ENGINE_CODE(database->Open(), 30445);
}

TEST_F(DatabaseDiskTest, ReadsTheSettingsBackFromTheEngine) {
  auto database = DiskDatabase("Settings");
  database->CreateDatabase();
  database->SetPageSize(16384);
  database->SetReadOnly(true);
  database->Open();
  EXPECT_EQ(database->PageSize(), 8192);
  EXPECT_EQ(database->ExtentPageCount(), 8);
  EXPECT_TRUE(database->ReadOnly());
  // A second connection takes the open mode of the file as this process opened it.
  auto second = DiskDatabase("Second");
  second->Open();
  EXPECT_TRUE(second->ReadOnly());
}

struct RepairCase {
  bool silent;
  double version;
  bool has_event;
  bool answer;
  bool repair_expected;
};

class DatabaseRepairTest : public DatabaseDiskTest,
                           public ::testing::WithParamInterface<RepairCase> {};

TEST_P(DatabaseRepairTest, RepairIsOfferedOnlyWhenNotSilent) {
  const RepairCase& repair = GetParam();
  DiskDatabase("Creator")->CreateDatabase();
  FakeDiskFiles::Files()[file].needs_repair = true;
  FakeDiskFiles::Files()[file].version = repair.version;
  auto database = DiskDatabase("Damaged");
  database->SetSilentMode(repair.silent);
  int asked = 0;
  if (repair.has_event) {
    database->OnNeedRepair = [&](TABSDatabase&) {
      ++asked;
      return repair.answer;
    };
  }
  if (repair.repair_expected) {
    EXPECT_ENGINE_TEXT(database->Open(), 20238,
                       "Cannot convert database to the new format. Please contact technical "
                       "support. Copying tables into a new database file is not available in "
                       "this build.");
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(DatabaseDataList().FindDisk(file, ""), nullptr);
  } else {
    database->Open();
    EXPECT_TRUE(database->Connected());
  }
  EXPECT_EQ(asked, !repair.silent && repair.version >= 2.99 && repair.has_event ? 1 : 0);
}

TEST_F(DatabaseDiskTest, RepairNeedsRoomForACopyOfTheFile) {
  DiskDatabase("Creator")->CreateDatabase();
  FakeDiskFiles::Files()[file].needs_repair = true;
  const int64_t free_bytes = platform::DiskFreeBytes(directory.path());
  platform::File grown;
  ASSERT_TRUE(grown.Open(file, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                         platform::FileCreation::OpenExisting));
  if (free_bytes < 0 || !grown.SetSize(static_cast<uint64_t>(free_bytes) + (1u << 30))) {
    GTEST_SKIP() << "the file system cannot hold a sparse file larger than its free space";
  }
  grown.Close();
  auto database = DiskDatabase("Damaged");
  database->SetSilentMode(false);
  database->OnNeedRepair = [](TABSDatabase&) { return true; };
  EXPECT_ENGINE_TEXT(database->Open(), 20303,
                     "There is not enough free space on drive to perform required operation "
                     "with the database file.");
  EXPECT_FALSE(database->Connected());
}

INSTANTIATE_TEST_SUITE_P(SilentModeAndVersions, DatabaseRepairTest,
                         ::testing::Values(RepairCase{true, 6.09, true, true, false},
                                           RepairCase{true, 2.5, true, true, false},
                                           RepairCase{false, 6.09, false, false, false},
                                           RepairCase{false, 6.09, true, false, false},
                                           RepairCase{false, 6.09, true, true, true},
                                           RepairCase{false, 2.5, false, false, true}));

struct CopyCall {
  std::string table;
  double start;
  double end;
  bool operator==(const CopyCall&) const = default;
};

// Repairs a damaged file through a registered table copy that records what it was asked.
class DatabaseCopyTest : public DatabaseDiskTest {
 protected:
  DatabaseCopyTest() {
    DiskDatabase("Creator", "pw")->CreateDatabase();
    testing::WriteWholeFile(file, "original");
    FakeDiskFiles::Files()[file].needs_repair = true;
    FakeDiskFiles::Files()[file].tables = {"First", "Second"};
    database = DiskDatabase("Damaged", "pw");
    database->SetSilentMode(false);
    database->OnNeedRepair = [](TABSDatabase&) { return true; };
    database->OnRepairProgress = [this](TABSDatabase&, double percent, bool&) {
      progress.push_back(percent);
    };
  }
  ~DatabaseCopyTest() override { SetTableCopier(nullptr); }

  void RegisterCopier(const std::string& failing_table, const std::string& failure_text) {
    SetTableCopier([=, this](TABSDatabase& source, TABSDatabase& target, const std::string& table,
                             double start, double end, const auto& report, std::string& error) {
      calls.push_back({table, start, end});
      EXPECT_TRUE(source.Connected());
      EXPECT_TRUE(source.Exclusive());
      EXPECT_TRUE(target.Connected());
      EXPECT_EQ(target.DatabaseName().rfind("TempDatabase{", 0), 0u);
      EXPECT_EQ(target.DatabaseFileName(), file + ".tmp");
      EXPECT_EQ(target.Password(), "pw");
      bool go_on = true;
      report(end, go_on);
      if (table != failing_table) return true;
      error += failure_text;
      return false;
    });
  }

  std::unique_ptr<TABSDatabase> database;
  std::vector<CopyCall> calls;
  std::vector<double> progress;
};

TEST_F(DatabaseCopyTest, EveryTableIsCopiedAndTheCopyReplacesTheFile) {
  RegisterCopier("", "");
  database->Open();
  EXPECT_TRUE(database->Connected());
  EXPECT_FALSE(database->Exclusive());
  EXPECT_EQ(calls, (std::vector<CopyCall>{{"First", 0, 50}, {"Second", 50, 100}}));
  EXPECT_EQ(progress, (std::vector<double>{50, 100}));
  EXPECT_EQ(testing::ReadWholeFile(file), "fake database");
  EXPECT_FALSE(platform::FileExists(file + ".tmp"));
}

struct CopyFailure {
  const char* failure_text;
  const char* reported;
};

class DatabaseCopyFailureTest : public DatabaseCopyTest,
                                public ::testing::WithParamInterface<CopyFailure> {};

TEST_P(DatabaseCopyFailureTest, StopsAtTheFirstFailureAndKeepsTheOriginal) {
  RegisterCopier("First", GetParam().failure_text);
  EXPECT_ENGINE_TEXT(database->Open(), 20238,
                     std::string("Cannot convert database to the new format. Please contact "
                                 "technical support. ") +
                         GetParam().reported);
  EXPECT_FALSE(database->Connected());
  EXPECT_EQ(calls, (std::vector<CopyCall>{{"First", 0, 50}}));
  EXPECT_EQ(testing::ReadWholeFile(file), "original");
  EXPECT_FALSE(platform::FileExists(file + ".tmp"));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutText, DatabaseCopyFailureTest,
                         ::testing::Values(CopyFailure{"First is broken", "First is broken"},
                                           CopyFailure{"", "Unknown error"}));

TEST_F(DatabaseCopyTest, AnErrorDuringTheCopyBecomesItsText) {
  SetTableCopier([](TABSDatabase&, TABSDatabase&, const std::string&, double, double, const auto&,
                    std::string&) -> bool { DatabaseError("Row copy failed"); });
  EXPECT_ENGINE_TEXT(database->Open(), 20238,
                     "Cannot convert database to the new format. Please contact technical "
                     "support. Row copy failed");
  EXPECT_EQ(testing::ReadWholeFile(file), "original");
}

}  // namespace
}  // namespace tabshift
