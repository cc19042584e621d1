// A stand-in for the disk engine in the session tests: a database data object that keeps its
// tables in memory but behaves like a database file towards sessions. It creates its file on
// CreateDatabase, checks the password a file was created with, and can report that the file
// needs repair.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalSession.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSMemEngine.h"
#include "support/TempDirectory.h"

namespace tabshift::testing {

// What the stand-in knows about the files it "stores": password and state at open.
struct FakeDiskFile {
  std::string password;
  bool needs_repair = false;
  double version = 6.09;
  std::vector<std::string> tables;
};

class FakeDiskFiles {
 public:
  static std::map<std::string, FakeDiskFile>& Files() {
    static std::map<std::string, FakeDiskFile> files;
    return files;
  }
};

class FakeDiskDatabaseData : public TABSDatabaseData {
 public:
  explicit FakeDiskDatabaseData(const TABSBaseSession& session)
      : TABSDatabaseData(session.DatabaseName), creating_password_(session.Password.Password) {}
  ~FakeDiskDatabaseData() override {
    while (TableCount() > 0) delete &Table(TableCount() - 1);
  }

  int32_t ConnectSession(const void* session) override {
    const auto& engine_session = *static_cast<const TABSLocalSession*>(session);
    if (SessionCount() == 0) OpenFile(engine_session);
    TABSDatabaseData::ConnectSession(session);
    return ++last_session_id_;
  }
  void CreateDatabase() override {
    WriteWholeFile(FileName(), "fake database");
    FakeDiskFile file;
    file.password = creating_password_;
    FakeDiskFiles::Files()[FileName()] = file;
  }
  void GetTableNames(TStringList& names) override {
    names.Clear();
    for (const std::string& table : FakeDiskFiles::Files()[FileName()].tables) names.Add(table);
  }
  TABSTableData& CreateTableData(const TABSCursorState& cursor) override {
    return *new TABSMemoryTableData(this, cursor.table_name);
  }

  static void Register() {
    SetDiskDatabaseDataFactory([](const TABSBaseSession& session) {
      return std::make_unique<FakeDiskDatabaseData>(session);
    });
  }

 private:
  void OpenFile(const TABSLocalSession& session) {
    const FakeDiskFile& file = FakeDiskFiles::Files()[FileName()];
    if (file.password != session.Password.Password) {
      RaiseEngineError(30445, "Cannot open database - incorrect password");
    }
    Settings().password = file.password;
    Settings().needs_repair = file.needs_repair;
    Settings().file_version = file.version;
    Settings().page_size = 8192;
  }

  std::string creating_password_;
  int32_t last_session_id_ = 0;
};

// Registers the stand-in for the length of a test.
class FakeDiskEngine {
 public:
  FakeDiskEngine() { FakeDiskDatabaseData::Register(); }
  ~FakeDiskEngine() {
    SetDiskDatabaseDataFactory(nullptr);
    FakeDiskFiles::Files().clear();
  }
  FakeDiskEngine(const FakeDiskEngine&) = delete;
  FakeDiskEngine& operator=(const FakeDiskEngine&) = delete;
};

}  // namespace tabshift::testing
