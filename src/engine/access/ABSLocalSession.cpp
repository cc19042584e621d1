#include "engine/access/ABSLocalSession.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSCursorState.h"
#include "engine/core/ABSDatabaseData.h"
#include "framework/Text.h"

namespace tabshift {

namespace {

constexpr int32_t kNotConnected = 20151;
constexpr int32_t kDatabaseAlreadyOpen = 20092;
constexpr int32_t kNotInTransaction = 20229;
constexpr int32_t kPasswordInvalid = 20298;

struct DiskFactoryHolder {
  std::mutex lock;
  TABSDiskDatabaseDataFactory factory;
};

DiskFactoryHolder& DiskFactory() {
  static DiskFactoryHolder holder;
  return holder;
}

}  // namespace

void SetDiskDatabaseDataFactory(TABSDiskDatabaseDataFactory factory) {
  DiskFactoryHolder& holder = DiskFactory();
  std::lock_guard guard(holder.lock);
  holder.factory = std::move(factory);
}

TABSLocalSession::~TABSLocalSession() {
  try {
    SetConnected(false);
  } catch (...) {
    // A destructor must not throw; the database data object stays in the process-wide list.
  }
}

bool TABSLocalSession::IsDiskDatabase() const {
  return DatabaseName != "MEMORY" && DatabaseName != "TEMP";
}

void TABSLocalSession::SetConnected(bool connected) {
  if (connected == IsConnected()) return;
  if (connected) {
    Connect();
  } else {
    Disconnect();
  }
}

void TABSLocalSession::Connect() {
  TABSDatabaseDataList& list = DatabaseDataList();
  std::lock_guard guard(list.Lock());
  TABSDatabaseData* data = FindDatabaseData();
  const bool already_open = data != nullptr;
  if (!already_open) data = &list.Add(MakeDiskDatabaseData());
  try {
    SessionID = data->ConnectSession(this);
  } catch (...) {
    if (!already_open) list.Remove(data);
    throw;
  }
  DatabaseData = data;
  const TABSDatabaseSettings& settings = data->Settings();
  ReadOnly = settings.read_only;
  if (data->IsDiskDatabase() && already_open && !settings.password.empty() &&
      settings.password != Password.Password) {
    Disconnect();
    RaiseEngineError(kPasswordInvalid, "Database password is invalid.");
  }
  Password.Password = settings.password;
  Password.CipherId = settings.cipher_id;
  PageSize = settings.page_size;
  ExtentPageCount = settings.extent_page_count;
  MaxConnections = settings.max_connections;
  NeedsRepair = settings.needs_repair;
  FileVersion = settings.file_version;
}

void TABSLocalSession::Disconnect() {
  TABSDatabaseDataList& list = DatabaseDataList();
  std::lock_guard guard(list.Lock());
  TABSDatabaseData* data = DatabaseData;
  // Changes never committed are dropped with the connection.
  if (InTransaction) {
    InTransaction = false;
    data->Rollback(SessionID);
  }
  DatabaseData = nullptr;
  SessionID = -1;
  data->DisconnectSession(this);
  if (data->IsDiskDatabase()) data->ReleaseIfUnused();
}

TABSDatabaseData* TABSLocalSession::FindDatabaseData() const {
  if (!IsDiskDatabase()) return DatabaseDataList().Find(DatabaseName);
  return DatabaseDataList().FindDisk(DatabaseFileName, MultiUserSessionName);
}

std::unique_ptr<TABSDatabaseData> TABSLocalSession::MakeDiskDatabaseData() const {
  TABSDiskDatabaseDataFactory factory;
  {
    DiskFactoryHolder& holder = DiskFactory();
    std::lock_guard guard(holder.lock);
    factory = holder.factory;
  }
  std::unique_ptr<TABSDatabaseData> data;
  if (factory) data = factory(*this);
  if (data == nullptr) {
    RaiseEngineErrorFmt(kDiskEngineMissingError,
                        "Cannot reach database file '%s': the disk database engine is not "
                        "available in this build",
                        {DatabaseFileName});
  }
  data->SetDiskFile(DatabaseFileName, MultiUserSessionName);
  TABSDatabaseSettings& settings = data->Settings();
  settings.read_only = ReadOnly;
  settings.password = Password.Password;
  settings.cipher_id = Password.CipherId;
  settings.page_size = PageSize;
  settings.extent_page_count = ExtentPageCount;
  settings.max_connections = MaxConnections;
  return data;
}

void TABSLocalSession::CreateDatabase() {
  TABSDatabaseDataList& list = DatabaseDataList();
  std::lock_guard guard(list.Lock());
  if (FindDatabaseData() != nullptr) {
    RaiseEngineError(kDatabaseAlreadyOpen, "Cannot create database. Database is already open");
  }
  TABSDatabaseData& data = list.Add(MakeDiskDatabaseData());
  try {
    data.CreateDatabase();
  } catch (...) {
    list.Remove(&data);
    throw;
  }
  list.Remove(&data);
}

TABSDatabaseData& TABSLocalSession::ConnectedData() const {
  if (DatabaseData == nullptr) RaiseEngineError(kNotConnected, "Pointer is nil");
  return *DatabaseData;
}

bool TABSLocalSession::GetRelaxedPageChecks() const {
  TABSDatabaseData& data = ConnectedData();
  std::lock_guard guard(data.Lock());
  return data.Settings().relaxed_page_checks;
}

void TABSLocalSession::SetRelaxedPageChecks(bool relaxed) {
  TABSDatabaseData& data = ConnectedData();
  std::lock_guard guard(data.Lock());
  data.Settings().relaxed_page_checks = relaxed;
}

void TABSLocalSession::GetTableNames(TStringList& names) {
  ConnectedData().GetTableNames(names);
}

bool TABSLocalSession::TableExists(const std::string& table_name) {
  TABSCursorState cursor;
  cursor.session = SessionID;
  cursor.table_name = table_name;
  return ConnectedData().FindTableData(cursor) != nullptr;
}

void TABSLocalSession::PutNamedValue(const TABSNamedValue& value) {
  const auto same = [&](const TABSNamedValue& item) {
    return value.ID == -1 ? SameText(item.Name, value.Name) : item.ID == value.ID;
  };
  const auto found = std::find_if(named_values_.begin(), named_values_.end(), same);
  if (found != named_values_.end()) {
    *found = value;
  } else {
    named_values_.push_back(value);
  }
}

const TABSNamedValue* TABSLocalSession::FindNamedValue(const std::string& name) const {
  for (const TABSNamedValue& item : named_values_) {
    if (SameText(item.Name, name)) return &item;
  }
  return nullptr;
}

const TABSNamedValue* TABSLocalSession::FindNamedValueByID(int32_t id) const {
  for (const TABSNamedValue& item : named_values_) {
    if (item.ID == id) return &item;
  }
  return nullptr;
}

void TABSLocalSession::RemoveNamedValue(int32_t id) {
  std::erase_if(named_values_, [&](const TABSNamedValue& item) { return item.ID == id; });
}

void TABSLocalSession::StartTransaction() {
  ConnectedData();
  InTransaction = true;
}

void TABSLocalSession::CheckInTransaction() const {
  if (!InTransaction) {
    RaiseEngineError(kNotInTransaction,
                     "Database is not within a transaction. Cannot perform operation");
  }
}

void TABSLocalSession::Commit(bool flush) {
  CheckInTransaction();
  ConnectedData().Commit(SessionID, flush);
  InTransaction = false;
}

void TABSLocalSession::Rollback() {
  CheckInTransaction();
  ConnectedData().Rollback(SessionID);
  InTransaction = false;
}

void TABSLocalSession::Flush() {
  ConnectedData().FlushDatabase();
}

}  // namespace tabshift
