#include "engine/access/ABSMainDatabase.h"

#include <algorithm>
#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalSession.h"
#include "engine/access/ABSMainSession.h"
#include "framework/Text.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace tabshift {

namespace {

constexpr int32_t kIncorrectPassword = 30445;
constexpr int32_t kConversionFailed = 20238;
constexpr int32_t kNotEnoughFreeSpace = 20303;
// Files of older formats are converted when opened.
constexpr double kCurrentFormatVersion = 2.99;

// "MEMORY" and "TEMP", exactly so spelled, live in the process and have no file.
bool IsInProcessDatabase(const std::string& name) {
  return name == "MEMORY" || name == "TEMP";
}

// -1 when the file cannot be opened.
int64_t FileSize(const std::string& path) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                 platform::FileCreation::OpenExisting)) {
    return -1;
  }
  return file.Size();
}

int64_t DriveFreeBytes(const std::string& path) {
  const std::string directory = platform::ExtractFilePath(path);
  return platform::DiskFreeBytes(directory.empty() ? "." : directory);
}

struct TableCopierHolder {
  std::mutex lock;
  TABSTableCopier copier;
};

TableCopierHolder& TableCopiers() {
  static TableCopierHolder holder;
  return holder;
}

TABSTableCopier TableCopier() {
  TableCopierHolder& holder = TableCopiers();
  std::lock_guard guard(holder.lock);
  return holder.copier;
}

}  // namespace

void SetTableCopier(TABSTableCopier copier) {
  TableCopierHolder& holder = TableCopiers();
  std::lock_guard guard(holder.lock);
  holder.copier = std::move(copier);
}

TABSDatabase::TABSDatabase(TComponent* owner) : TComponent(owner) {
  session_ = dynamic_cast<TABSSession*>(owner);
  if (session_ != nullptr) {
    session_name_ = session_->SessionName();
  } else {
    session_ = Sessions().DefaultSession();
  }
  if (session_ != nullptr) session_->AddDatabase(this);
}

TABSDatabase::~TABSDatabase() {
  try {
    Close();
  } catch (...) {
    // Destruction goes on; the engine session is freed with the component.
  }
  if (session_ != nullptr) session_->RemoveDatabase(this);
}

bool TABSDatabase::Connected() const {
  return engine_session_ != nullptr;
}

void TABSDatabase::SetConnected(bool connected) {
  if (Loading()) {
    stream_connected_ = connected;
  } else if (connected) {
    Open();
  } else {
    Close();
  }
}

void TABSDatabase::Loaded() {
  if (stream_connected_) Open();
}

std::string TABSDatabase::CurrentVersion() const {
  // Built from digits: the locale's decimal separator must not change the text.
  const int whole = kEngineVersionHundredths / 100;
  const int hundredths = kEngineVersionHundredths % 100;
  return std::to_string(whole) + "." + static_cast<char>('0' + hundredths / 10) +
         static_cast<char>('0' + hundredths % 10) + " ";
}

void TABSDatabase::CheckDatabaseName() const {
  if (database_name_.empty() && !temporary_) DatabaseError("Database name missing", this);
}

void TABSDatabase::CheckInactive() const {
  if (Connected()) DatabaseError("Cannot perform this operation on an open database", this);
}

void TABSDatabase::CheckActive() const {
  if (!Connected()) DatabaseError("Cannot perform this operation on a closed database", this);
}

void TABSDatabase::SetDatabaseName(const std::string& name) {
  if (Loading()) {
    database_name_ = name;
    return;
  }
  CheckInactive();
  if (name != database_name_) CheckDuplicateName(name);
  database_name_ = name;
}

void TABSDatabase::SetSessionName(const std::string& name) {
  if (!Loading()) CheckInactive();
  session_name_ = name;
}

void TABSDatabase::SetDatabaseFileName(const std::string& file_name) {
  if (!Loading()) Close();
  database_file_name_ = file_name;
}

void TABSDatabase::CheckDuplicateName(const std::string& name) {
  if (name.empty() || session_ == nullptr) return;
  const std::vector<TABSDatabase*> others = session_->databases_;
  for (TABSDatabase* other : others) {
    if (other == this || !SameText(other->DatabaseName(), name)) continue;
    if (handle_shared_ && other->HandleShared()) continue;
    if (!other->Temporary() || other->DataSetCount() > 0 || other->RefCount() > 0) {
      DatabaseErrorFmt("Duplicate database name '%s'", {name}, this);
    }
    // An unused database a session made for a dataset gives way.
    delete other;
  }
}

void TABSDatabase::Attach() {
  TABSSession& session = Sessions().GetSession(session_name_);
  if (&session != session_) {
    if (session_ != nullptr) session_->RemoveDatabase(this);
    session_ = &session;
    session_->AddDatabase(this);
  }
  CheckDuplicateName(database_name_);
  session_->SetActive(true);
}

void TABSDatabase::Open() {
  if (Connected()) return;
  CheckDatabaseName();
  Attach();
  if (OpenShared()) return;
  std::lock_guard guard(Sessions().SessionLock());
  CheckDatabaseFile();
  for (;;) {
    try {
      OpenEngineSession();
      break;
    } catch (const EABSException& error) {
      if (error.NativeError() != kIncorrectPassword || !AskPassword()) throw;
    }
  }
  ReadBackSettings();
}

bool TABSDatabase::OpenShared() {
  if (!handle_shared_) return false;
  for (TABSDatabase* other : session_->databases_) {
    if (other != this && other->Connected() && other->HandleShared() &&
        SameText(other->DatabaseName(), database_name_)) {
      engine_session_ = other->engine_session_;
      return true;
    }
  }
  return false;
}

void TABSDatabase::CheckDatabaseFile() const {
  if (temporary_ || IsInProcessDatabase(database_name_)) return;
  if (!platform::FileExists(database_file_name_)) {
    DatabaseErrorFmt("Database file '%s' does not exist", {database_file_name_}, this);
  }
}

std::shared_ptr<TABSBaseSession> TABSDatabase::MakeEngineSession() const {
  auto session = std::make_shared<TABSLocalSession>();
  session->DatabaseName = database_name_;
  session->DatabaseFileName = database_file_name_;
  session->Password = TABSPassword{password_, cipher_id_};
  session->PageSize = page_size_;
  session->ExtentPageCount = extent_page_count_;
  session->MaxConnections = max_connections_;
  session->ReadOnly = read_only_;
  session->Exclusive = exclusive_;
  session->MultiUser = multi_user_;
  if (multi_user_ && session_ != nullptr) session->MultiUserSessionName = session_->SessionName();
  return session;
}

std::shared_ptr<TABSBaseSession> TABSDatabase::ConnectEngineSession() const {
  std::shared_ptr<TABSBaseSession> session = MakeEngineSession();
  session->SetConnected(true);
  return session;
}

void TABSDatabase::OpenEngineSession() {
  std::shared_ptr<TABSBaseSession> session = ConnectEngineSession();
  if (session->NeedsRepair && !silent_mode_) {
    // Older formats are always converted; a file left open is repaired only when asked.
    const bool repair = session->FileVersion < kCurrentFormatVersion || AskRepair();
    if (repair) {
      session->SetConnected(false);
      session.reset();
      RepairDatabase();
      session = ConnectEngineSession();
    }
  }
  engine_session_ = std::move(session);
}

bool TABSDatabase::AskRepair() {
  // Without a user interface the question goes to the event only.
  return OnNeedRepair && OnNeedRepair(*this);
}

bool TABSDatabase::AskPassword() {
  // Without a user interface the question goes to the event only.
  return OnPassword && OnPassword(*this);
}

void TABSDatabase::RepairDatabase() {
  if (BeforeRepair) BeforeRepair(*this);
  std::string error_text;
  const bool copied = CopyIntoNewFile(error_text);
  if (AfterRepair) AfterRepair(*this);
  if (!copied) {
    RaiseEngineError(kConversionFailed,
                     "Cannot convert database to the new format. Please contact technical "
                     "support. " +
                         error_text);
  }
}

bool TABSDatabase::CopyIntoNewFile(std::string& error_text) {
  const std::string copy_file = database_file_name_ + ".tmp";
  const int64_t free_bytes = DriveFreeBytes(copy_file);
  if (free_bytes >= 0 && free_bytes < FileSize(database_file_name_)) {
    RaiseEngineError(kNotEnoughFreeSpace,
                     "There is not enough free space on drive to perform required operation "
                     "with the database file.");
  }
  const TABSTableCopier copier = TableCopier();
  if (!copier) {
    error_text = "Copying tables into a new database file is not available in this build.";
    return false;
  }
  bool copied = false;
  {
    TABSDatabase target(nullptr);
    target.SetSessionName(session_name_);
    target.SetDatabaseName("TempDatabase" + platform::NewGuidText());
    target.SetDatabaseFileName(copy_file);
    target.SetPassword(password_);
    target.SetCipherId(cipher_id_);
    target.SetPageSize(page_size_);
    target.SetExtentPageCount(extent_page_count_);
    target.SetMaxConnections(max_connections_);
    target.SetSilentMode(true);
    try {
      target.CreateDatabase();
      target.Open();
      copied = CopyTables(target, copier, error_text);
    } catch (const Exception& error) {
      error_text += error.Message();
    }
  }
  if (copied && error_text.empty()) {
    if (platform::DeleteFile(database_file_name_) &&
        platform::RenameFile(copy_file, database_file_name_)) {
      return true;
    }
    error_text = "Cannot replace the database file by its copy '" + copy_file + "'.";
    return false;
  }
  platform::DeleteFile(copy_file);
  if (error_text.empty()) error_text = "Unknown error";
  return false;
}

bool TABSDatabase::CopyTables(TABSDatabase& target, const TABSTableCopier& copier,
                              std::string& error_text) {
  // The source is this database, opened exclusively and silently for the copy.
  const bool exclusive = exclusive_;
  const bool silent = silent_mode_;
  exclusive_ = true;
  silent_mode_ = true;
  bool copied = true;
  try {
    OpenEngineSession();
    TStringList names;
    engine_session_->GetTableNames(names);
    const auto progress = [this](double percent, bool& go_on) {
      if (OnRepairProgress) OnRepairProgress(*this, percent, go_on);
    };
    const int count = names.Count();
    for (int i = 0; i < count && copied; ++i) {
      copied = copier(*this, target, names.Strings(i), i * 100.0 / count, (i + 1) * 100.0 / count,
                      progress, error_text);
    }
    Close();
  } catch (...) {
    exclusive_ = exclusive;
    silent_mode_ = silent;
    Close();
    throw;
  }
  exclusive_ = exclusive;
  silent_mode_ = silent;
  return copied;
}

void TABSDatabase::ReadBackSettings() {
  read_only_ = engine_session_->ReadOnly;
  cipher_id_ = engine_session_->Password.CipherId;
  page_size_ = engine_session_->PageSize;
  extent_page_count_ = engine_session_->ExtentPageCount;
  max_connections_ = engine_session_->MaxConnections;
}

void TABSDatabase::Close() {
  if (!Connected() || closing_) return;
  closing_ = true;
  try {
    CloseDataSets();
  } catch (...) {
    closing_ = false;
    throw;
  }
  closing_ = false;
  DropEngineSession();
  ref_count_ = 0;
}

void TABSDatabase::CloseDataSets() {
  // Closing one dataset may close others: the scan starts over after each, SQL datasets first.
  std::vector<TABSDatabaseClient*> closed;
  for (;;) {
    TABSDatabaseClient* next = nullptr;
    for (const bool sql : {true, false}) {
      for (TABSDatabaseClient* dataset : datasets_) {
        if (dataset->IsSQLDataSet() == sql &&
            std::find(closed.begin(), closed.end(), dataset) == closed.end()) {
          next = dataset;
          break;
        }
      }
      if (next != nullptr) break;
    }
    if (next == nullptr) return;
    closed.push_back(next);
    next->CloseDataSet();
  }
}

void TABSDatabase::DropEngineSession() {
  std::shared_ptr<TABSBaseSession> session = std::move(engine_session_);
  // Another database sharing the handle keeps it connected.
  if (session.use_count() == 1) session->SetConnected(false);
}

void TABSDatabase::CreateDatabase() {
  CheckDatabaseName();
  Attach();
  CheckInactive();
  std::lock_guard guard(Sessions().SessionLock());
  MakeEngineSession()->CreateDatabase();
}

void TABSDatabase::DeleteDatabase() {
  CheckDatabaseName();
  Attach();
  CheckInactive();
  if (!platform::DeleteFile(database_file_name_)) {
    DatabaseErrorFmt("Cannot delete database file '%s'", {database_file_name_}, this);
  }
}

void TABSDatabase::StartTransaction() {
  CheckActive();
  if (engine_session_->InTransaction) {
    DatabaseError("Database is already within a transaction", this);
  }
  engine_session_->StartTransaction();
}

void TABSDatabase::Commit(bool flush) {
  CheckActive();
  engine_session_->Commit(flush);
}

void TABSDatabase::Rollback() {
  CheckActive();
  engine_session_->Rollback();
}

bool TABSDatabase::InTransaction() const {
  return Connected() && engine_session_->InTransaction;
}

void TABSDatabase::GetTableNames(TStringList& names) {
  names.Clear();
  const bool was_connected = Connected();
  try {
    Open();
    engine_session_->GetTableNames(names);
    if (!was_connected) Close();
  } catch (const Exception&) {
    // The list stays empty when the database cannot be reached.
    names.Clear();
    if (!was_connected) {
      try {
        Close();
      } catch (const Exception&) {
        // Already reported as an empty list.
      }
    }
  }
}

bool TABSDatabase::TableExists(const std::string& table_name) {
  const bool was_connected = Connected();
  Open();
  bool exists = false;
  try {
    exists = engine_session_->TableExists(table_name);
  } catch (...) {
    if (!was_connected) Close();
    throw;
  }
  if (!was_connected) Close();
  return exists;
}

void TABSDatabase::AddDataSet(TABSDatabaseClient* dataset) {
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end()) {
    datasets_.push_back(dataset);
  }
}

void TABSDatabase::RemoveDataSet(TABSDatabaseClient* dataset) {
  std::erase(datasets_, dataset);
}

}  // namespace tabshift
