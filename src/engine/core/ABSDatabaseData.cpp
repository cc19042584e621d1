#include "engine/core/ABSDatabaseData.h"

#include <algorithm>
#include <mutex>

#include "engine/core/ABSCursorState.h"
#include "engine/core/ABSTableData.h"
#include "engine/disk/ABSPageManager.h"
#include "framework/Text.h"

namespace tabshift {

TABSDatabaseData::TABSDatabaseData(std::string name) : name_(std::move(name)) {}

TABSDatabaseData::~TABSDatabaseData() = default;

int32_t TABSDatabaseData::ConnectSession(const void* session) {
  std::lock_guard guard(lock_);
  sessions_.push_back(session);
  return 0;
}

void TABSDatabaseData::DisconnectSession(const void* session) {
  std::lock_guard guard(lock_);
  const auto found = std::find(sessions_.begin(), sessions_.end(), session);
  if (found != sessions_.end()) sessions_.erase(found);
}

bool TABSDatabaseData::ReleaseIfUnused() {
  if (!sessions_.empty()) return false;
  DatabaseDataList().Remove(this);
  return true;
}

void TABSDatabaseData::GetTableNames(TStringList& names) {
  std::lock_guard guard(lock_);
  names.Clear();
  for (const TABSTableData* table : tables_) names.Add(table->Name());
}

TABSTableData* TABSDatabaseData::FindTableData(const TABSCursorState& cursor) {
  std::lock_guard guard(lock_);
  const std::string wanted = UpperCase(cursor.table_name);
  for (TABSTableData* table : tables_) {
    if (UpperCase(table->Name()) == wanted) return table;
  }
  return nullptr;
}

TABSTableData& TABSDatabaseData::GetTableData(const TABSCursorState& cursor) {
  std::lock_guard guard(lock_);
  TABSTableData* table = FindTableData(cursor);
  return table != nullptr ? *table : CreateTableData(cursor);
}

void TABSDatabaseData::Commit(int32_t session, bool flush) {
  std::lock_guard guard(lock_);
  if (page_manager_ != nullptr) page_manager_->CommitSessionPages(session);
  if (flush) FlushDatabase();
}

void TABSDatabaseData::SettleTableChanges(int32_t session) {
  std::lock_guard guard(lock_);
  for (TABSTableData* table : tables_) table->ApplySessionChanges(session, false);
}

void TABSDatabaseData::SetDiskFile(std::string file_name, std::string multi_user_session_name) {
  disk_ = true;
  file_name_ = std::move(file_name);
  multi_user_session_name_ = std::move(multi_user_session_name);
}

void TABSDatabaseData::Rollback(int32_t session) {
  std::lock_guard guard(lock_);
  if (page_manager_ != nullptr) page_manager_->DiscardSessionPages(session);
  for (TABSTableData* table : tables_) table->RefreshSessionIndexes(session);
}

TABSInProcessDatabaseData::~TABSInProcessDatabaseData() {
  while (TableCount() > 0) delete &Table(TableCount() - 1);
}

void TABSInProcessDatabaseData::Commit(int32_t session, bool flush) {
  std::lock_guard guard(Lock());
  TABSDatabaseData::Commit(session, flush);
  SettleTableChanges(session);
}

void TABSInProcessDatabaseData::Rollback(int32_t session) {
  std::lock_guard guard(Lock());
  TABSDatabaseData::Rollback(session);
  SettleTableChanges(session);
}

void TABSDatabaseData::AddTableData(TABSTableData* table) {
  std::lock_guard guard(lock_);
  tables_.push_back(table);
}

void TABSDatabaseData::RemoveTableData(TABSTableData* table) {
  std::lock_guard guard(lock_);
  const auto found = std::find(tables_.begin(), tables_.end(), table);
  if (found != tables_.end()) tables_.erase(found);
}

TABSDatabaseData* TABSDatabaseDataList::Find(const std::string& name) {
  std::lock_guard guard(lock_);
  for (const auto& database : databases_) {
    if (database->Name() == name) return database.get();
  }
  return nullptr;
}

TABSDatabaseData* TABSDatabaseDataList::FindDisk(const std::string& file_name,
                                                 const std::string& multi_user_session_name) {
  std::lock_guard guard(lock_);
  const std::string wanted_file = UpperCase(file_name);
  const std::string wanted_session = UpperCase(multi_user_session_name);
  for (const auto& database : databases_) {
    if (database->IsDiskDatabase() && UpperCase(database->FileName()) == wanted_file &&
        UpperCase(database->MultiUserSessionName()) == wanted_session) {
      return database.get();
    }
  }
  return nullptr;
}

TABSDatabaseData& TABSDatabaseDataList::Add(std::unique_ptr<TABSDatabaseData> database) {
  std::lock_guard guard(lock_);
  databases_.push_back(std::move(database));
  return *databases_.back();
}

void TABSDatabaseDataList::Remove(TABSDatabaseData* database) {
  std::unique_ptr<TABSDatabaseData> removed;
  {
    std::lock_guard guard(lock_);
    const auto found = std::find_if(databases_.begin(), databases_.end(),
                                    [&](const auto& item) { return item.get() == database; });
    if (found == databases_.end()) return;
    removed = std::move(*found);
    databases_.erase(found);
  }
}

TABSDatabaseDataList::~TABSDatabaseDataList() {
  // Later objects may refer to earlier ones: destroy in reverse order of creation.
  while (!databases_.empty()) databases_.pop_back();
}

int32_t TABSDatabaseData::NextObjectId() {
  std::lock_guard guard(Lock());
  return ++object_id_;
}

}  // namespace tabshift
