#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/ABSBlockHeaders.h"
#include "engine/core/ABSIntegerArray.h"
#include "engine/core/ABSScanSearch.h"
#include "engine/core/ABSSortedStringPtrArray.h"
#include "engine/core/ABSTypes.h"
#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

TEST(IntegerArrayTest, CapacityGrowsInDoublingStepsUpToTheMaximum) {
  TABSIntegerArray array(0, 100, 10);
  std::vector<int32_t> capacities;
  for (int32_t i = 0; i < 400; ++i) {
    array.Append(i * 3);
    if (capacities.empty() || capacities.back() != array.Capacity()) {
      capacities.push_back(array.Capacity());
    }
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{20, 60, 140, 240, 340, 440}));
  EXPECT_EQ(array.Item(399), 1197);
  EXPECT_TRUE(array.Contains(30));
  EXPECT_FALSE(array.Contains(31));
}

TEST(IntegerArrayTest, DeleteMovesLaterItemsDownAndShrinks) {
  TABSIntegerArray array;
  for (int32_t i = 0; i < 50; ++i) array.Append(i);
  array.Delete(0);
  array.Delete(10);
  EXPECT_EQ(array.Count(), 48);
  EXPECT_EQ(array.Item(0), 1);
  EXPECT_EQ(array.Item(10), 12);
  EXPECT_EQ(array.IndexOf(49), 47);
  array.SetCount(2);
  EXPECT_EQ(array.Capacity(), 2);
  array.SetCount(5);
  EXPECT_EQ(array.Item(4), 0);
  EXPECT_ENGINE_ERROR(array.Delete(5), 10414,
                      "Invalid item number - ItemNo = 5, ItemCount = 5 - Native error: 10414");
  array.SetCount(0);
  EXPECT_EQ(array.Capacity(), 0);
}

TEST(BlockHeadersTest, HeaderIsStoredAsTwentyLittleEndianBytes) {
  const TABSCompressedStreamBlockHeader header{0x01020304, 102400, 0xCA6598D0, 0x01020304 + 20};
  uint8_t bytes[20];
  header.Encode(bytes);
  const uint8_t expected[20] = {0x04, 0x03, 0x02, 0x01, 0x00, 0x90, 0x01, 0x00, 0xD0, 0x98,
                                0x65, 0xCA, 0x18, 0x03, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(bytes, expected, 20), 0);
  EXPECT_EQ(TABSCompressedStreamBlockHeader::Decode(bytes), header);
}

TEST(BlockHeadersTest, ListKeepsHeadersWithPositions) {
  TABSCompressedStreamBlockHeadersArray list;
  for (int32_t i = 0; i < 1000; ++i) list.Append({i, i, 0, 20 + i}, int64_t(i) * 100);
  EXPECT_EQ(list.Count(), 1000);
  EXPECT_EQ(list.Header(999).compressed_size, 999);
  EXPECT_EQ(list.Position(500), 50000);
  list.SetItem(2, {7, 7, 7, 27}, 5);
  EXPECT_EQ(list.Position(2), 5);
  list.Truncate(3);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_ENGINE_CODE(list.Header(3), 10415);
}

TEST(ScanSearchConditionTest, ConditionsCopyTheirKeysAndRefuseBadItemNumbers) {
  TABSScanSearchConditionArray conditions;
  const uint8_t key[] = {1, 2, 3};
  TABSScanSearchCondition& first = conditions.Add();
  EXPECT_EQ(first.index_id, -1);
  EXPECT_EQ(first.op, TABSScanOperator::None);
  first.SetKey(key, 3);
  first.op = TABSScanOperator::GreaterOrEqual;
  conditions.Add().op = TABSScanOperator::Less;
  EXPECT_EQ(conditions.Item(0).KeySize(), 3);
  EXPECT_EQ(conditions.Item(0).Key()[2], 3);
  EXPECT_ENGINE_ERROR(conditions.Delete(2), 10413,
                      "Invalid item number - ItemNo = 2, ItemCount = 2 - Native error: 10413");
  conditions.Delete(0);
  EXPECT_EQ(conditions.Item(0).op, TABSScanOperator::Less);
  EXPECT_EQ(conditions.Item(0).KeySize(), 0);
}

TEST(SortedStringPtrArrayTest, FindsByNameWithoutRegardToCase) {
  int a = 1, b = 2, c = 3;
  TABSSortedStringPtrArray<int> list;
  list.Add("Zeta", &a);
  list.Add("alpha", &b);
  list.Add("Beta", &c);
  EXPECT_EQ(list.Name(0), "alpha");
  EXPECT_EQ(list.Name(2), "Zeta");
  EXPECT_EQ(list.Find("BETA"), &c);
  EXPECT_EQ(list.Find("gamma"), nullptr);
  list.Delete(list.IndexOf("ALPHA"));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_ENGINE_CODE(list.Object(2), 10416);
}

TEST(IndexPositionCacheTest, MatchesOnlyTheSameIndexRecordAndCounter) {
  TABSIndexPositionCache cache;
  EXPECT_EQ(cache.IndexId(), -1);
  EXPECT_EQ(cache.ChangeCounter(), -1);
  EXPECT_FALSE(cache.Matches(-1, TABSRecordId{}, -1));
  TABSKeyPath path;
  path.depth = 2;
  path.levels[1] = {7, 3, 100};
  cache.Store(4, {12, 0}, 9, path);
  EXPECT_TRUE(cache.Matches(4, {12, 0}, 9));
  EXPECT_FALSE(cache.Matches(4, {12, 0}, 10));
  EXPECT_FALSE(cache.Matches(4, {12, 1}, 9));
  EXPECT_FALSE(cache.Matches(5, {12, 0}, 9));
  EXPECT_EQ(cache.Path(), path);
  cache.Invalidate();
  EXPECT_FALSE(cache.Matches(4, {12, 0}, 9));
}

}  // namespace
}  // namespace tabshift
