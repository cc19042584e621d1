// Pages on their own, and the page header handling of the page manager, on a minimal engine
// whose pages carry the 40-byte header and live in a map.
#include "engine/disk/ABSPage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "PageTestSupport.h"
#include "engine/core/ABSMemPageManager.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {
namespace {

using page_test::ExpectEngineError;

constexpr uint16_t kRecordPage = 10;
constexpr uint8_t kIndexPage = 12;

class HeaderedPageManager : public TABSPageManager {
 public:
  HeaderedPageManager() : TABSPageManager(512, page_header::kSize) {}
  int32_t GetPageCount() override { return static_cast<int32_t>(store_.size()); }

 protected:
  void AllocatePageNo(TABSPage& page) override {
    page.SetPageNo(static_cast<int32_t>(store_.size()));
    store_[page.PageNo()].assign(PageSize(), 0);
  }
  void FreePageNo(int32_t page_no) override { store_.erase(page_no); }
  bool ReadPage(TABSPage& page) override {
    const auto found = store_.find(page.PageNo());
    if (found == store_.end()) return false;
    page.AllocateBuffer();
    std::memcpy(page.Buffer(), found->second.data(), PageSize());
    return true;
  }
  void WritePage(TABSPage& page) override {
    std::memcpy(store_.at(page.PageNo()).data(), page.Buffer(), PageSize());
  }

 private:
  std::map<int32_t, std::vector<uint8_t>> store_;
};

class PageHeaderTest : public ::testing::Test {
 protected:
  int32_t AddCommitted(uint16_t page_type) {
    TABSPage* page = manager_.AddPage(1, page_type);
    const int32_t page_no = page->PageNo();
    manager_.ReleasePage(page);
    manager_.CommitSessionPages(1);
    manager_.FreeAllPages();  // the next fetch reads the page again
    return page_no;
  }

  HeaderedPageManager manager_;
};

TEST_F(PageHeaderTest, NewPagesGetTheirTypeAndARandomWriteCounter) {
  TABSPage* page = manager_.AddPage(1, kRecordPage);
  EXPECT_EQ(page->PageType(), kRecordPage);
  EXPECT_GE(page->WriteCounter(), 0);
  EXPECT_LT(page->WriteCounter(), 1073741823);
  EXPECT_EQ(page->Data(), page->Buffer() + 40);
  EXPECT_EQ(manager_.PageDataSize(), 512 - 40);
  manager_.ReleasePage(page);
  manager_.DiscardSessionPages(1);
}

TEST_F(PageHeaderTest, AFetchChecksTheStoredTypeUnlessAnyTypeIsExpected) {
  const int32_t page_no = AddCommitted(kRecordPage);
  ExpectEngineError([&] { manager_.GetPage(1, page_no, false, kIndexPage); }, 20153,
                    "Invalid page type. Possible data corruption. Expecting type 12, but found "
                    "10 - Native error: 20153");
  EXPECT_EQ(manager_.Cache().Count(), 0);
  TABSPage* page = manager_.GetPage(1, page_no, false, page_header::kAnyPageType);
  EXPECT_EQ(page->PageType(), kRecordPage);
  manager_.ReleasePage(page);
}

TEST_F(PageHeaderTest, RepairModeSkipsTheTypeCheck) {
  const int32_t page_no = AddCommitted(kRecordPage);
  manager_.SetRepairMode(true);
  manager_.ReleasePage(manager_.GetPage(1, page_no, false, kIndexPage));
}

class PageTest : public ::testing::Test {
 protected:
  TABSMemoryPageManager manager_;
  TABSPage page_{manager_};
};

TEST_F(PageTest, EnlargingNeedsABufferAndAtLeastThePageSize) {
  ExpectEngineError([&] { page_.Enlarge(8192); }, 20038,
                    "Invalid page buffer. Buffer is Nil - Native error: 20038");
  page_.AllocateBuffer();
  ExpectEngineError([&] { page_.Enlarge(4095); }, 20039,
                    "Invalid page modification - Native error: 20039");
}

TEST_F(PageTest, EnlargingALentBufferCopiesItFirst) {
  std::vector<uint8_t> lent(4096, 7);
  page_.LendBuffer(lent.data());
  EXPECT_FALSE(page_.OwnsBuffer());
  page_.Enlarge(6000);
  EXPECT_TRUE(page_.OwnsBuffer());
  EXPECT_EQ(page_.BufferSize(), 6000u);
  EXPECT_EQ(page_.Buffer()[4095], 7);
  EXPECT_EQ(page_.Buffer()[5999], 0);
  page_.Buffer()[0] = 1;
  EXPECT_EQ(lent[0], 7);
}

TEST_F(PageTest, FreshnessStampsArePerSession) {
  int32_t stamp = 0;
  EXPECT_FALSE(page_.FreshnessStamp(-2, stamp));
  page_.SetFreshnessStamp(-2, 11);
  page_.SetFreshnessStamp(5, 42);
  EXPECT_TRUE(page_.FreshnessStamp(5, stamp));
  EXPECT_EQ(stamp, 42);
  EXPECT_FALSE(page_.FreshnessStamp(4, stamp));
  page_.InvalidateFreshness(5);
  EXPECT_FALSE(page_.FreshnessStamp(5, stamp));
  EXPECT_TRUE(page_.FreshnessStamp(-2, stamp));
  EXPECT_EQ(stamp, 11);
  ExpectEngineError([&] { page_.SetFreshnessStamp(-1, 1); }, 20186);
}

}  // namespace
}  // namespace tabshift
