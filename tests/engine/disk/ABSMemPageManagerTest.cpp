#include "engine/core/ABSMemPageManager.h"

#include <gtest/gtest.h>

#include <vector>

#include "PageTestSupport.h"

namespace tabshift {
namespace {

using page_test::ExpectEngineError;

class MemoryPageManagerTest : public ::testing::Test {
 protected:
  std::vector<int32_t> AddPages(int count) {
    std::vector<int32_t> pages;
    for (int i = 0; i < count; ++i) {
      TABSPage* page = manager_.AddPage(0, 0);
      pages.push_back(page->PageNo());
      manager_.ReleasePage(page);
    }
    manager_.CommitSessionPages(0);
    return pages;
  }

  TABSMemoryPageManager manager_;
};

TEST_F(MemoryPageManagerTest, PagesHaveNoHeader) {
  EXPECT_EQ(manager_.PageSize(), 4096);
  EXPECT_EQ(manager_.PageHeaderSize(), 0);
  TABSPage* page = manager_.AddPage(0, 12);
  EXPECT_EQ(page->Data(), page->Buffer());
  EXPECT_EQ(page->Buffer()[8], 0);  // no page type written
  manager_.ReleasePage(page);
  manager_.DiscardSessionPages(0);
}

TEST_F(MemoryPageManagerTest, NumbersAndBuffersGrowInStepsOfFifty) {
  AddPages(50);
  EXPECT_EQ(manager_.PageCapacity(), 50);
  AddPages(1);
  EXPECT_EQ(manager_.PageCapacity(), 100);
  EXPECT_EQ(manager_.HighestPageNo(), 50);
  EXPECT_EQ(manager_.GetPageCount(), 51);
}

TEST_F(MemoryPageManagerTest, AllocationReusesTheLowestFreeNumber) {
  AddPages(4);
  manager_.DeletePage(0, 2);
  manager_.DeletePage(0, 1);
  manager_.CommitSessionPages(0);
  EXPECT_EQ(AddPages(3), (std::vector<int32_t>{1, 2, 4}));
  EXPECT_EQ(manager_.HighestPageNo(), 4);
}

TEST_F(MemoryPageManagerTest, AReusedNumberStartsAsAZeroPage) {
  AddPages(1);
  TABSPage* page = manager_.GetPage(0, 0, false, 255);
  page->Data()[100] = 9;
  page->SetDirty(true);
  manager_.ReleasePage(page);
  manager_.CommitSessionPages(0);
  manager_.DeletePage(0, 0);
  manager_.CommitSessionPages(0);
  page = manager_.AddPage(0, 0);
  ASSERT_EQ(page->PageNo(), 0);
  EXPECT_EQ(page->Data()[100], 0);
  manager_.ReleasePage(page);
  manager_.CommitSessionPages(0);
}

TEST_F(MemoryPageManagerTest, ReadingAnUnallocatedPageFails) {
  ExpectEngineError([&] { manager_.GetPage(0, 3, false, 255); }, 10392,
                    "Page allocation not released - Native error: 10392");
  ExpectEngineError([&] { manager_.GetPage(0, -5, false, 255); }, 10392);
}

}  // namespace
}  // namespace tabshift
