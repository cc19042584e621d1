#include "engine/access/ABSMainSession.h"

#include <algorithm>
#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSMainDatabase.h"
#include "engine/core/ABSDatabaseData.h"
#include "framework/Text.h"

namespace tabshift {

namespace {

constexpr int32_t kInvalidSessionName = 20002;

}  // namespace

TABSSessionList::TABSSessionList() {
  // Joins the list itself through Add and so becomes the default session.
  auto* session = new TABSSession(nullptr, *this);
  session->SetSessionName("Default");
}

TABSSessionList::~TABSSessionList() {
  while (!sessions_.empty()) delete sessions_.back();
}

TABSSession* TABSSessionList::FindSession(const std::string& name) {
  std::lock_guard guard(list_lock_);
  if (name.empty()) return default_session_;
  for (TABSSession* session : sessions_) {
    if (SameText(session->SessionName(), name)) return session;
  }
  return nullptr;
}

TABSSession& TABSSessionList::GetSession(const std::string& name) {
  TABSSession* session = FindSession(name);
  if (session == nullptr)
    RaiseEngineErrorFmt(kInvalidSessionName, "Invalid session name '%s'", {name});
  return *session;
}

int TABSSessionList::Count() const {
  std::lock_guard guard(list_lock_);
  return static_cast<int>(sessions_.size());
}

TABSSession* TABSSessionList::Session(int index) const {
  std::lock_guard guard(list_lock_);
  return sessions_.at(static_cast<size_t>(index));
}

void TABSSessionList::Add(TABSSession* session) {
  std::lock_guard guard(list_lock_);
  sessions_.push_back(session);
  if (default_session_ == nullptr) default_session_ = session;
}

void TABSSessionList::Remove(TABSSession* session) {
  std::lock_guard guard(list_lock_);
  std::erase(sessions_, session);
  if (default_session_ == session) default_session_ = nullptr;
}

int TABSSessionList::TakeAutoNumber() {
  std::lock_guard guard(list_lock_);
  const auto free = std::find(used_auto_numbers_.begin(), used_auto_numbers_.end(), false);
  const auto number = static_cast<int>(free - used_auto_numbers_.begin());
  if (free == used_auto_numbers_.end()) {
    used_auto_numbers_.push_back(true);
  } else {
    *free = true;
  }
  return number;
}

void TABSSessionList::ReleaseAutoNumber(int number) {
  std::lock_guard guard(list_lock_);
  if (number >= 0 && number < static_cast<int>(used_auto_numbers_.size())) {
    used_auto_numbers_[static_cast<size_t>(number)] = false;
  }
}

TABSSessionList& Sessions() {
  // The database data objects are made first so that they outlive every session at exit.
  [[maybe_unused]] static TABSDatabaseDataList& databases = DatabaseDataList();
  static TABSSessionList list;
  return list;
}

TABSSession::TABSSession(TComponent* owner) : TABSSession(owner, Sessions()) {}

TABSSession::TABSSession(TComponent* owner, TABSSessionList& list)
    : TComponent(owner), list_(&list) {
  CheckNoAutoNamedSibling();
  list_->Add(this);
}

TABSSession::~TABSSession() {
  try {
    SetActive(false);
  } catch (...) {
    // Destruction goes on; the databases that stay are the application's to free.
  }
  for (TABSDatabase* database : databases_) database->session_ = nullptr;
  databases_.clear();
  if (auto_number_ >= 0) list_->ReleaseAutoNumber(auto_number_);
  list_->Remove(this);
}

void TABSSession::CheckNoAutoNamedSibling() const {
  if (Owner() == nullptr) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    const auto* other = dynamic_cast<const TABSSession*>(Owner()->Component(i));
    if (other != nullptr && other != this && other->AutoSessionName()) {
      DatabaseErrorFmt(
          "Cannot add a session to the form or data-module while session '%s' has "
          "AutoSessionName enabled",
          {other->Name()});
    }
  }
}

void TABSSession::CheckOnlySessionOfOwner() const {
  if (Owner() == nullptr) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    const auto* other = dynamic_cast<const TABSSession*>(Owner()->Component(i));
    if (other != nullptr && other != this) {
      DatabaseError(
          "Cannot enable AutoSessionName property with more than one session on a form or "
          "data-module",
          this);
    }
  }
}

void TABSSession::CheckInactive() const {
  if (active_) DatabaseError("Cannot perform this operation on an active session", this);
}

void TABSSession::SetActive(bool active) {
  if (Loading()) {
    stream_active_ = active;
    return;
  }
  if (active == active_) return;
  if (active) {
    if (OnStartup) OnStartup(*this);
    if (session_name_.empty()) DatabaseError("Session name missing", this);
    if (!IsDefault() && list_->DefaultSession() != nullptr)
      list_->DefaultSession()->SetActive(true);
    active_ = true;
  } else {
    CloseDatabases();
    active_ = false;
  }
}

void TABSSession::Loaded() {
  if (stream_active_) SetActive(true);
}

void TABSSession::CloseDatabases() {
  std::lock_guard guard(list_->SessionLock());
  // Freeing or closing one database may free others; take the newest until none is left.
  std::vector<TABSDatabase*> pending = databases_;
  while (!pending.empty()) {
    TABSDatabase* database = pending.back();
    pending.pop_back();
    if (std::find(databases_.begin(), databases_.end(), database) == databases_.end()) continue;
    if (database->Temporary()) {
      delete database;
    } else {
      database->Close();
    }
  }
}

void TABSSession::SetSessionName(const std::string& name) {
  if (auto_session_name_ && !Loading()) {
    DatabaseError("Cannot modify SessionName while AutoSessionName is enabled", this);
  }
  SetSessionNameChecked(name);
}

void TABSSession::SetSessionNameChecked(const std::string& name) {
  if (Loading()) {
    session_name_ = name;
    return;
  }
  CheckInactive();
  if (!name.empty()) {
    const TABSSession* other = list_->FindSession(name);
    if (other != nullptr && other != this) {
      DatabaseErrorFmt("Duplicate session name '%s'", {name}, this);
    }
  }
  session_name_ = name;
}

void TABSSession::SetAutoSessionName(bool value) {
  if (value == auto_session_name_) return;
  if (value) {
    CheckInactive();
    CheckOnlySessionOfOwner();
    auto_number_ = list_->TakeAutoNumber();
    auto_session_name_ = true;
    try {
      UpdateAutoName();
    } catch (...) {
      auto_session_name_ = false;
      list_->ReleaseAutoNumber(auto_number_);
      auto_number_ = -1;
      throw;
    }
  } else {
    auto_session_name_ = false;
    list_->ReleaseAutoNumber(auto_number_);
    auto_number_ = -1;
  }
}

void TABSSession::SetName(const std::string& name) {
  TComponent::SetName(name);
  if (auto_session_name_) UpdateAutoName();
}

void TABSSession::UpdateAutoName() {
  SetSessionNameChecked(Format("%s_%d", {Name(), auto_number_ + 1}));
}

void TABSSession::Lock() {
  SetActive(true);
  list_->SessionLock().Enter();
}

void TABSSession::Unlock() {
  list_->SessionLock().Leave();
}

TABSDatabase* TABSSession::FindDatabase(const std::string& name) const {
  for (TABSDatabase* database : databases_) {
    if ((!database->DatabaseName().empty() || database->Temporary()) &&
        SameText(database->DatabaseName(), name)) {
      return database;
    }
  }
  return nullptr;
}

TABSDatabase& TABSSession::OpenDatabase(const std::string& name, TComponent* owner) {
  Lock();
  std::lock_guard guard(list_->SessionLock(), std::adopt_lock);
  TABSDatabase* database = nullptr;
  for (TABSDatabase* candidate : databases_) {
    if (candidate->Owner() == owner && candidate->HandleShared() &&
        SameText(candidate->DatabaseName(), name)) {
      database = candidate;
      break;
    }
  }
  if (database == nullptr) database = FindDatabase(name);
  const bool made = database == nullptr;
  try {
    if (made) {
      database = new TABSDatabase(this);
      database->temporary_ = true;
      database->SetDatabaseName(name);
      database->SetKeepConnection(keep_connections_);
      database->SetSilentMode(true);
    }
    database->Open();
  } catch (...) {
    if (made) delete database;
    throw;
  }
  ++database->ref_count_;
  return *database;
}

void TABSSession::CloseDatabase(TABSDatabase* database) {
  std::lock_guard guard(list_->SessionLock());
  if (database->ref_count_ > 0) --database->ref_count_;
  if (database->ref_count_ != 0 || database->KeepConnection() || database->closing_) return;
  if (!database->Temporary()) {
    database->Close();
  } else if (!database->Destroying()) {
    delete database;
  }
}

void TABSSession::AddDatabase(TABSDatabase* database) {
  std::lock_guard guard(list_->SessionLock());
  databases_.push_back(database);
}

void TABSSession::RemoveDatabase(TABSDatabase* database) {
  std::lock_guard guard(list_->SessionLock());
  std::erase(databases_, database);
}

}  // namespace tabshift
