#include "engine/disk/ABSPageManager.h"

#include <algorithm>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemory.h"
#include "framework/Exception.h"
#include "platform/System.h"

namespace tabshift {
namespace {

// New pages start their write counter at a random value below this.
constexpr uint32_t kWriteCounterStartLimit = 1073741823;

void CheckSession(int32_t session) {
  if (!IsValidSessionId(session)) {
    RaiseEngineError(page_error::kInvalidSessionId, "Invalid Session ID");
  }
}

}  // namespace

TABSPageManager::TABSPageManager(uint16_t page_size, uint16_t page_header_size)
    : page_size_(page_size),
      page_header_size_(page_header_size),
      cache_capacity_(static_cast<int32_t>(std::min<uint64_t>(
          MemoryManager().AvailableMemory() / kMemoryPerCachedPage, kMaxCachedPages))) {}

TABSPageManager::~TABSPageManager() {
  for (auto& [id, record] : sessions_) DeletePages(record->changes);
  DeletePages(cache_);
}

const TABSSortedPageList* TABSPageManager::ChangeSet(int32_t session) const {
  const auto found = sessions_.find(session);
  return found == sessions_.end() ? nullptr : &found->second->changes;
}

bool TABSPageManager::IsPageFresh(int32_t, const TABSPage&) {
  return false;
}

void TABSPageManager::MarkPageFresh(int32_t, TABSPage&) {}

void TABSPageManager::LoadFromStream(TStream&) {}

void TABSPageManager::SaveToStream(TStream&) {}

void TABSPageManager::RefreshPage(TABSPage&) {}

void TABSPageManager::DeletePage(int32_t session, int32_t page_no) {
  CheckSession(session);
  Session& record = FindOrCreateSession(session);
  // A number freed twice would be handed out twice later.
  if (!record.to_free.Contains(page_no)) record.to_free.Append(page_no);
}

TABSPage* TABSPageManager::GetPage(int32_t session, int32_t page_no, bool check_freshness,
                                   uint8_t expected_type) {
  CheckSession(session);
  Session& record = FindOrCreateSession(session);
  TABSPage* page = record.changes.Find(page_no);
  const bool cached = page == nullptr && (page = cache_.Find(page_no)) != nullptr;
  if (page == nullptr) page = ReadIntoCache(session, page_no, expected_type);
  if (page->UseCount() > 0 && page->OwnerSession() != session) {
    RaiseEngineError(page_error::kUsedByOtherSession, "Page is used by other session");
  }
  if (cached && check_freshness && !IsPageFresh(session, *page)) {
    RefreshPage(*page);
    MarkPageFresh(session, *page);
  }
  if (page->UseCount() == 0) ++pages_in_use_;
  page->SetOwnerSession(session);
  page->SetUseCount(page->UseCount() + 1);
  return page;
}

TABSPage* TABSPageManager::ReadIntoCache(int32_t session, int32_t page_no, uint8_t expected_type) {
  // The page joins the cache only once it has been read and checked, so that a failed fetch
  // leaves nothing behind for the next one to find.
  auto page = std::make_unique<TABSPage>(*this);
  page->SetPageNo(page_no);
  page->SetOwnerSession(session);
  if (!ReadPage(*page)) {
    RaiseEngineErrorFmt(page_error::kReadFailed,
                        "Error reading database file page. Page No: %d, type %d",
                        {page_no, expected_type});
  }
  if (!repair_mode_ && HasPageHeaders() && expected_type != page_header::kAnyPageType &&
      page->PageType() != expected_type) {
    RaiseEngineErrorFmt(page_error::kInvalidPageType,
                        "Invalid page type. Possible data corruption. Expecting type %d, but "
                        "found %d",
                        {expected_type, page->PageType()});
  }
  cache_.Insert(page.get());
  page->SetCurrentList(&cache_);
  MarkPageFresh(session, *page);
  return page.release();
}

TABSPage* TABSPageManager::AddPage(int32_t session, uint16_t page_type) {
  CheckSession(session);
  Session& record = FindOrCreateSession(session);
  auto page = std::make_unique<TABSPage>(*this);
  page->SetOwnerSession(session);
  AllocatePageNo(*page);
  const int32_t page_no = page->PageNo();
  if (page_no == -1) RaiseEngineError(page_error::kInvalidPageNumber, "Invalid page number");
  try {
    if (!page->HasBuffer()) page->AllocateBuffer();
    page->SetUseCount(1);
    page->SetDirty(true);
    if (HasPageHeaders()) {
      page->SetPageType(page_type);
      page->SetWriteCounter(static_cast<int32_t>(platform::Random32() % kWriteCounterStartLimit));
    }
    DropCachedCopy(page_no);
    record.allocated.Append(page_no);
    record.changes.Insert(page.get());
  } catch (...) {
    const int32_t listed = record.allocated.IndexOf(page_no);
    if (listed >= 0) record.allocated.Delete(listed);
    FreePageNo(page_no);
    throw;
  }
  page->SetCurrentList(&record.changes);
  ++pages_in_use_;
  return page.release();
}

void TABSPageManager::ReleasePage(TABSPage* page) {
  if (page->UseCount() <= 0) {
    throw EAssertionFailed("Page released more often than fetched", "ABSPageManager", __LINE__);
  }
  page->SetUseCount(page->UseCount() - 1);
  if (page->UseCount() == 0) {
    --pages_in_use_;
    page->SetReadDuringUse(false);
    if (page->CurrentList() == nullptr) {
      ReleaseDetached(page);
      return;
    }
    if (page->CurrentList() == &cache_) {
      if (page->Dirty()) {
        MoveIntoChangeSet(page);
      } else {
        cache_.Touch(page->PageNo());
      }
    }
  }
  if (page->CurrentList() == &cache_ && cache_.Count() > cache_capacity_) {
    EvictLeastRecentlyUsed();
  }
}

void TABSPageManager::CommitSessionPages(int32_t session) {
  Session* record = FindSession(session);
  if (record == nullptr) return;
  CheckCommittable(session, *record);
  FreePendingPages(*record);
  record->allocated.SetCount(0);
  WriteChangeSet(*record);
}

void TABSPageManager::DiscardSessionPages(int32_t session) {
  Session* record = FindSession(session);
  if (record == nullptr) return;
  CheckDiscardable(*record);
  FreeList(record->changes);
  for (int32_t i = 0; i < record->allocated.Count(); ++i) FreePageNo(record->allocated.Item(i));
  record->allocated.SetCount(0);
  record->to_free.SetCount(0);
}

void TABSPageManager::FreeAllPages() {
  for (const auto& [id, record] : sessions_) {
    if (record->changes.Count() > 0) {
      RaiseEngineError(page_error::kPendingChanges, "Cannot free non-commited pages");
    }
  }
  // Freeing a page a caller still holds would leave the caller with a dangling page.
  for (int32_t i = 0; i < cache_.Count(); ++i) {
    if (cache_.PageAt(i)->UseCount() > 0) {
      RaiseEngineError(page_error::kPagesNotReleased, "Some session pages not released");
    }
  }
  FreeList(cache_);
}

TABSPageManager::Session& TABSPageManager::FindOrCreateSession(int32_t session) {
  std::unique_ptr<Session>& record = sessions_[session];
  if (!record) record = std::make_unique<Session>();
  return *record;
}

TABSPageManager::Session* TABSPageManager::FindSession(int32_t session) {
  const auto found = sessions_.find(session);
  return found == sessions_.end() ? nullptr : found->second.get();
}

// Everything a commit could refuse is checked before anything changes, so that a refused
// commit leaves the session's pages as they were.
void TABSPageManager::CheckCommittable(int32_t session, const Session& record) const {
  const auto in_use_by_session = [session](const TABSPage* page) {
    return page->OwnerSession() == session && page->UseCount() > 0;
  };
  // Commits run after every change outside a transaction: skip the scan when nothing is in use.
  for (int32_t i = 0; pages_in_use_ > 0 && i < cache_.Count(); ++i) {
    if (in_use_by_session(cache_.PageAt(i))) {
      RaiseEngineError(page_error::kPagesNotReleased, "Some session pages not released");
    }
  }
  for (const auto& page : detached_) {
    if (in_use_by_session(page.get())) {
      RaiseEngineError(page_error::kPagesNotReleased, "Some session pages not released");
    }
  }
  for (int32_t i = 0; i < record.changes.Count(); ++i) {
    const TABSPage* page = record.changes.PageAt(i);
    if (!page->Dirty()) RaiseEngineError(page_error::kNotDirtyAtCommit, "Invalid page");
    if (page->UseCount() > 0) RaiseEngineError(page_error::kUsedAtCommit, "Cannot write used page");
  }
}

void TABSPageManager::FreePendingPages(Session& record) {
  for (int32_t i = 0; i < record.to_free.Count(); ++i) {
    const int32_t page_no = record.to_free.Item(i);
    FreePageNo(page_no);
    if (TABSPage* changed = record.changes.Find(page_no)) {
      record.changes.Delete(page_no);
      delete changed;
    }
    DropCachedCopy(page_no);
  }
  record.to_free.SetCount(0);
}

// Writes in ascending page order; each written page becomes the cached copy while the cache
// has room.
void TABSPageManager::WriteChangeSet(Session& record) {
  TABSSortedPageList& changes = record.changes;
  int32_t written = 0;
  try {
    for (; written < changes.Count(); ++written) {
      TABSPage* page = changes.PageAt(written);
      WritePage(*page);
      page->SetDirty(false);
      DropCachedCopy(page->PageNo());
      if (cache_.Count() < cache_capacity_) {
        cache_.Insert(page);
        page->SetCurrentList(&cache_);
      } else {
        delete page;
      }
    }
  } catch (...) {
    changes.DeleteFirst(written);
    throw;
  }
  changes.Clear();
}

void TABSPageManager::CheckDiscardable(const Session& record) const {
  for (int32_t i = 0; i < record.changes.Count(); ++i) {
    const TABSPage* page = record.changes.PageAt(i);
    if (!page->Dirty()) RaiseEngineError(page_error::kNotDirtyAtDiscard, "Invalid index page");
    if (page->UseCount() > 0) {
      RaiseEngineError(page_error::kUsedAtDiscard, "Cannot remove used page");
    }
  }
}

// A page that lost its place in the cache while in use: kept as a change when the session
// changed it, else no longer needed.
void TABSPageManager::ReleaseDetached(TABSPage* page) {
  const auto found = std::find_if(detached_.begin(), detached_.end(),
                                  [page](const auto& held) { return held.get() == page; });
  std::unique_ptr<TABSPage> held = std::move(*found);
  detached_.erase(found);
  if (!page->Dirty()) return;
  Session& record = FindOrCreateSession(page->OwnerSession());
  record.changes.Insert(page);
  page->SetCurrentList(&record.changes);
  held.release();
}

void TABSPageManager::MoveIntoChangeSet(TABSPage* page) {
  Session& record = FindOrCreateSession(page->OwnerSession());
  record.changes.Insert(page);
  cache_.Delete(page->PageNo());
  page->SetCurrentList(&record.changes);
}

// Only the page touched longest ago is a candidate; a page in use is never evicted.
void TABSPageManager::EvictLeastRecentlyUsed() {
  TABSPage* oldest = cache_.LeastRecentlyUsed();
  if (oldest->UseCount() > 0) return;
  cache_.Delete(oldest->PageNo());
  delete oldest;
}

void TABSPageManager::DropCachedCopy(int32_t page_no) {
  TABSPage* cached = cache_.Find(page_no);
  if (cached == nullptr) return;
  // Room first, so that nothing can fail once the page has left the cache.
  if (cached->UseCount() > 0) detached_.reserve(detached_.size() + 1);
  cache_.Delete(page_no);
  cached->SetCurrentList(nullptr);
  if (cached->UseCount() > 0) {
    detached_.emplace_back(cached);
  } else {
    delete cached;
  }
}

void TABSPageManager::FreeList(TABSSortedPageList& list) {
  DeletePages(list);
  list.Clear();
}

void TABSPageManager::DeletePages(const TABSSortedPageList& list) {
  for (int32_t i = 0; i < list.Count(); ++i) delete list.PageAt(i);
}

}  // namespace tabshift
