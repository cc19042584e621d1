#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>

#include "EngineErrorMatchers.h"
#include "engine/core/ABSBTreePageIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

class BTreePageIndexTest : public ::testing::Test {
 protected:
  TABSMemoryPageManager pages_;
};

TEST_F(BTreePageIndexTest, RecordPagesInsertedUpdatedAndDeletedInRandomOrder) {
  TABSBTreeRecordPageIndex index(pages_);
  index.CreateRoot(0);
  std::vector<int32_t> page_numbers(3000);
  std::iota(page_numbers.begin(), page_numbers.end(), 100);
  std::shuffle(page_numbers.begin(), page_numbers.end(), std::mt19937(5));
  std::map<int32_t, uint16_t> model;
  for (int32_t page_no : page_numbers) {
    const auto count = static_cast<uint16_t>(page_no % 9);
    index.Insert(0, page_no, count);
    model[page_no] = count;
  }
  for (size_t i = 0; i < page_numbers.size(); i += 2) {
    index.Delete(0, page_numbers[i]);
    model.erase(page_numbers[i]);
  }
  index.Update(0, page_numbers[1], 8);
  model[page_numbers[1]] = 8;
  index.CheckIntegrity(0);

  int64_t total = 0;
  for (const auto& [page_no, count] : model) total += count;
  EXPECT_EQ(index.RecordCount(0), total);
  index.CheckRecordCount(0, total);
  EXPECT_ENGINE_CODE(index.CheckRecordCount(0, total + 1), 20292);

  int32_t page_no = 0;
  int32_t position = 0;
  const auto second = std::next(model.begin());
  index.RecNoToPosition(0, model.begin()->second + 1, page_no, position);
  EXPECT_EQ(page_no, second->first);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(index.PositionToRecNo(0, page_no, position), model.begin()->second + 1);
  EXPECT_ENGINE_ERROR(index.RecNoToPosition(0, total, page_no, position), 20113,
                      "Cannot set RecNo greater than RecordCount - Native error: 20113");

  ASSERT_TRUE(index.FindPageWithRoom(0, 8, page_no));
  EXPECT_EQ(page_no, std::find_if(model.begin(), model.end(), [](const auto& entry) {
                       return entry.second < 8;
                     })->first);
  EXPECT_ENGINE_CODE(index.Delete(0, 99), 20027);
}

TEST_F(BTreePageIndexTest, BlobPageTakesABlobOnlyWhenItFitsBelowTheUsableSize) {
  TABSBTreeBlobPageIndex index(pages_);
  EXPECT_ENGINE_CODE(index.Insert(0, 1, 0), 20104);
  index.CreateRoot(0);
  index.Insert(0, 7, 4000);
  index.Insert(0, 9, 1000);
  int32_t page_no = -1;
  ASSERT_TRUE(index.FindPageWithRoom(0, 93, page_no));  // 4000 + 93 < 4096 - 2
  EXPECT_EQ(page_no, 7);
  ASSERT_TRUE(index.FindPageWithRoom(0, 94, page_no));
  EXPECT_EQ(page_no, 9);
  EXPECT_FALSE(index.FindPageWithRoom(0, 3094, page_no));
}

}  // namespace
}  // namespace tabshift
