#include "engine/disk/ABSSortedPageList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "PageTestSupport.h"
#include "engine/core/ABSMemPageManager.h"
#include "engine/disk/ABSPage.h"

namespace tabshift {
namespace {

using page_test::ExpectEngineError;

class SortedPageListTest : public ::testing::Test {
 protected:
  TABSPage* MakePage(int32_t page_no) {
    pages_.push_back(std::make_unique<TABSPage>(manager_));
    pages_.back()->SetPageNo(page_no);
    return pages_.back().get();
  }

  TABSMemoryPageManager manager_;
  std::vector<std::unique_ptr<TABSPage>> pages_;
  TABSSortedPageList list_;
};

TEST_F(SortedPageListTest, KeepsPagesInAscendingOrder) {
  for (int32_t page_no : {7, 3, 9, 1, 5}) list_.Insert(MakePage(page_no));
  ASSERT_EQ(list_.Count(), 5);
  std::vector<int32_t> order;
  for (int32_t i = 0; i < list_.Count(); ++i) order.push_back(list_.PageAt(i)->PageNo());
  EXPECT_EQ(order, (std::vector<int32_t>{1, 3, 5, 7, 9}));
  EXPECT_EQ(list_.Find(5)->PageNo(), 5);
  EXPECT_EQ(list_.Find(4), nullptr);
  list_.Delete(3);
  EXPECT_EQ(list_.Find(3), nullptr);
  EXPECT_EQ(list_.PageAt(1)->PageNo(), 5);
}

TEST_F(SortedPageListTest, LeastRecentlyUsedFollowsTouches) {
  EXPECT_EQ(list_.LeastRecentlyUsed(), nullptr);
  for (int32_t page_no : {4, 2, 8}) list_.Insert(MakePage(page_no));
  EXPECT_EQ(list_.LeastRecentlyUsed()->PageNo(), 4);
  list_.Touch(4);
  EXPECT_EQ(list_.LeastRecentlyUsed()->PageNo(), 2);
  list_.Touch(2);
  EXPECT_EQ(list_.LeastRecentlyUsed()->PageNo(), 8);
}

TEST_F(SortedPageListTest, GrowsAndShrinksInDoublingSteps) {
  list_.Insert(MakePage(0));
  EXPECT_EQ(list_.Capacity(), 2000);  // the step doubles before the first growth
  for (int32_t page_no = 1; page_no <= 2000; ++page_no) list_.Insert(MakePage(page_no));
  EXPECT_EQ(list_.Capacity(), 6000);
  // 4000 of 6000 would be unused, more than the shrink step of 1000: shrink to the count.
  list_.Delete(2000);
  EXPECT_EQ(list_.Capacity(), 2000);
  // The shrink step is now 2000: one page left leaves 1999 unused, not more than the step.
  for (int32_t page_no = 1999; page_no >= 1; --page_no) list_.Delete(page_no);
  EXPECT_EQ(list_.Capacity(), 2000);
  // An emptied list gives all its room back.
  list_.Delete(0);
  EXPECT_EQ(list_.Capacity(), 0);
  for (int32_t page_no = 0; page_no <= 2000; ++page_no) list_.Insert(pages_[page_no].get());
  EXPECT_EQ(list_.Capacity(), 8000);  // the growth step has doubled to 8000
  list_.Insert(MakePage(5000));
  EXPECT_EQ(list_.Find(5000)->PageNo(), 5000);
}

TEST_F(SortedPageListTest, ReportsMissingPages) {
  ExpectEngineError([&] { list_.Delete(3); }, 20165,
                    "TSortedPageList.Delete - no elements in array! - Native error: 20165");
  list_.Insert(MakePage(1));
  list_.Insert(MakePage(2));
  ExpectEngineError(
      [&] { list_.Delete(3); }, 20166,
      "TSortedPageList.Delete - element not found, key = 3, itemCount = 2 - Native error: 20166");
  ExpectEngineError([&] { list_.Touch(9); }, 20167, "Page not found - Native error: 20167");
  EXPECT_EQ(list_.Count(), 2);
}

TEST_F(SortedPageListTest, ClearEmptiesAndFreesTheArrays) {
  const int64_t before = MemoryManager().BytesInUse();
  {
    TABSSortedPageList list;
    for (int32_t page_no = 0; page_no < 3000; ++page_no) list.Insert(MakePage(page_no));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

}  // namespace
}  // namespace tabshift
