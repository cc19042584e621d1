// Range scans and filter bitmaps over a record index: the records visited must be exactly those
// of the index order that satisfy every condition, in either direction.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "BTreeTestSupport.h"
#include "EngineErrorMatchers.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "platform/Collation.h"

namespace tabshift {
namespace {

using testing::FieldSpec;
using testing::TestTable;
using testing::Value;

constexpr int32_t kSession = 0;
constexpr int32_t kIndexId = 3;
using Op = TABSScanOperator;

struct Row {
  Value text;
  Value number;
};

// NULL first, then case-insensitive text, then the number.
int CompareRows(const Row& row, const Row& bound, bool with_number) {
  const auto compare = [](const Value& l, const Value& r, auto&& values) {
    if (l.IsNull() || r.IsNull()) return static_cast<int>(!l.IsNull()) - !r.IsNull();
    return values(l, r);
  };
  const int text = compare(row.text, bound.text, [](const Value& l, const Value& r) {
    return platform::CompareAnsi(*l.text, *r.text, true);
  });
  if (text != 0 || !with_number) return text;
  return compare(row.number, bound.number, [](const Value& l, const Value& r) {
    return (*l.number > *r.number) - (*l.number < *r.number);
  });
}

// An index on a case-insensitive STRING(30), cut to a 20-byte prefix in its keys, and an
// INTEGER, over records whose strings often share their first 20 characters.
class BTreeScanTest : public ::testing::Test {
 protected:
  BTreeScanTest() : table_(std::vector<FieldSpec>{{bdtString, 30}, {bdtInteger}}) {
    TABSIndexDescription description;
    description.index_id = kIndexId;
    description.columns = {table_.Column(0, false, true), table_.Column(1)};
    index_ = std::make_unique<TABSBTreeRecordIndex>(pages_, table_, description);
    index_->BuildIndex(kSession, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
    std::mt19937 random(11);
    for (int32_t id = 0; id < 1500; ++id) {
      Row row;
      if (random() % 20 != 0) {
        std::string text = Prefix();
        for (uint32_t n = 2 + random() % 3; n > 0; --n) text.push_back("aAbBcC"[random() % 6]);
        row.text = Value::Text(text);
      }
      if (random() % 20 != 0) row.number = Value::Number(static_cast<int32_t>(random() % 50));
      const TABSRecordId rid{id, 0};
      const auto record = table_.Record({row.text, row.number});
      table_.Store(rid, record);
      index_->InsertKey(kSession, record, rid);
      rows_.push_back(row);
    }
  }

  static std::string Prefix() { return std::string(18, 'p'); }

  // `bytes` leading bytes of the full key take part; -1 all of it.
  void AddCondition(Op op, const Row& bound, int32_t bytes = -1, int32_t index_id = kIndexId) {
    std::vector<uint8_t> key(static_cast<size_t>(index_->KeyRef().FullKeySize()));
    index_->KeyRef().BuildFullKey(table_.Record({bound.text, bound.number}).data(), key.data());
    TABSScanSearchCondition& condition = conditions_.Add();
    condition.op = op;
    condition.index_id = index_id;
    condition.partial_key_size = bytes;
    condition.SetKey(key.data(), static_cast<int32_t>(key.size()));
  }

  std::vector<int32_t> Scan(bool forward) {
    auto state = index_->NewScanState(conditions_);
    std::vector<int32_t> ids;
    TABSRecordId id;
    std::vector<uint8_t> record;
    while (index_->ScanStep(kSession, *state, forward, 0, id, record)) {
      EXPECT_EQ(record, table_.Record({rows_[id.page_no].text, rows_[id.page_no].number}));
      ids.push_back(id.page_no);
    }
    TABSRecordId unchanged = id;
    EXPECT_FALSE(index_->ScanStep(kSession, *state, forward, 0, unchanged, record));
    TABSBTreeRecordIndex::FreeScanState(state);
    EXPECT_EQ(state, nullptr);
    return ids;
  }

  // The records of the whole index in key order that pass the predicate.
  std::vector<int32_t> Expected(const std::function<bool(const Row&)>& passes) {
    std::vector<int32_t> ids;
    TABSIndexNavigation request;
    TABSIndexPositionCache cache;
    request.at_beginning = true;
    for (index_->ReadInOrder(kSession, request, 0, cache);
         request.result == TABSIndexNavigation::kFound;
         index_->ReadInOrder(kSession, request, 0, cache)) {
      if (passes(rows_[request.record_id.page_no])) ids.push_back(request.record_id.page_no);
    }
    return ids;
  }

  void ExpectScan(const std::function<bool(const Row&)>& passes) {
    const std::vector<int32_t> expected = Expected(passes);
    EXPECT_EQ(Scan(true), expected);
    std::vector<int32_t> backwards = Scan(false);
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(backwards, expected);
  }

  TABSMemoryPageManager pages_;
  TestTable table_;
  std::unique_ptr<TABSBTreeRecordIndex> index_;
  std::vector<Row> rows_;
  TABSScanSearchConditionArray conditions_;
};

Row Bound(std::optional<std::string> text, std::optional<int32_t> number = std::nullopt) {
  Row row;
  if (text) row.text = Value::Text(*text);
  if (number) row.number = Value::Number(*number);
  return row;
}

constexpr int32_t kTextColumnBytes = 32;  // marker and STRING(30) buffer

TEST_F(BTreeScanTest, RangeOverBothColumns) {
  const Row low = Bound(Prefix() + "Ab", 10);
  const Row high = Bound(Prefix() + "cA", 0);
  AddCondition(Op::GreaterOrEqual, low);
  AddCondition(Op::Less, high);
  ExpectScan([&](const Row& row) {
    return CompareRows(row, low, true) >= 0 && CompareRows(row, high, true) < 0;
  });
}

TEST_F(BTreeScanTest, BoundsBeyondTheKeptPrefixAreResolvedByTheRecords) {
  const Row low = Bound(Prefix() + "bbA");
  const Row high = Bound(Prefix() + "ccb");
  AddCondition(Op::Greater, low, kTextColumnBytes);
  AddCondition(Op::LessOrEqual, high, kTextColumnBytes);
  ExpectScan([&](const Row& row) {
    return CompareRows(row, low, false) > 0 && CompareRows(row, high, false) <= 0;
  });
}

TEST_F(BTreeScanTest, LeadingPartOfAStringSelectsItsCompletions) {
  const std::string start = Prefix() + "b";
  AddCondition(Op::Equal, Bound(start), 1 + static_cast<int32_t>(start.size()));
  const auto starts = [&](const Row& row) {
    return row.text.text &&
           platform::CompareAnsi(row.text.text->substr(0, start.size()), start, true) == 0;
  };
  ASSERT_FALSE(Expected(starts).empty());
  ExpectScan(starts);
}

TEST_F(BTreeScanTest, NullBoundAndOneSidedBounds) {
  AddCondition(Op::Equal, Bound(std::nullopt), kTextColumnBytes);
  ExpectScan([](const Row& row) { return row.text.IsNull(); });
  conditions_.Clear();
  const Row high = Bound(Prefix() + "aB", 20);
  AddCondition(Op::LessOrEqual, high);
  ExpectScan([&](const Row& row) { return CompareRows(row, high, true) <= 0; });
}

TEST_F(BTreeScanTest, NoConditionsOfThisIndexScanEverything) {
  ExpectScan([](const Row&) { return true; });
  AddCondition(Op::Equal, Bound(Prefix() + "aa", 1), -1, kIndexId + 1);
  ExpectScan([](const Row&) { return true; });
}

TEST_F(BTreeScanTest, ContradictoryBoundsFindNothing) {
  AddCondition(Op::Greater, Bound(Prefix() + "c"), kTextColumnBytes);
  AddCondition(Op::Less, Bound(Prefix() + "b"), kTextColumnBytes);
  ExpectScan([](const Row&) { return false; });
}

TEST_F(BTreeScanTest, StepsTurnBackAtEitherEnd) {
  const Row low = Bound(Prefix() + "cc");
  AddCondition(Op::GreaterOrEqual, low, kTextColumnBytes);
  const std::vector<int32_t> expected =
      Expected([&](const Row& row) { return CompareRows(row, low, false) >= 0; });
  ASSERT_GE(expected.size(), 3u);
  auto state = index_->NewScanState(conditions_);
  TABSRecordId id;
  std::vector<uint8_t> record;
  ASSERT_TRUE(index_->ScanStep(kSession, *state, true, 0, id, record));
  ASSERT_TRUE(index_->ScanStep(kSession, *state, true, 0, id, record));
  EXPECT_EQ(id.page_no, expected[1]);
  ASSERT_TRUE(index_->ScanStep(kSession, *state, false, 0, id, record));
  EXPECT_EQ(id.page_no, expected[0]);
  EXPECT_FALSE(index_->ScanStep(kSession, *state, false, 0, id, record));
  ASSERT_TRUE(index_->ScanStep(kSession, *state, true, 0, id, record));
  EXPECT_EQ(id.page_no, expected[0]);
  while (index_->ScanStep(kSession, *state, true, 0, id, record)) {
  }
  ASSERT_TRUE(index_->ScanStep(kSession, *state, false, 0, id, record));
  EXPECT_EQ(id.page_no, expected.back());
}

// Between steps records are deleted, among them the one the scan stopped at, and inserted; the
// scan goes on after the place it had reached.
TEST_F(BTreeScanTest, ScanGoesOnAfterTheTableChanged) {
  const Row low = Bound(Prefix() + "b");
  AddCondition(Op::GreaterOrEqual, low, kTextColumnBytes);
  const auto in_range = [&](const Row& row) { return CompareRows(row, low, false) >= 0; };
  for (const bool forward : {true, false}) {
    SCOPED_TRACE(forward);
    std::vector<int32_t> expected = Expected(in_range);
    if (!forward) std::reverse(expected.begin(), expected.end());
    auto state = index_->NewScanState(conditions_);
    TABSRecordId id;
    std::vector<uint8_t> record;
    std::vector<int32_t> visited;
    int32_t counter = 0;
    while (index_->ScanStep(kSession, *state, forward, counter, id, record)) {
      visited.push_back(id.page_no);
      if (visited.size() % 7 != 0) continue;
      // Delete the record just returned and the one due next, if any.
      const size_t at = visited.size() - 1;
      for (size_t k = at; k <= at + 1 && k < expected.size(); ++k) {
        const int32_t gone = expected[k];
        index_->DeleteKey(kSession, table_.Record({rows_[gone].text, rows_[gone].number}),
                          {gone, 0});
        table_.Remove({gone, 0});
      }
      if (at + 1 < expected.size()) expected.erase(expected.begin() + static_cast<long>(at) + 1);
      ++counter;
    }
    EXPECT_EQ(visited, expected);
    // Put the deleted records back for the other direction.
    for (int32_t k = 0; k < static_cast<int32_t>(rows_.size()); ++k) {
      std::vector<uint8_t> stored;
      if (table_.ReadRecordBuffer(kSession, {k, 0}, stored)) continue;
      const auto restored = table_.Record({rows_[k].text, rows_[k].number});
      table_.Store({k, 0}, restored);
      index_->InsertKey(kSession, restored, {k, 0});
    }
  }
}

TEST_F(BTreeScanTest, FilterBitmapMarksTheRangeRecordsThatPassTheFilter) {
  const Row high = Bound(Prefix() + "b", 0);
  AddCondition(Op::Less, high);
  TABSRecordBitmap bitmap;
  bitmap.Mark(1499, true);  // left over from an earlier filling
  const auto even = [](const uint8_t* record) {
    int32_t number;
    std::memcpy(&number, record + 32, 4);
    return (record[0] & 2) == 0 && number % 2 == 0;
  };
  index_->FillFilterBitmap(
      kSession, conditions_, even, [](const TABSRecordId& id) { return int64_t{id.page_no} + 5; },
      bitmap, 42);
  EXPECT_FALSE(bitmap.IsStale(42));
  int32_t marked = 0;
  for (int32_t id = 0; id < static_cast<int32_t>(rows_.size()); ++id) {
    const Row& row = rows_[id];
    const bool passes =
        CompareRows(row, high, true) < 0 && row.number.number && *row.number.number % 2 == 0;
    EXPECT_EQ(bitmap.Passes(id + 5), passes) << id;
    marked += passes;
  }
  EXPECT_GT(marked, 0);
  EXPECT_EQ(bitmap.Bits().SetBitsCount(), marked);
}

TEST_F(BTreeScanTest, AConditionKeyShorterThanItsPartRaisesInvalidParams) {
  TABSScanSearchCondition& condition = conditions_.Add();
  condition.op = Op::Equal;
  condition.index_id = kIndexId;
  const uint8_t key[4] = {};
  condition.SetKey(key, 4);
  EXPECT_ENGINE_ERROR(index_->NewScanState(conditions_), 20078,
                      "Index error: invalid params - Native error: 20078");
}

// Leading parts of wide strings count in characters, compared with the collation.
TEST(BTreeWideScanTest, LeadingPartOfAWideString) {
  TABSMemoryPageManager pages;
  TestTable table(std::vector<FieldSpec>{{bdtWideString, 12}});
  TABSIndexDescription description;
  description.index_id = kIndexId;
  description.columns = {table.Column(0, false, true)};
  TABSBTreeRecordIndex index(pages, table, description);
  index.BuildIndex(kSession, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
  const std::vector<std::u16string> values = {u"\u00e4bc", u"\u00c4B", u"\u00e4", u"ab",
                                              u"\u00c4bz", u"\u00e4c", u"b"};
  for (int32_t id = 0; id < static_cast<int32_t>(values.size()); ++id) {
    const auto record = table.Record({Value::Wide(values[id])});
    table.Store({id, 0}, record);
    index.InsertKey(kSession, record, {id, 0});
  }
  std::vector<uint8_t> key(static_cast<size_t>(index.KeyRef().FullKeySize()));
  index.KeyRef().BuildFullKey(table.Record({Value::Wide(u"\u00c4b")}).data(), key.data());
  TABSScanSearchConditionArray conditions;
  TABSScanSearchCondition& condition = conditions.Add();
  condition.op = Op::Equal;
  condition.index_id = kIndexId;
  condition.partial_key_size = 1 + 2 * 2;
  condition.SetKey(key.data(), static_cast<int32_t>(key.size()));
  auto state = index.NewScanState(conditions);
  std::vector<int32_t> ids;
  TABSRecordId id;
  std::vector<uint8_t> record;
  while (index.ScanStep(kSession, *state, true, 0, id, record)) ids.push_back(id.page_no);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 4}));
}

}  // namespace
}  // namespace tabshift
