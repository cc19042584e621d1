// Sessions: named scopes that own database connections. The process keeps every session in one
// list, made on first use together with the default session "Default"; one lock serialises the
// bookkeeping of all sessions and their databases.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "platform/CriticalSection.h"

namespace tabshift {

class TABSDatabase;
class TABSSession;

class TABSSessionList {
 public:
  TABSSessionList();
  // Destroys every session still in the list.
  ~TABSSessionList();
  TABSSessionList(const TABSSessionList&) = delete;
  TABSSessionList& operator=(const TABSSessionList&) = delete;

  // An empty name gives the default session; other names compare without regard to case.
  TABSSession* FindSession(const std::string& name);
  // As FindSession, failing with native error 20002 when there is none.
  TABSSession& GetSession(const std::string& name);
  int Count() const;
  TABSSession* Session(int index) const;
  // The first session ever added.
  TABSSession* DefaultSession() const { return default_session_; }
  // The one lock of all sessions.
  platform::CriticalSection& SessionLock() { return session_lock_; }

 private:
  friend class TABSSession;
  void Add(TABSSession* session);
  void Remove(TABSSession* session);
  // The lowest automatic number not in use, now taken; numbers start at 0.
  int TakeAutoNumber();
  void ReleaseAutoNumber(int number);

  mutable platform::CriticalSection list_lock_;
  platform::CriticalSection session_lock_;
  std::vector<TABSSession*> sessions_;
  std::vector<bool> used_auto_numbers_;
  TABSSession* default_session_ = nullptr;
};

// The process-wide session list; made with the default session on first use.
TABSSessionList& Sessions();

class TABSSession : public TComponent {
 public:
  explicit TABSSession(TComponent* owner = nullptr);
  // Joins `list`; the session list makes its default session this way.
  TABSSession(TComponent* owner, TABSSessionList& list);
  // Makes the session inactive, frees its temporary databases and leaves the session list.
  ~TABSSession() override;

  const char* ClassName() const override { return "TABSSession"; }

  bool Active() const { return active_; }
  void SetActive(bool active);
  bool AutoSessionName() const { return auto_session_name_; }
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return keep_connections_; }
  void SetKeepConnections(bool value) { keep_connections_ = value; }
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);
  // With AutoSessionName the session name follows the component name.
  void SetName(const std::string& name) override;
  std::function<void(TABSSession& sender)> OnStartup;

  bool IsDefault() const { return list_->DefaultSession() == this; }

  // The session lock of all sessions; Lock first makes this session active.
  void Lock();
  void Unlock();

  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  TABSDatabase* Database(int index) const { return databases_.at(static_cast<size_t>(index)); }
  // The first database with a non-empty name (or a temporary one) whose DatabaseName equals
  // the name without regard to case.
  TABSDatabase* FindDatabase(const std::string& name) const;
  // The database a dataset of `owner` uses for `name`: a shared one of that owner, a database
  // of that name, or a new temporary silent one owned by this session. It is opened and its
  // reference count raised.
  TABSDatabase& OpenDatabase(const std::string& name, TComponent* owner);
  // Drops one reference; at none, a database that does not keep its connection is closed
  // (a temporary one is freed).
  void CloseDatabase(TABSDatabase* database);

 protected:
  void Loaded() override;

 private:
  friend class TABSDatabase;
  void AddDatabase(TABSDatabase* database);
  void RemoveDatabase(TABSDatabase* database);
  void CheckInactive() const;
  void CheckNoAutoNamedSibling() const;
  void CheckOnlySessionOfOwner() const;
  void SetSessionNameChecked(const std::string& name);
  void UpdateAutoName();
  void CloseDatabases();

  TABSSessionList* list_;
  std::vector<TABSDatabase*> databases_;
  std::string session_name_;
  bool active_ = false;
  bool stream_active_ = false;
  bool auto_session_name_ = false;
  bool keep_connections_ = true;
  // -1 while the session has no automatic number.
  int auto_number_ = -1;
};

}  // namespace tabshift
