#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "BTreeTestSupport.h"
#include "engine/core/ABSBTreeKey.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

using testing::FieldSpec;
using testing::TestTable;
using testing::Value;

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// A leading-part comparison of stored keys must never contradict the same comparison of the
// whole values: where the stored prefix cannot tell, it reports a tie for the caller to settle.
struct PartialCase {
  std::string left;
  std::string right;
  int32_t partial_chars;
};

class PartialCompareTest : public ::testing::TestWithParam<PartialCase> {};

TEST_P(PartialCompareTest, StoredPrefixAgreesWithTheWholeValues) {
  const PartialCase& c = GetParam();
  const TestTable table({{bdtString, 40}});
  const std::vector<TABSIndexColumnInfo> columns = {table.Column(0)};
  TABSRecordKeyRef key_ref(columns);
  ASSERT_TRUE(key_ref.HasTruncatedColumns());
  std::vector<uint8_t> left_key(key_ref.KeySize()), right_key(key_ref.KeySize());
  std::vector<uint8_t> left_full(key_ref.FullKeySize()), right_full(key_ref.FullKeySize());
  const auto left = table.Record({Value::Text(c.left)});
  const auto right = table.Record({Value::Text(c.right)});
  key_ref.BuildKey(left.data(), left_key.data());
  key_ref.BuildKey(right.data(), right_key.data());
  key_ref.BuildFullKey(left.data(), left_full.data());
  key_ref.BuildFullKey(right.data(), right_full.data());

  key_ref.SetPartialLength(0, c.partial_chars);
  bool tie = false;
  const int stored = key_ref.CompareKeys(left_key.data(), right_key.data(), 1, &tie);
  const int whole = key_ref.CompareFullKeys(left_full.data(), right_full.data(), 1);
  ASSERT_NE(whole, 0) << "cases differ in their leading part";
  if (tie) {
    EXPECT_EQ(stored, 0);
  } else {
    EXPECT_EQ(Sign(stored), Sign(whole));
  }
}

INSTANTIATE_TEST_SUITE_P(
    LeadingParts, PartialCompareTest,
    ::testing::Values(
        // Case differs inside the 20 stored characters, letters differ after them.
        PartialCase{"A" + std::string(19, 'a') + "b", std::string(20, 'a') + "c", 21},
        PartialCase{std::string(20, 'a') + "c", "A" + std::string(19, 'a') + "b", 25},
        PartialCase{"aaaaaaaaaaaaaaaaaaaE"
                    "zz",
                    "aaaaaaaaaaaaaaaaaaae"
                    "aa",
                    22},
        // The leading part lies inside the stored prefix: the prefix alone decides.
        PartialCase{"Abc" + std::string(30, 'x'), "abd" + std::string(30, 'x'), 3},
        PartialCase{"abc", "abd", 3}));

// A wide column whose indexed size is odd keeps whole characters only: the byte that would
// hold half of the next character stays zero, and the column's part keeps its size.
TEST(WideKeyPrefix, OddIndexedSizeStoresWholeCharactersOnly) {
  const TestTable table({{bdtWideString, 10}});
  std::vector<TABSIndexColumnInfo> columns = {table.Column(0)};
  columns[0].max_indexed_size = 5;
  const TABSRecordKeyRef key_ref(columns);
  ASSERT_EQ(key_ref.KeySize(), 1 + 5 + 2);
  std::vector<uint8_t> key(key_ref.KeySize());
  const auto record = table.Record({Value::Wide(u"\u0441\u043b\u043e\u0432\u043e")});
  key_ref.BuildKey(record.data(), key.data());
  const std::vector<uint8_t> expected = {0, 0x41, 0x04, 0x3b, 0x04, 0, 0, 0};
  EXPECT_EQ(key, expected);
}

// Wide values that share their stored characters are ordered by their whole values, whatever
// the odd indexed size.
class WideOddPrefixTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(WideOddPrefixTest, IndexOrderFollowsTheWholeValues) {
  TABSMemoryPageManager pages;
  TestTable table({{bdtWideString, 8}});
  TABSIndexDescription description;
  description.index_id = 1;
  description.columns = {table.Column(0)};
  description.columns[0].max_indexed_size = GetParam();
  TABSBTreeRecordIndex index(pages, table, description);
  index.BuildIndex(0, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });

  std::mt19937 random(GetParam());
  const std::u16string letters = u"a\u00e1bB\u0100\u0101";
  std::vector<std::pair<std::u16string, int32_t>> model;
  for (int32_t id = 0; id < 1500; ++id) {
    std::u16string value(1 + random() % 8, u'a');
    for (char16_t& ch : value) ch = letters[random() % letters.size()];
    const auto record = table.Record({Value::Wide(value)});
    table.Store({id, 0}, record);
    index.InsertKey(0, record, {id, 0});
    model.emplace_back(value, id);
  }
  index.CheckIntegrity(0);

  std::vector<int32_t> ids;
  TABSIndexPositionCache cache;
  TABSIndexNavigation request;
  request.at_beginning = true;
  for (;;) {
    index.ReadInOrder(0, request, 0, cache);
    if (request.result != TABSIndexNavigation::kFound) break;
    ids.push_back(request.record_id.page_no);
  }
  ASSERT_EQ(ids.size(), model.size());
  for (size_t i = 1; i < ids.size(); ++i) {
    const auto& before = model[static_cast<size_t>(ids[i - 1])];
    const auto& after = model[static_cast<size_t>(ids[i])];
    const int order = CompareFieldValues(
        bdtWideString, reinterpret_cast<const uint8_t*>(before.first.c_str()),
        reinterpret_cast<const uint8_t*>(after.first.c_str()),
        static_cast<int32_t>(std::max(before.first.size(), after.first.size()) * 2), false, -1);
    ASSERT_TRUE(order < 0 || (order == 0 && before.second < after.second)) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(OddSizes, WideOddPrefixTest, ::testing::Values(1, 3, 5, 7, 9));

}  // namespace
}  // namespace tabshift
