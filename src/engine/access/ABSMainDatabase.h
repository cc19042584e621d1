// A database component: one named connection of a session to one database (a database file,
// the process-wide memory database "MEMORY" or the temporary database "TEMP"). While connected
// it owns an engine session; datasets attach to it and are closed when it closes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/StringList.h"

namespace tabshift {

class TABSBaseSession;
class TABSSession;

// What a database asks of a dataset attached to it.
class TABSDatabaseClient {
 public:
  virtual ~TABSDatabaseClient() = default;
  virtual void CloseDataSet() = 0;
  virtual bool IsSQLDataSet() const { return false; }
};

class TABSDatabase;

// Copies the structure and rows of one table of `source` into `target` while a database is
// repaired or converted: true on success, otherwise false with a message appended to
// `error_text`. Progress goes from `progress_start` to `progress_end` percent through
// `progress`, which clears its flag to ask the copy to stop.
using TABSTableCopier = std::function<bool(
    TABSDatabase& source, TABSDatabase& target, const std::string& table_name,
    double progress_start, double progress_end,
    const std::function<void(double percent, bool& go_on)>& progress, std::string& error_text)>;

// Registers the table copy (an empty function removes it); the table dataset provides it.
void SetTableCopier(TABSTableCopier copier);

class TABSDatabase : public TComponent {
 public:
  // The engine version CurrentVersion reports.
  static constexpr int kEngineVersionHundredths = 609;

  explicit TABSDatabase(TComponent* owner = nullptr);
  // Closes the database and leaves its session.
  ~TABSDatabase() override;

  const char* ClassName() const override { return "TABSDatabase"; }

  bool Connected() const;
  void SetConnected(bool connected);
  void Open();
  void Close();

  // Creates a new database file with the current settings; the database stays disconnected.
  void CreateDatabase();
  // Deletes the file named by DatabaseFileName.
  void DeleteDatabase();

  void StartTransaction();
  void Commit(bool flush = true);
  void Rollback();
  bool InTransaction() const;

  // Connects for the question when needed; failures give an empty list.
  void GetTableNames(TStringList& names);
  bool TableExists(const std::string& table_name);

  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& name);
  const std::string& DatabaseFileName() const { return database_file_name_; }
  // Disconnects first.
  void SetDatabaseFileName(const std::string& file_name);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool MultiUser() const { return multi_user_; }
  void SetMultiUser(bool value) { multi_user_ = value; }
  int32_t MaxConnections() const { return max_connections_; }
  void SetMaxConnections(int32_t value) { max_connections_ = value; }
  bool HandleShared() const { return handle_shared_; }
  void SetHandleShared(bool value) { handle_shared_ = value; }
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool value) { keep_connection_ = value; }
  bool SilentMode() const { return silent_mode_; }
  void SetSilentMode(bool value) { silent_mode_ = value; }
  bool DisableTempFiles() const { return disable_temp_files_; }
  void SetDisableTempFiles(bool value) { disable_temp_files_ = value; }
  int32_t PageSize() const { return page_size_; }
  void SetPageSize(int32_t value) { page_size_ = value; }
  int32_t ExtentPageCount() const { return extent_page_count_; }
  void SetExtentPageCount(int32_t value) { extent_page_count_ = value; }
  uint8_t CipherId() const { return cipher_id_; }
  void SetCipherId(uint8_t value) { cipher_id_ = value; }
  // "6.09 ": two decimals with a point, whatever the locale, and a blank.
  std::string CurrentVersion() const;

  // Asked for a new password (set Password) when the stored one is wrong; true to try again.
  std::function<bool(TABSDatabase& sender)> OnPassword;
  // Asked whether to repair a file that was not closed correctly; true to repair.
  std::function<bool(TABSDatabase& sender)> OnNeedRepair;
  std::function<void(TABSDatabase& sender)> BeforeRepair;
  std::function<void(TABSDatabase& sender, double percent, bool& go_on)> OnRepairProgress;
  std::function<void(TABSDatabase& sender)> AfterRepair;

  TABSSession* Session() const { return session_; }
  // Made by a session for a dataset, not by the application.
  bool Temporary() const { return temporary_; }
  int32_t RefCount() const { return ref_count_; }
  // The engine session; none while disconnected.
  TABSBaseSession* EngineSession() { return engine_session_.get(); }

  // Moves the database into the session its SessionName names, checks that its name is free
  // there and makes that session active. Opening and creating do this first.
  void Attach();

  // The datasets attached to the database.
  void AddDataSet(TABSDatabaseClient* dataset);
  void RemoveDataSet(TABSDatabaseClient* dataset);
  int DataSetCount() const { return static_cast<int>(datasets_.size()); }
  TABSDatabaseClient* DataSet(int index) const { return datasets_.at(static_cast<size_t>(index)); }

 protected:
  void Loaded() override;

 private:
  friend class TABSSession;
  void CheckDatabaseName() const;
  void CheckInactive() const;
  void CheckActive() const;
  void CheckDuplicateName(const std::string& name);
  bool OpenShared();
  void CheckDatabaseFile() const;
  void OpenEngineSession();
  std::shared_ptr<TABSBaseSession> ConnectEngineSession() const;
  bool AskRepair();
  void RepairDatabase();
  bool CopyIntoNewFile(std::string& error_text);
  bool CopyTables(TABSDatabase& target, const TABSTableCopier& copier, std::string& error_text);
  bool AskPassword();
  void ReadBackSettings();
  std::shared_ptr<TABSBaseSession> MakeEngineSession() const;
  void CloseDataSets();
  void DropEngineSession();

  TABSSession* session_ = nullptr;
  std::vector<TABSDatabaseClient*> datasets_;
  // Shared with the databases of the same name that use HandleShared; the last one to let go
  // disconnects it.
  std::shared_ptr<TABSBaseSession> engine_session_;
  bool temporary_ = false;
  // Set while Close runs: datasets detaching on the way must not close or free it again.
  bool closing_ = false;
  int32_t ref_count_ = 0;
  bool stream_connected_ = false;

  std::string database_name_;
  std::string database_file_name_;
  std::string session_name_;
  std::string password_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool multi_user_ = false;
  int32_t max_connections_ = 500;
  bool handle_shared_ = false;
  bool keep_connection_ = true;
  bool silent_mode_ = false;
  bool disable_temp_files_ = false;
  int32_t page_size_ = 4096;
  int32_t extent_page_count_ = 8;
  uint8_t cipher_id_ = 0;
};

}  // namespace tabshift
