// The engine session of the local engine: connects a component database to the database data
// object it names ("MEMORY", "TEMP" or a database file), and passes transactions, table
// questions and named values to it. Disk database data objects come from a factory that the
// disk engine registers; without one, reaching a database file fails.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/access/ABSBaseSession.h"

namespace tabshift {

// Raised when a database file is reached while no disk engine is registered.
inline constexpr int32_t kDiskEngineMissingError = 20309;

using TABSDiskDatabaseDataFactory =
    std::function<std::unique_ptr<TABSDatabaseData>(const TABSBaseSession& session)>;

// Registers the maker of disk database data objects (an empty function removes it). The object
// made is told the session's file name and multi-user session name before it joins the list.
void SetDiskDatabaseDataFactory(TABSDiskDatabaseDataFactory factory);

class TABSLocalSession : public TABSBaseSession {
 public:
  TABSLocalSession() = default;
  // Disconnects when still connected.
  ~TABSLocalSession() override;

  bool IsConnected() const override { return DatabaseData != nullptr; }
  void SetConnected(bool connected) override;
  // A flag of the connected database; only a disk database uses it.
  bool GetRelaxedPageChecks() const override;
  void SetRelaxedPageChecks(bool relaxed) override;
  void CreateDatabase() override;
  void GetTableNames(TStringList& names) override;
  bool TableExists(const std::string& table_name) override;
  void PutNamedValue(const TABSNamedValue& value) override;
  const TABSNamedValue* FindNamedValue(const std::string& name) const override;
  const TABSNamedValue* FindNamedValueByID(int32_t id) const override;
  void RemoveNamedValue(int32_t id) override;
  void StartTransaction() override;
  void Commit(bool flush) override;
  void Rollback() override;
  void Flush() override;

  // True unless DatabaseName is exactly "MEMORY" or "TEMP".
  bool IsDiskDatabase() const;

 private:
  void Connect();
  void Disconnect();
  TABSDatabaseData& ConnectedData() const;
  // Under the lock of the database data list: the object this session reaches, or none.
  TABSDatabaseData* FindDatabaseData() const;
  std::unique_ptr<TABSDatabaseData> MakeDiskDatabaseData() const;
  void CheckInTransaction() const;
};

}  // namespace tabshift
