// The engine object of one database, shared by every session connected to it: its lock, its
// sessions and its table data objects. Engines derive from it; the process keeps every
// database data object in one list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/StringList.h"
#include "platform/CriticalSection.h"

namespace tabshift {

class TABSPageManager;
class TABSTableData;
struct TABSCursorState;

// What a database data object tells the sessions that connect to it. A disk engine fills it
// from the file it opens; the in-process databases keep the defaults.
struct TABSDatabaseSettings {
  bool read_only = false;
  std::string password;
  uint8_t cipher_id = 0;
  int32_t page_size = 4096;
  int32_t extent_page_count = 8;
  int32_t max_connections = 500;
  // What the disk engine found when it opened the file for the connecting session.
  bool needs_repair = false;
  // The disk record store then accepts pages without checking their owner.
  bool relaxed_page_checks = false;
  double file_version = 0.0;
};

class TABSDatabaseData {
 public:
  explicit TABSDatabaseData(std::string name);
  TABSDatabaseData(const TABSDatabaseData&) = delete;
  TABSDatabaseData& operator=(const TABSDatabaseData&) = delete;
  virtual ~TABSDatabaseData();

  // Returns the session id the database gives the session.
  virtual int32_t ConnectSession(const void* session);
  virtual void DisconnectSession(const void* session);
  // Destroys the object through the process-wide list when no session is connected; true
  // when it was destroyed.
  virtual bool ReleaseIfUnused();
  virtual void GetTableNames(TStringList& names);
  virtual void CreateDatabase() {}
  virtual TABSTableData& CreateTableData(const TABSCursorState& cursor) = 0;
  virtual TABSTableData* FindTableData(const TABSCursorState& cursor);
  virtual TABSTableData& GetTableData(const TABSCursorState& cursor);
  // The next value of the database-wide object counter; kept in memory here, a database
  // stored in a file keeps it there.
  virtual int32_t NextObjectId();
  // With flush, the database's stored form is then flushed to the medium.
  virtual void Commit(int32_t session, bool flush);
  virtual void Rollback(int32_t session);
  virtual void FlushDatabase() {}

  const std::string& Name() const { return name_; }
  // A database kept in a file: sessions that name the same file (and, when multi-user, the same
  // session name) share the object.
  bool IsDiskDatabase() const { return disk_; }
  const std::string& FileName() const { return file_name_; }
  const std::string& MultiUserSessionName() const { return multi_user_session_name_; }
  void SetDiskFile(std::string file_name, std::string multi_user_session_name);
  TABSDatabaseSettings& Settings() { return settings_; }
  const TABSDatabaseSettings& Settings() const { return settings_; }
  platform::CriticalSection& Lock() { return lock_; }
  int32_t SessionCount() const { return static_cast<int32_t>(sessions_.size()); }
  int32_t TableCount() const { return static_cast<int32_t>(tables_.size()); }
  TABSTableData& Table(int32_t index) const { return *tables_[static_cast<size_t>(index)]; }
  // Table data objects join and leave the list as they are made and destroyed.
  void AddTableData(TABSTableData* table);
  void RemoveTableData(TABSTableData* table);

 protected:
  // Makes the session's page changes in every table final: for engines without undo, whose
  // rows take effect at once and whose index pages must follow them.
  void SettleTableChanges(int32_t session);

  TABSPageManager* page_manager_ = nullptr;

 private:
  platform::CriticalSection lock_;
  int32_t object_id_ = 0;
  std::vector<const void*> sessions_;
  std::vector<TABSTableData*> tables_;
  std::string name_;
  bool disk_ = false;
  std::string file_name_;
  std::string multi_user_session_name_;
  TABSDatabaseSettings settings_;
};

// A database that lives in this process only (the memory and temporary databases). It has no
// undo: rows take effect at once, so ending a transaction either way keeps the session's
// changes and settles the index pages that follow them.
class TABSInProcessDatabaseData : public TABSDatabaseData {
 public:
  using TABSDatabaseData::TABSDatabaseData;
  // Drops every table of the database.
  ~TABSInProcessDatabaseData() override;

  void Commit(int32_t session, bool flush) override;
  void Rollback(int32_t session) override;
};

// The process-wide list of database data objects, made with "MEMORY" and "TEMP" when the
// engine is first used and emptied at process exit.
class TABSDatabaseDataList {
 public:
  TABSDatabaseDataList();
  ~TABSDatabaseDataList();
  TABSDatabaseDataList(const TABSDatabaseDataList&) = delete;
  TABSDatabaseDataList& operator=(const TABSDatabaseDataList&) = delete;

  platform::CriticalSection& Lock() { return lock_; }
  // The object of that name, exactly as spelled; none when absent.
  TABSDatabaseData* Find(const std::string& name);
  // The disk database data object of that file and multi-user session name, both compared
  // upper-cased; none when absent.
  TABSDatabaseData* FindDisk(const std::string& file_name,
                             const std::string& multi_user_session_name);
  TABSDatabaseData& Add(std::unique_ptr<TABSDatabaseData> database);
  void Remove(TABSDatabaseData* database);

 private:
  platform::CriticalSection lock_;
  std::vector<std::unique_ptr<TABSDatabaseData>> databases_;
};

TABSDatabaseDataList& DatabaseDataList();
// The two in-process databases of the list.
TABSDatabaseData& MemoryDatabaseData();
TABSDatabaseData& TemporaryDatabaseData();

}  // namespace tabshift
