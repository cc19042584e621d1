// The page manager base, driven through the memory engine's page manager.
#include "engine/disk/ABSPageManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "PageTestSupport.h"
#include "engine/core/ABSMemPageManager.h"
#include "framework/Exception.h"

namespace tabshift {
namespace {

using page_test::CacheCapacityScope;
using page_test::ExpectEngineError;

constexpr uint8_t kAny = page_header::kAnyPageType;

// The memory page manager, recording the order of writes and able to fail reads and
// allocations on request.
class ObservedPageManager : public TABSMemoryPageManager {
 public:
  std::vector<int32_t> written;
  int32_t unreadable_page = -1;
  bool out_of_pages = false;
  int refreshed = 0;
  int marked_fresh = 0;

  void MarkPageFresh(int32_t, TABSPage&) override { ++marked_fresh; }

 protected:
  void RefreshPage(TABSPage&) override { ++refreshed; }
  void AllocatePageNo(TABSPage& page) override {
    if (out_of_pages) return;
    TABSMemoryPageManager::AllocatePageNo(page);
  }
  bool ReadPage(TABSPage& page) override {
    if (page.PageNo() == unreadable_page) return false;
    return TABSMemoryPageManager::ReadPage(page);
  }
  void WritePage(TABSPage& page) override {
    written.push_back(page.PageNo());
    TABSMemoryPageManager::WritePage(page);
  }
};

class PageManagerTest : public ::testing::Test {
 protected:
  PageManagerTest() : bytes_before_(MemoryManager().BytesInUse()) {
    const CacheCapacityScope capacity(3);
    manager_ = std::make_unique<ObservedPageManager>();
  }
  ~PageManagerTest() override {
    manager_.reset();
    EXPECT_EQ(MemoryManager().BytesInUse(), bytes_before_);
  }

  // A committed page whose first data byte is `value`.
  int32_t AddCommitted(int32_t session, uint8_t value) {
    TABSPage* page = manager_->AddPage(session, 12);
    page->Data()[0] = value;
    const int32_t page_no = page->PageNo();
    manager_->ReleasePage(page);
    manager_->CommitSessionPages(session);
    return page_no;
  }
  uint8_t Read(int32_t session, int32_t page_no) {
    TABSPage* page = manager_->GetPage(session, page_no, false, kAny);
    const uint8_t value = page->Data()[0];
    manager_->ReleasePage(page);
    return value;
  }
  void Change(int32_t session, int32_t page_no, uint8_t value) {
    TABSPage* page = manager_->GetPage(session, page_no, false, kAny);
    page->Data()[0] = value;
    page->SetDirty(true);
    manager_->ReleasePage(page);
  }
  bool Cached(int32_t page_no) const { return manager_->Cache().Find(page_no) != nullptr; }
  int32_t Changed(int32_t session) const {
    const TABSSortedPageList* changes = manager_->ChangeSet(session);
    return changes == nullptr ? 0 : changes->Count();
  }

  int64_t bytes_before_;
  std::unique_ptr<ObservedPageManager> manager_;
};

TEST_F(PageManagerTest, RollbackShowsTheCommittedVersion) {
  const int32_t page_no = AddCommitted(1, 'A');
  Change(1, page_no, 'B');
  EXPECT_EQ(Read(1, page_no), 'B');
  manager_->DiscardSessionPages(1);
  EXPECT_EQ(Changed(1), 0);
  EXPECT_EQ(Read(1, page_no), 'A');
}

TEST_F(PageManagerTest, OtherSessionsNeverSeeUncommittedChanges) {
  const int32_t page_no = AddCommitted(1, 'A');
  Change(1, page_no, 'B');
  EXPECT_EQ(Read(2, page_no), 'A');
  EXPECT_TRUE(Cached(page_no));  // session 2's clean copy
  manager_->CommitSessionPages(1);
  // The commit replaced session 2's cached copy of the old version.
  EXPECT_EQ(Read(2, page_no), 'B');
}

TEST_F(PageManagerTest, ANewPageStaysPrivateUntilCommitted) {
  TABSPage* page = manager_->AddPage(1, 12);
  page->Data()[0] = 'N';
  const int32_t page_no = page->PageNo();
  manager_->ReleasePage(page);
  EXPECT_EQ(Read(2, page_no), 0);
  EXPECT_EQ(Read(1, page_no), 'N');
  manager_->CommitSessionPages(1);
  EXPECT_EQ(Read(2, page_no), 'N');
}

TEST_F(PageManagerTest, CommitWhileAnotherSessionReadsTheOldVersion) {
  const int32_t page_no = AddCommitted(1, 'A');
  Change(1, page_no, 'B');
  TABSPage* old_copy = manager_->GetPage(2, page_no, false, kAny);
  manager_->CommitSessionPages(1);
  EXPECT_EQ(old_copy->Data()[0], 'A');  // still valid for its reader
  manager_->ReleasePage(old_copy);
  EXPECT_EQ(Read(2, page_no), 'B');
  EXPECT_EQ(manager_->Cache().Count(), 1);
}

TEST_F(PageManagerTest, APageInUseBelongsToOneSession) {
  const int32_t page_no = AddCommitted(1, 'A');
  TABSPage* page = manager_->GetPage(1, page_no, false, kAny);
  EXPECT_EQ(manager_->GetPage(1, page_no, false, kAny), page);  // the same session may nest
  ExpectEngineError([&] { manager_->GetPage(2, page_no, false, kAny); }, 20090,
                    "Page is used by other session - Native error: 20090");
  manager_->ReleasePage(page);
  manager_->ReleasePage(page);
  EXPECT_EQ(Read(2, page_no), 'A');
}

TEST_F(PageManagerTest, ADirtyReleaseMovesThePageIntoTheChangeSet) {
  const int32_t page_no = AddCommitted(1, 'A');
  EXPECT_TRUE(Cached(page_no));
  Change(1, page_no, 'B');
  EXPECT_FALSE(Cached(page_no));
  EXPECT_EQ(Changed(1), 1);
  manager_->CommitSessionPages(1);
  EXPECT_TRUE(Cached(page_no));
  EXPECT_EQ(Changed(1), 0);
}

TEST_F(PageManagerTest, CommitWritesInAscendingPageOrder) {
  std::vector<int32_t> pages;
  for (uint8_t i = 0; i < 5; ++i) pages.push_back(AddCommitted(1, i));
  manager_->written.clear();
  for (int index : {3, 0, 4, 1}) Change(1, pages[index], 'x');
  manager_->CommitSessionPages(1);
  EXPECT_EQ(manager_->written, (std::vector<int32_t>{0, 1, 3, 4}));
  // The cache had room for three pages; the rest were written and dropped.
  EXPECT_EQ(manager_->Cache().Count(), 3);
  for (int index : {0, 1, 3, 4}) EXPECT_EQ(Read(2, pages[index]), 'x');
}

TEST_F(PageManagerTest, CommittingNothingWritesNothing) {
  AddCommitted(1, 'A');
  manager_->written.clear();
  manager_->CommitSessionPages(1);
  manager_->CommitSessionPages(7);  // a session never seen
  EXPECT_TRUE(manager_->written.empty());
}

TEST_F(PageManagerTest, ADeletedPageStaysReadableUntilCommit) {
  const int32_t kept = AddCommitted(1, 'K');
  const int32_t page_no = AddCommitted(1, 'D');
  EXPECT_EQ(manager_->GetPageCount(), 2);
  manager_->DeletePage(1, page_no);
  manager_->DeletePage(1, page_no);  // asking twice frees once
  EXPECT_EQ(Read(1, page_no), 'D');
  manager_->CommitSessionPages(1);
  EXPECT_EQ(manager_->GetPageCount(), 1);
  EXPECT_FALSE(Cached(page_no));
  ExpectEngineError([&] { manager_->GetPage(1, page_no, false, kAny); }, 10392);
  EXPECT_FALSE(Cached(page_no));  // a failed fetch leaves nothing behind
  // The number is free again.
  EXPECT_EQ(AddCommitted(1, 'N'), page_no);
  EXPECT_EQ(Read(1, kept), 'K');
}

TEST_F(PageManagerTest, DiscardGivesBackAllocatedPagesButKeepsPagesToFree) {
  const int32_t page_no = AddCommitted(1, 'A');
  manager_->ReleasePage(manager_->AddPage(1, 12));
  manager_->ReleasePage(manager_->AddPage(1, 12));
  manager_->DeletePage(1, page_no);
  EXPECT_EQ(manager_->GetPageCount(), 3);
  manager_->DiscardSessionPages(1);
  EXPECT_EQ(manager_->GetPageCount(), 1);
  EXPECT_EQ(Read(1, page_no), 'A');
  manager_->CommitSessionPages(1);  // the request to free went with the discard
  EXPECT_EQ(Read(1, page_no), 'A');
}

TEST_F(PageManagerTest, ReleasingACleanPageEvictsTheLeastRecentlyUsed) {
  std::vector<int32_t> pages;
  for (uint8_t i = 0; i < 5; ++i) pages.push_back(AddCommitted(1, i));
  // Pages 3 and 4 found the cache full at their commit.
  ASSERT_EQ(manager_->Cache().Count(), 3);
  EXPECT_FALSE(Cached(pages[3]));
  Read(1, pages[0]);  // 1 is now the oldest
  Read(1, pages[3]);
  EXPECT_FALSE(Cached(pages[1]));
  EXPECT_TRUE(Cached(pages[0]) && Cached(pages[2]) && Cached(pages[3]));
}

TEST_F(PageManagerTest, APageInUseIsNeverEvicted) {
  std::vector<int32_t> pages;
  for (uint8_t i = 0; i < 5; ++i) pages.push_back(AddCommitted(1, i));
  TABSPage* held = manager_->GetPage(1, pages[0], false, kAny);  // the oldest
  Read(1, pages[3]);
  EXPECT_TRUE(Cached(pages[0]));
  EXPECT_EQ(manager_->Cache().Count(), 4);
  manager_->ReleasePage(held);  // now the newest: the next oldest leaves
  EXPECT_FALSE(Cached(pages[1]));
  EXPECT_EQ(manager_->Cache().Count(), 3);
}

TEST_F(PageManagerTest, AReleaseStillInUseMayEvictAnIdlePage) {
  std::vector<int32_t> pages;
  for (uint8_t i = 0; i < 4; ++i) pages.push_back(AddCommitted(1, i));
  TABSPage* page = manager_->GetPage(1, pages[3], false, kAny);
  manager_->GetPage(1, pages[3], false, kAny);
  manager_->ReleasePage(page);
  EXPECT_FALSE(Cached(pages[0]));
  EXPECT_EQ(manager_->Cache().Count(), 3);
  manager_->ReleasePage(page);
}

TEST_F(PageManagerTest, OnlyCachedPagesAreCheckedForFreshness) {
  const int32_t page_no = AddCommitted(1, 'A');
  manager_->FreeAllPages();
  manager_->ReleasePage(manager_->GetPage(1, page_no, true, kAny));  // read: fresh by reading
  EXPECT_EQ(manager_->refreshed, 0);
  EXPECT_EQ(manager_->marked_fresh, 1);
  manager_->ReleasePage(manager_->GetPage(1, page_no, false, kAny));
  EXPECT_EQ(manager_->refreshed, 0);
  manager_->ReleasePage(manager_->GetPage(1, page_no, true, kAny));
  EXPECT_EQ(manager_->refreshed, 1);
  EXPECT_EQ(manager_->marked_fresh, 2);
  Change(1, page_no, 'B');  // pages of the session's own change set are its own
  manager_->ReleasePage(manager_->GetPage(1, page_no, true, kAny));
  EXPECT_EQ(manager_->refreshed, 1);
  manager_->DiscardSessionPages(1);
}

TEST_F(PageManagerTest, ReportsInvalidSessionsAndPages) {
  ExpectEngineError([&] { manager_->GetPage(-1, 0, false, kAny); }, 20186,
                    "Invalid Session ID - Native error: 20186");
  ExpectEngineError([&] { manager_->AddPage(-1, 12); }, 20186);
  ExpectEngineError([&] { manager_->DeletePage(-3, 0); }, 20186);
  manager_->out_of_pages = true;
  ExpectEngineError([&] { manager_->AddPage(1, 12); }, 20064,
                    "Invalid page number - Native error: 20064");
  manager_->out_of_pages = false;
  const int32_t page_no = AddCommitted(-2, 'A');  // the database's own session
  manager_->FreeAllPages();
  manager_->unreadable_page = page_no;
  ExpectEngineError([&] { manager_->GetPage(1, page_no, false, 12); }, 20299,
                    "Error reading database file page. Page No: 0, type 12 - Native error: 20299");
  EXPECT_FALSE(Cached(page_no));
}

TEST_F(PageManagerTest, ACommitThatIsRefusedChangesNothing) {
  const int32_t first = AddCommitted(1, 'A');
  const int32_t second = AddCommitted(1, 'B');
  Change(1, second, 'C');
  manager_->DeletePage(1, first);
  TABSPage* held = manager_->GetPage(1, first, false, kAny);
  manager_->written.clear();
  ExpectEngineError([&] { manager_->CommitSessionPages(1); }, 20152,
                    "Some session pages not released - Native error: 20152");
  EXPECT_TRUE(manager_->written.empty());
  EXPECT_EQ(manager_->GetPageCount(), 2);
  manager_->ReleasePage(held);
  manager_->CommitSessionPages(1);
  EXPECT_EQ(manager_->GetPageCount(), 1);
  EXPECT_EQ(Read(2, second), 'C');
}

struct ChangeSetFault {
  const char* name;
  bool keep_in_use;  // else the page is released clean
  bool commit;       // else discard
  int32_t code;
  const char* message;
};

class ChangeSetFaults : public PageManagerTest,
                        public ::testing::WithParamInterface<ChangeSetFault> {};

TEST_P(ChangeSetFaults, RefusesAndKeepsTheChangeSet) {
  const ChangeSetFault& fault = GetParam();
  TABSPage* page = manager_->AddPage(1, 12);
  if (!fault.keep_in_use) {
    page->SetDirty(false);
    manager_->ReleasePage(page);
  }
  ExpectEngineError(
      [&] {
        if (fault.commit) {
          manager_->CommitSessionPages(1);
        } else {
          manager_->DiscardSessionPages(1);
        }
      },
      fault.code, fault.message);
  EXPECT_EQ(Changed(1), 1);
  EXPECT_EQ(manager_->GetPageCount(), 1);
  if (fault.keep_in_use) manager_->ReleasePage(page);
  page->SetDirty(true);
  manager_->DiscardSessionPages(1);
  EXPECT_EQ(manager_->GetPageCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChangeSetFaults,
    ::testing::Values(ChangeSetFault{"CommitClean", false, true, 20085,
                                     "Invalid page - Native error: 20085"},
                      ChangeSetFault{"CommitInUse", true, true, 20086,
                                     "Cannot write used page - Native error: 20086"},
                      ChangeSetFault{"DiscardClean", false, false, 20087,
                                     "Invalid index page - Native error: 20087"},
                      ChangeSetFault{"DiscardInUse", true, false, 20088,
                                     "Cannot remove used page - Native error: 20088"}),
    [](const ::testing::TestParamInfo<ChangeSetFault>& info) { return info.param.name; });

TEST_F(PageManagerTest, FreeingAllPagesRefusesPendingChanges) {
  const int32_t page_no = AddCommitted(1, 'A');
  Change(2, page_no, 'B');
  ExpectEngineError([&] { manager_->FreeAllPages(); }, 20097,
                    "Cannot free non-commited pages - Native error: 20097");
  manager_->CommitSessionPages(2);
  TABSPage* held = manager_->GetPage(1, page_no, false, kAny);
  ExpectEngineError([&] { manager_->FreeAllPages(); }, 20152);
  manager_->ReleasePage(held);
  manager_->FreeAllPages();
  EXPECT_EQ(manager_->Cache().Count(), 0);
  EXPECT_EQ(Read(1, page_no), 'B');
}

TEST_F(PageManagerTest, ReleasingMoreOftenThanFetchingIsAFault) {
  TABSPage* page = manager_->AddPage(1, 12);
  manager_->ReleasePage(page);
  EXPECT_THROW(manager_->ReleasePage(page), EAssertionFailed);
  manager_->DiscardSessionPages(1);
}

TEST(PageManagerCacheTest, CapacityFollowsAvailableMemory) {
  {
    const CacheCapacityScope capacity(10);
    EXPECT_EQ(TABSMemoryPageManager().CacheCapacity(), 10);
  }
  const uint64_t available = MemoryManager().AvailableMemory();
  EXPECT_EQ(TABSMemoryPageManager().CacheCapacity(),
            static_cast<int32_t>(std::min<uint64_t>(available / 65536, 1000)));
}

}  // namespace
}  // namespace tabshift
