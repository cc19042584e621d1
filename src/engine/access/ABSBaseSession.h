// The engine side of one database connection: which database it reaches, its session id, its
// open modes and transaction flag, its password and the session-scoped named values. Cursors
// work for one engine session; the local engine implements the operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSVariant.h"
#include "framework/StringList.h"

namespace tabshift {

class TABSDatabaseData;

// The password of an encrypted database and the id of its cipher.
struct TABSPassword {
  std::string Password;
  uint8_t CipherId = 0;

  bool operator==(const TABSPassword&) const = default;
};

// A value kept for the length of a session, found by ID or by name (names ignore case).
struct TABSNamedValue {
  int32_t ID = -1;
  std::string Name;
  TABSVariant Value;
};

class TABSBaseSession {
 public:
  TABSBaseSession() = default;
  TABSBaseSession(const TABSBaseSession&) = delete;
  TABSBaseSession& operator=(const TABSBaseSession&) = delete;
  virtual ~TABSBaseSession() = default;

  virtual bool IsConnected() const = 0;
  virtual void SetConnected(bool connected) = 0;
  virtual bool GetRelaxedPageChecks() const = 0;
  virtual void SetRelaxedPageChecks(bool relaxed) = 0;
  virtual void CreateDatabase() = 0;
  virtual void GetTableNames(TStringList& names) = 0;
  virtual bool TableExists(const std::string& table_name) = 0;
  virtual void PutNamedValue(const TABSNamedValue& value) = 0;
  virtual const TABSNamedValue* FindNamedValue(const std::string& name) const = 0;
  virtual const TABSNamedValue* FindNamedValueByID(int32_t id) const = 0;
  virtual void RemoveNamedValue(int32_t id) = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit(bool flush) = 0;
  virtual void Rollback() = 0;
  virtual void Flush() = 0;

  std::string DatabaseName;
  std::string DatabaseFileName;
  // -1 until the database data assigns one on connection.
  int32_t SessionID = -1;
  bool InTransaction = false;
  bool ReadOnly = false;
  bool Exclusive = false;
  // Set by the disk engine when the file was not closed correctly.
  bool NeedsRepair = false;
  // The format version of the file, read by the disk engine on open; files older than 2.99
  // need converting.
  double FileVersion = 0.0;
  int32_t MaxConnections = 500;
  bool MultiUser = false;
  // The component session's name; only set when MultiUser.
  std::string MultiUserSessionName;
  // The database data object the session is connected to; none while disconnected.
  TABSDatabaseData* DatabaseData = nullptr;
  TABSPassword Password;
  int32_t PageSize = 4096;
  int32_t ExtentPageCount = 8;

 protected:
  std::vector<TABSNamedValue> named_values_;
};

}  // namespace tabshift
