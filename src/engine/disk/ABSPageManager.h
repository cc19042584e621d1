// The engine-independent page manager: every engine object that keeps data in pages reaches
// them through one. It keeps a shared cache of clean pages and, per session, the change set of
// pages the session changed but has not committed, so that other sessions never see uncommitted
// changes and the changes reach the store only at commit, in ascending page order. Engines
// derive from it and supply page allocation and the transfer of pages to and from their store.
//
// Not thread-safe by itself: callers serialise through their database's lock. Several sessions
// may share one manager; a page in use by one session cannot be fetched by another.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/core/ABSIntegerArray.h"
#include "engine/disk/ABSPage.h"
#include "engine/disk/ABSSortedPageList.h"
#include "platform/CriticalSection.h"

namespace tabshift {

class TStream;

class TABSPageManager {
 public:
  // At most this many clean pages stay cached, fewer when memory is short.
  static constexpr int32_t kMaxCachedPages = 1000;
  // One cached page for every this many bytes of available memory.
  static constexpr uint64_t kMemoryPerCachedPage = 65536;

  TABSPageManager(uint16_t page_size, uint16_t page_header_size);
  // Frees every page still held, uncommitted or not; see FreeAllPages for the checked form.
  virtual ~TABSPageManager();
  TABSPageManager(const TABSPageManager&) = delete;
  TABSPageManager& operator=(const TABSPageManager&) = delete;

  uint16_t PageSize() const { return page_size_; }
  uint16_t PageHeaderSize() const { return page_header_size_; }
  uint16_t PageDataSize() const { return page_size_ - page_header_size_; }
  bool HasPageHeaders() const { return page_header_size_ > 0; }

  // While set, page type checks and page checksum checks are skipped.
  bool RepairMode() const { return repair_mode_; }
  void SetRepairMode(bool value) { repair_mode_ = value; }
  // Set when other processes share the store.
  bool MultiUser() const { return multi_user_; }
  void SetMultiUser(bool value) { multi_user_ = value; }
  // For the callers that serialise their work on this manager; the manager never takes it.
  platform::CriticalSection& Lock() { return lock_; }

  int32_t CacheCapacity() const { return cache_capacity_; }
  const TABSSortedPageList& Cache() const { return cache_; }
  // The pages `session` changed and has not committed; null before the session's first use.
  const TABSSortedPageList* ChangeSet(int32_t session) const;

  virtual int32_t GetPageCount() = 0;
  virtual bool IsPageFresh(int32_t session, const TABSPage& page);
  virtual void MarkPageFresh(int32_t session, TABSPage& page);
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream);

  // The page is freed when the session commits and stays readable until then.
  virtual void DeletePage(int32_t session, int32_t page_no);
  // Every fetch and every AddPage must be matched by one ReleasePage. An expected type of
  // page_header::kAnyPageType accepts any page.
  virtual TABSPage* GetPage(int32_t session, int32_t page_no, bool check_freshness,
                            uint8_t expected_type);
  virtual void CommitSessionPages(int32_t session);

  // A new, zero-filled, dirty page owned by the session, in use once.
  TABSPage* AddPage(int32_t session, uint16_t page_type);
  // A caller that changed the page sets its dirty flag before releasing it.
  void ReleasePage(TABSPage* page);
  // Forgets the session's changes: its change set is dropped unwritten and the pages it
  // allocated are given back. Pages it asked to free stay allocated.
  void DiscardSessionPages(int32_t session);
  // Raises "Cannot free non-commited pages" while any session has uncommitted changes and
  // "Some session pages not released" while a cached page is in use; otherwise empties the
  // cache.
  void FreeAllPages();

 protected:
  // Gives the page its number (-1 when none is left) and a buffer.
  virtual void AllocatePageNo(TABSPage& page) = 0;
  virtual void FreePageNo(int32_t page_no) = 0;
  // False when the page cannot be read.
  virtual bool ReadPage(TABSPage& page) = 0;
  virtual void WritePage(TABSPage& page) = 0;
  // Brings a cached page up to date with the store when another process may have changed it.
  virtual void RefreshPage(TABSPage& page);

 private:
  struct Session {
    TABSSortedPageList changes;
    TABSIntegerArray allocated{0, 10000, 1000};
    TABSIntegerArray to_free{0, 10000, 1000};
  };

  Session& FindOrCreateSession(int32_t session);
  Session* FindSession(int32_t session);
  TABSPage* ReadIntoCache(int32_t session, int32_t page_no, uint8_t expected_type);
  void CheckCommittable(int32_t session, const Session& record) const;
  void FreePendingPages(Session& record);
  void WriteChangeSet(Session& record);
  void CheckDiscardable(const Session& record) const;
  void ReleaseDetached(TABSPage* page);
  void MoveIntoChangeSet(TABSPage* page);
  void EvictLeastRecentlyUsed();
  // Removes the cached copy of a page: freed when idle, else detached until released.
  void DropCachedCopy(int32_t page_no);
  void FreeList(TABSSortedPageList& list);
  static void DeletePages(const TABSSortedPageList& list);

  uint16_t page_size_;
  uint16_t page_header_size_;
  bool repair_mode_ = false;
  bool multi_user_ = false;
  int32_t cache_capacity_;
  TABSSortedPageList cache_;
  std::map<int32_t, std::unique_ptr<Session>> sessions_;
  // Pages fetched and not yet released, in any list.
  int32_t pages_in_use_ = 0;
  // Pages in use that lost their place in the cache to a newer committed copy.
  std::vector<std::unique_ptr<TABSPage>> detached_;
  platform::CriticalSection lock_;
};

}  // namespace tabshift
