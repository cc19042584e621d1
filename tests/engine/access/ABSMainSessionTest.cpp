#include "engine/access/ABSMainSession.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/access/ABSLocalSession.h"
#include "engine/access/ABSMainDatabase.h"
#include "engine/access/SessionErrorMatchers.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"

namespace tabshift {
namespace {

TEST(SessionList, MakesTheDefaultSessionFirst) {
  TABSSession* session = Sessions().DefaultSession();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->SessionName(), "Default");
  EXPECT_TRUE(session->IsDefault());
  EXPECT_EQ(Sessions().Session(0), session);
  EXPECT_EQ(Sessions().FindSession(""), session);
  EXPECT_EQ(Sessions().FindSession("dEFAULT"), session);
  EXPECT_EQ(&Sessions().GetSession("DEFAULT"), session);
}

TEST(SessionList, UnknownNamesAreMissingOrInvalid) {
  EXPECT_EQ(Sessions().FindSession("Nobody"), nullptr);
  EXPECT_ENGINE_TEXT(Sessions().GetSession("Nobody"), 20002, "Invalid session name 'Nobody'");
}

TEST(Session, JoinsAndLeavesTheList) {
  const int before = Sessions().Count();
  {
    TABSSession session;
    session.SetSessionName("Joining");
    EXPECT_EQ(Sessions().Count(), before + 1);
    EXPECT_EQ(Sessions().FindSession("JOINING"), &session);
    EXPECT_FALSE(session.IsDefault());
  }
  EXPECT_EQ(Sessions().Count(), before);
  EXPECT_EQ(Sessions().FindSession("Joining"), nullptr);
}

TEST(Session, NamesAreUniqueIgnoringCase) {
  TABSSession first;
  first.SetSessionName("Twin");
  TABSSession second;
  EXPECT_DATABASE_ERROR(second.SetSessionName("TWIN"), "Duplicate session name 'TWIN'");
  EXPECT_DATABASE_ERROR(second.SetSessionName("default"), "Duplicate session name 'default'");
  second.SetName("Second");
  EXPECT_DATABASE_ERROR(second.SetSessionName("twin"), "Second: Duplicate session name 'twin'");
  EXPECT_EQ(second.SessionName(), "");
}

TEST(Session, ActivationNeedsANameAndStartsTheDefaultSession) {
  TABSSession session;
  int startups = 0;
  session.OnStartup = [&](TABSSession&) { ++startups; };
  EXPECT_DATABASE_ERROR(session.SetActive(true), "Session name missing");
  EXPECT_FALSE(session.Active());
  session.SetSessionName("Starting");
  session.SetActive(true);
  EXPECT_EQ(startups, 2);
  EXPECT_TRUE(session.Active());
  EXPECT_TRUE(Sessions().DefaultSession()->Active());
  EXPECT_DATABASE_ERROR(session.SetSessionName("Other"),
                        "Cannot perform this operation on an active session");
  session.SetActive(false);
  session.SetSessionName("Other");
  EXPECT_EQ(session.SessionName(), "Other");
}

TEST(Session, LockingActivates) {
  TABSSession session;
  session.SetSessionName("Locking");
  session.Lock();
  session.Unlock();
  EXPECT_TRUE(session.Active());
}

TEST(SessionAutoName, NumbersAreTheLowestFreeOnePlusOne) {
  TComponent form1(nullptr);
  TComponent form2(nullptr);
  TComponent form3(nullptr);
  auto* a = new TABSSession(&form1);
  a->SetName("SessA");
  a->SetAutoSessionName(true);
  EXPECT_EQ(a->SessionName(), "SessA_1");
  auto* b = new TABSSession(&form2);
  b->SetName("SessB");
  b->SetAutoSessionName(true);
  EXPECT_EQ(b->SessionName(), "SessB_2");
  EXPECT_DATABASE_ERROR(b->SetSessionName("Manual"),
                        "SessB: Cannot modify SessionName while AutoSessionName is enabled");
  b->SetName("Renamed");
  EXPECT_EQ(b->SessionName(), "Renamed_2");

  a->SetAutoSessionName(false);
  EXPECT_EQ(a->SessionName(), "SessA_1");
  a->SetSessionName("Manual");
  auto* c = new TABSSession(&form3);
  c->SetName("SessC");
  c->SetAutoSessionName(true);
  EXPECT_EQ(c->SessionName(), "SessC_1");
  delete c;
  auto* d = new TABSSession(&form3);
  d->SetName("SessD");
  d->SetAutoSessionName(true);
  EXPECT_EQ(d->SessionName(), "SessD_1");
}

TEST(SessionAutoName, OnlyOneSessionPerOwner) {
  TComponent form(nullptr);
  auto* first = new TABSSession(&form);
  first->SetName("First");
  auto* second = new TABSSession(&form);
  second->SetName("Second");
  EXPECT_DATABASE_ERROR(
      first->SetAutoSessionName(true),
      "First: Cannot enable AutoSessionName property with more than one session on a form or "
      "data-module");
  EXPECT_FALSE(first->AutoSessionName());
  delete second;
  first->SetAutoSessionName(true);
  const int count = form.ComponentCount();
  EXPECT_DATABASE_ERROR(new TABSSession(&form),
                        "Cannot add a session to the form or data-module while session 'First' "
                        "has AutoSessionName enabled");
  EXPECT_EQ(form.ComponentCount(), count);
  EXPECT_EQ(Sessions().FindSession("First_1"), first);
}

TEST(SessionAutoName, CannotBeTurnedOnWhileActive) {
  TABSSession session;
  session.SetSessionName("Busy");
  session.SetActive(true);
  EXPECT_DATABASE_ERROR(session.SetAutoSessionName(true),
                        "Cannot perform this operation on an active session");
}

class SessionDatabasesTest : public ::testing::Test {
 protected:
  SessionDatabasesTest() { session.SetSessionName("Datasets"); }

  TABSSession session;
  TComponent dataset_owner{nullptr};
};

TEST_F(SessionDatabasesTest, OpenDatabaseMakesATemporarySilentDatabaseForMemory) {
  TABSDatabase& database = session.OpenDatabase("MEMORY", &dataset_owner);
  EXPECT_TRUE(database.Temporary());
  EXPECT_TRUE(database.SilentMode());
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.Owner(), &session);
  EXPECT_EQ(database.Session(), &session);
  EXPECT_EQ(database.SessionName(), "Datasets");
  EXPECT_EQ(database.EngineSession()->DatabaseData, &MemoryDatabaseData());
  EXPECT_EQ(database.RefCount(), 1);
  EXPECT_EQ(session.FindDatabase("memory"), &database);
  EXPECT_EQ(&session.OpenDatabase("Memory", &dataset_owner), &database);
  EXPECT_EQ(database.RefCount(), 2);
}

TEST_F(SessionDatabasesTest, ClosingTheLastReferenceFreesATemporaryDatabaseUnlessKept) {
  session.SetKeepConnections(false);
  TABSDatabase* database = &session.OpenDatabase("MEMORY", &dataset_owner);
  EXPECT_FALSE(database->KeepConnection());
  session.OpenDatabase("MEMORY", &dataset_owner);
  session.CloseDatabase(database);
  EXPECT_EQ(session.FindDatabase("MEMORY"), database);
  session.CloseDatabase(database);
  EXPECT_EQ(session.FindDatabase("MEMORY"), nullptr);
  EXPECT_EQ(session.DatabaseCount(), 0);

  session.SetKeepConnections(true);
  database = &session.OpenDatabase("MEMORY", &dataset_owner);
  session.CloseDatabase(database);
  session.CloseDatabase(database);
  EXPECT_EQ(database->RefCount(), 0);
  EXPECT_TRUE(database->Connected());
}

TEST_F(SessionDatabasesTest, ClosingTheLastReferenceClosesAnApplicationDatabase) {
  TABSDatabase database;
  database.SetSessionName("Datasets");
  database.SetDatabaseName("MEMORY");
  database.SetKeepConnection(false);
  database.Open();
  EXPECT_EQ(&session.OpenDatabase("MEMORY", &dataset_owner), &database);
  EXPECT_EQ(database.Session(), &session);
  EXPECT_FALSE(database.Temporary());
  session.CloseDatabase(&database);
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(session.FindDatabase("MEMORY"), &database);
}

TEST_F(SessionDatabasesTest, LowerCaseMemoryIsADatabaseFile) {
  EXPECT_ENGINE_CODE(session.OpenDatabase("memory", &dataset_owner), kDiskEngineMissingError);
  EXPECT_EQ(session.DatabaseCount(), 0);
}

TEST_F(SessionDatabasesTest, DeactivationFreesTemporaryAndClosesOtherDatabases) {
  session.OpenDatabase("TEMP", &dataset_owner);
  ASSERT_EQ(session.DatabaseCount(), 1);
  TABSDatabase memory;
  memory.SetSessionName("Datasets");
  memory.SetDatabaseName("MEMORY");
  memory.Open();
  EXPECT_EQ(session.DatabaseCount(), 2);
  session.SetActive(false);
  EXPECT_EQ(session.FindDatabase("TEMP"), nullptr);
  EXPECT_FALSE(memory.Connected());
  EXPECT_EQ(session.FindDatabase("MEMORY"), &memory);
}

TEST_F(SessionDatabasesTest, SharedDatabasesOfTheSameOwnerComeFirstAndShareTheEngineSession) {
  TComponent other_owner(nullptr);
  auto* first = new TABSDatabase(&other_owner);
  auto* second = new TABSDatabase(&dataset_owner);
  for (TABSDatabase* database : {first, second}) {
    database->SetSessionName("Datasets");
    database->SetHandleShared(true);
    database->SetDatabaseName("MEMORY");
    database->Open();
  }
  EXPECT_EQ(&session.OpenDatabase("MEMORY", &dataset_owner), second);
  EXPECT_EQ(&session.OpenDatabase("MEMORY", &other_owner), first);
  EXPECT_EQ(&session.OpenDatabase("MEMORY", nullptr), first);
  ASSERT_EQ(first->EngineSession(), second->EngineSession());
  TABSBaseSession* engine_session = second->EngineSession();
  delete first;
  EXPECT_TRUE(second->Connected());
  EXPECT_TRUE(engine_session->IsConnected());
}

TEST(SessionDestruction, LeavesApplicationDatabasesWithoutASession) {
  TABSDatabase database;
  {
    TABSSession session;
    session.SetSessionName("Short");
    database.SetSessionName("Short");
    database.SetDatabaseName("MEMORY");
    database.Open();
    EXPECT_EQ(database.Session(), &session);
  }
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.Session(), nullptr);
  EXPECT_ENGINE_CODE(database.Open(), 20002);
  database.SetSessionName("");
  database.Open();
  EXPECT_EQ(database.Session(), Sessions().DefaultSession());
}

}  // namespace
}  // namespace tabshift
