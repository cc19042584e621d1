#include <gtest/gtest.h>

#include <memory>

#include "BTreeTestSupport.h"
#include "EngineErrorMatchers.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

using testing::FieldSpec;
using testing::TestTable;
using testing::Value;

constexpr int32_t kSession = 0;

Value Int(int32_t v) {
  return Value::Number(v);
}
Value Text(std::string v) {
  return Value::Text(std::move(v));
}
Value Wide(std::u16string v) {
  return Value::Wide(std::move(v));
}
Value Null() {
  return Value{};
}

class BTreeIndexTest : public ::testing::Test {
 protected:
  void MakeIndex(std::vector<FieldSpec> fields,
                 std::vector<TABSIndexColumnInfo> (*columns)(const TestTable&),
                 bool unique = false) {
    table_ = std::make_unique<TestTable>(std::move(fields));
    TABSIndexDescription description;
    description.index_id = 1;
    description.unique = unique;
    description.columns = columns(*table_);
    index_ = std::make_unique<TABSBTreeRecordIndex>(pages_, *table_, description);
    index_->BuildIndex(kSession, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
  }

  void Insert(int32_t id, const std::vector<Value>& values) {
    const TABSRecordId rid{id, static_cast<int16_t>(id % 7)};
    auto record = table_->Record(values);
    table_->Store(rid, record);
    index_->InsertKey(kSession, record, rid);
  }

  void Delete(int32_t id, const std::vector<Value>& values) {
    const TABSRecordId rid{id, static_cast<int16_t>(id % 7)};
    index_->DeleteKey(kSession, table_->Record(values), rid);
    table_->Remove(rid);
  }

  std::vector<int32_t> IdsInOrder() {
    std::vector<int32_t> ids;
    TABSIndexNavigation request;
    TABSIndexPositionCache cache;
    request.at_beginning = true;
    for (;;) {
      index_->ReadInOrder(kSession, request, 0, cache);
      if (request.result != TABSIndexNavigation::kFound) break;
      ids.push_back(request.record_id.page_no);
    }
    return ids;
  }

  TABSMemoryPageManager pages_;
  std::unique_ptr<TestTable> table_;
  std::unique_ptr<TABSBTreeRecordIndex> index_;
};

std::vector<TABSIndexColumnInfo> FirstColumn(const TestTable& table) {
  return {table.Column(0)};
}
std::vector<TABSIndexColumnInfo> LongString(const TestTable& table) {
  return {table.Column(0)};
}

TEST_F(BTreeIndexTest, IntegerLeafHolds370EntriesAndSplitsAtThe371st) {
  MakeIndex({{bdtInteger}}, FirstColumn);
  EXPECT_EQ(index_->KeySize(), 5);
  EXPECT_EQ(index_->EntriesPerPage(), 455);
  const int32_t root = index_->RootPageNo();
  for (int32_t i = 0; i < 370; ++i) Insert(i, {Int(i)});
  EXPECT_EQ(index_->Depth(kSession), 1);
  Insert(370, {Int(370)});
  EXPECT_EQ(index_->Depth(kSession), 2);
  EXPECT_EQ(index_->RootPageNo(), root);
  EXPECT_EQ(index_->EntryCount(kSession), 371);
  index_->CheckIntegrity(kSession);
}

std::string Numbered(int32_t n) {
  std::string text = std::to_string(n);
  text.insert(text.begin(), 8 - text.size(), '0');
  return text;
}

TEST_F(BTreeIndexTest, DeletingEveryKeyMergesBackToOneRootLeaf) {
  MakeIndex({{bdtString, 40}}, LongString);
  const int32_t root = index_->RootPageNo();
  constexpr int32_t kCount = 30000;
  for (int32_t i = 0; i < kCount; ++i) Insert(i, {Text(Numbered(i * 7 % kCount))});
  EXPECT_EQ(index_->Depth(kSession), 3);
  for (int32_t i = 0; i < kCount; ++i) {
    Delete(i, {Text(Numbered(i * 7 % kCount))});
    if (i % 5000 == 0) index_->CheckIntegrity(kSession);
  }
  EXPECT_EQ(index_->Depth(kSession), 1);
  EXPECT_EQ(index_->EntryCount(kSession), 0);
  EXPECT_EQ(index_->RootPageNo(), root);
  pages_.CommitSessionPages(kSession);
  EXPECT_EQ(pages_.GetPageCount(), 1);
}

TEST_F(BTreeIndexTest, LongStringsKeepA20BytePrefixAndResolveTiesByLookup) {
  MakeIndex({{bdtString, 40}}, LongString);
  EXPECT_EQ(index_->KeySize(), 23);
  const std::string prefix(20, 'k');
  Insert(1, {Text(prefix + "zz")});
  Insert(2, {Text(prefix + "aa")});
  Insert(3, {Text(prefix + "mm")});
  Insert(4, {Text(prefix)});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{4, 2, 3, 1}));
  EXPECT_GT(table_->lookups, 0);
  index_->CheckIntegrity(kSession);
}

TEST_F(BTreeIndexTest, WideStringsFollowTheCollationNotTheCodeUnits) {
  MakeIndex({{bdtWideChar, 3}}, FirstColumn);
  EXPECT_EQ(index_->KeySize(), 9);
  Insert(1, {Wide(u"f")});
  Insert(2, {Wide(u"\u00e9")});
  Insert(3, {Wide(u"Z")});
  Insert(4, {Wide(u"a")});
  Insert(5, {Null()});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{5, 4, 2, 1, 3}));
  index_->CheckIntegrity(kSession);
}

TEST_F(BTreeIndexTest, CaseInsensitiveWideStringsKeepA20BytePrefixAndTieByRecordId) {
  MakeIndex({{bdtWideString, 40}}, [](const TestTable& table) {
    return std::vector<TABSIndexColumnInfo>{table.Column(0, false, true)};
  });
  EXPECT_EQ(index_->KeySize(), 23);
  const std::u16string upper(10, u'\u00c4');
  const std::u16string lower(10, u'\u00e4');
  Insert(5, {Wide(lower + u"aa")});
  Insert(1, {Wide(upper + u"zz")});
  Insert(3, {Wide(upper + u"aa")});
  Insert(2, {Wide(upper + u"AA")});
  Insert(4, {Wide(upper)});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{4, 2, 3, 5, 1}));
  EXPECT_GT(table_->lookups, 0);
  index_->CheckIntegrity(kSession);
  Delete(3, {Wide(upper + u"aa")});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{4, 2, 5, 1}));
}

TEST_F(BTreeIndexTest, NullsSortFirstAndAmongThemselvesByRecordId) {
  MakeIndex({{bdtInteger}}, FirstColumn);
  Insert(5, {Int(-100)});
  Insert(9, {Null()});
  Insert(3, {Null()});
  Insert(1, {Int(7)});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{3, 9, 5, 1}));
}

std::vector<TABSIndexColumnInfo> MixedDirections(const TestTable& table) {
  return {table.Column(0), table.Column(1, true)};
}

TEST_F(BTreeIndexTest, DescendingColumnReversesOnlyThatColumn) {
  MakeIndex({{bdtInteger}, {bdtInteger}}, MixedDirections);
  Insert(1, {Int(1), Int(1)});
  Insert(2, {Int(1), Int(2)});
  Insert(3, {Int(2), Int(1)});
  Insert(4, {Int(2), Int(2)});
  EXPECT_EQ(IdsInOrder(), (std::vector<int32_t>{2, 1, 4, 3}));
}

TEST_F(BTreeIndexTest, UniquenessTests) {
  MakeIndex({{bdtInteger}}, FirstColumn);
  Insert(1, {Int(5)});
  EXPECT_TRUE(index_->IsKeyAbsent(kSession, table_->Record({Int(5)})));

  MakeIndex({{bdtString, 40}}, LongString, true);
  const std::string prefix(20, 'u');
  Insert(1, {Text(prefix + "one")});
  EXPECT_FALSE(index_->IsKeyAbsent(kSession, table_->Record({Text(prefix + "one")})));
  EXPECT_TRUE(index_->IsKeyAbsent(kSession, table_->Record({Text(prefix + "two")})));
  const auto before = table_->Record({Text(prefix + "one")});
  EXPECT_TRUE(index_->IsChangedKeyAbsent(kSession, before, before, {1, 1}));
  Insert(2, {Text("other")});
  EXPECT_FALSE(
      index_->IsChangedKeyAbsent(kSession, table_->Record({Text("other")}), before, {2, 2}));
}

TEST_F(BTreeIndexTest, ErrorsOfTheIndex) {
  MakeIndex({{bdtInteger}}, FirstColumn);
  Insert(1, {Int(5)});
  EXPECT_ENGINE_ERROR(index_->DeleteKey(kSession, table_->Record({Int(6)}), {1, 1}), 20250,
                      "Index error: cannot delete entry. Entry not found - Native error: 20250");
  TABSIndexNavigation request;
  request.direction = TABSIndexNavigation::kCurrent;
  TABSIndexPositionCache cache;
  EXPECT_ENGINE_CODE(index_->ReadInOrder(kSession, request, 0, cache), 20053);

  TestTable blobs(std::vector<FieldSpec>{{bdtBlob}});
  TABSIndexDescription description;
  TABSIndexColumnInfo column;
  column.field_name = "Picture";
  column.base_type = bdtBlob;
  description.columns = {column};
  EXPECT_ENGINE_CODE(TABSBTreeRecordIndex(pages_, blobs, description), 20295);
}

TEST_F(BTreeIndexTest, IntegrityCheckReportsDisorderAndCircularLinks) {
  MakeIndex({{bdtInteger}}, FirstColumn);
  for (int32_t i = 0; i < 1000; ++i) Insert(i, {Int(i)});
  const int32_t root = index_->RootPageNo();
  int32_t first_leaf;
  {
    TABSBTreePageRef page(pages_, pages_.GetPage(kSession, root, false, 255), 6);
    first_leaf = page->ChildPageNo(0);
  }
  const auto swap_first_entries = [&] {
    TABSBTreePageRef leaf(pages_, pages_.GetPage(kSession, first_leaf, false, 255), 6);
    std::vector<uint8_t> saved(leaf->Key(0), leaf->Key(0) + 11);
    std::memcpy(leaf->Key(0), leaf->Key(1), 11);
    std::memcpy(leaf->Key(1), saved.data(), 11);
  };
  swap_first_entries();
  EXPECT_ENGINE_ERROR(index_->CheckIntegrity(kSession), 20028,
                      "Index integrity error. PageNo=" + std::to_string(first_leaf) +
                          " EntryNo=1 - Native error: 20028");
  swap_first_entries();
  index_->CheckIntegrity(kSession);
  {
    TABSBTreePageRef page(pages_, pages_.GetPage(kSession, root, false, 255), 6);
    page->SetChildPageNo(1, root);
  }
  EXPECT_ENGINE_CODE(index_->CheckIntegrity(kSession), 20032);
}

}  // namespace
}  // namespace tabshift

namespace tabshift {
namespace {

struct SeekCase {
  TABSSeekOperator op;
  bool towards_last;
  int32_t key;
  int32_t expected_id;  // -1: nothing satisfies the operator
};

// Keys 10, 20, 20, 20, 30 held by records 1 to 5.
class BTreeSeekTest : public ::testing::TestWithParam<SeekCase> {
 protected:
  BTreeSeekTest() : table_(std::vector<testing::FieldSpec>{{bdtInteger}}) {
    TABSIndexDescription description;
    description.columns = {table_.Column(0)};
    index_ = std::make_unique<TABSBTreeRecordIndex>(pages_, table_, description);
    index_->BuildIndex(0, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
    const int32_t keys[] = {10, 20, 20, 20, 30};
    for (int32_t id = 1; id <= 5; ++id) {
      const auto record = table_.Record({testing::Value::Number(keys[id - 1])});
      table_.Store({id, 0}, record);
      index_->InsertKey(0, record, {id, 0});
    }
  }
  TABSMemoryPageManager pages_;
  testing::TestTable table_;
  std::unique_ptr<TABSBTreeRecordIndex> index_;
};

TEST_P(BTreeSeekTest, LeavesThePathAtTheMatchingEntry) {
  const SeekCase& c = GetParam();
  TABSKeyPath path;
  const auto probe = table_.Record({testing::Value::Number(c.key)});
  const bool found = index_->Seek(0, probe, c.op, c.towards_last, path);
  EXPECT_EQ(found, c.expected_id != -1);
  if (found) {
    EXPECT_EQ(index_->RecordIdAtPath(0, path).page_no, c.expected_id);
  }
}

using Op = TABSSeekOperator;
INSTANTIATE_TEST_SUITE_P(
    Operators, BTreeSeekTest,
    ::testing::Values(SeekCase{Op::Equal, false, 20, 2}, SeekCase{Op::Equal, true, 20, 4},
                      SeekCase{Op::Equal, false, 25, -1}, SeekCase{Op::Less, true, 20, 1},
                      SeekCase{Op::Less, false, 20, 1}, SeekCase{Op::Less, true, 10, -1},
                      SeekCase{Op::LessOrEqual, true, 20, 4}, SeekCase{Op::Greater, false, 20, 5},
                      SeekCase{Op::Greater, false, 30, -1},
                      SeekCase{Op::GreaterOrEqual, false, 20, 2},
                      SeekCase{Op::GreaterOrEqual, true, 15, 5},
                      SeekCase{Op::GreaterOrEqual, false, 31, -1}));

TEST_F(BTreeSeekTest, PositionsEstimatesAndReadingBeyondAKey) {
  EXPECT_EQ(index_->GetRecNoInOrder(0, {4, 0}, table_.Record({testing::Value::Number(20)})), 4);
  TABSRecordId id;
  EXPECT_TRUE(index_->SetRecNoInOrder(0, id, 5));
  EXPECT_EQ(id.page_no, 5);
  EXPECT_FALSE(index_->SetRecNoInOrder(0, id, 6));

  const auto twenty = table_.Record({testing::Value::Number(20)});
  EXPECT_EQ(index_->EstimateRangeCount(0, &twenty, true, &twenty, true, 5), 3);
  EXPECT_EQ(index_->EstimateRangeCount(0, nullptr, false, nullptr, false, 5), 5);
  EXPECT_EQ(index_->EstimateRangeCount(0, &twenty, false, nullptr, false, 5), 1);

  TABSIndexNavigation request;
  request.record = twenty;
  index_->ReadBeyondKey(0, request);
  EXPECT_EQ(request.record_id.page_no, 5);
  request.direction = TABSIndexNavigation::kPrior;
  request.record = twenty;
  index_->ReadBeyondKey(0, request);
  EXPECT_EQ(request.record_id.page_no, 1);
}

TEST_F(BTreeSeekTest, ReadingStopsAtBothEnds) {
  TABSIndexNavigation request;
  TABSIndexPositionCache cache;
  request.at_end = true;
  request.direction = TABSIndexNavigation::kPrior;
  index_->ReadInOrder(0, request, 3, cache);
  EXPECT_EQ(request.record_id.page_no, 5);
  EXPECT_TRUE(cache.Matches(0, request.record_id, 3));
  for (int i = 0; i < 4; ++i) index_->ReadInOrder(0, request, 3, cache);
  EXPECT_EQ(request.record_id.page_no, 1);
  index_->ReadInOrder(0, request, 3, cache);
  EXPECT_EQ(request.result, TABSIndexNavigation::kBeginning);
  EXPECT_TRUE(request.at_beginning);
  request.direction = TABSIndexNavigation::kNext;
  index_->ReadInOrder(0, request, 3, cache);
  EXPECT_EQ(request.record_id.page_no, 1);

  index_->ClearIndex(0);
  EXPECT_EQ(index_->EntryCount(0), 0);
  EXPECT_ENGINE_CODE(index_->SetRecNoInOrder(0, request.record_id, 1), 20074);
}

}  // namespace
}  // namespace tabshift

namespace tabshift {
namespace {

// A case difference inside the kept prefix must not decide: the locale weighs the letters cut
// off first, so "...aa" sorts after "...A" although "...a" sorts before "...A".
TEST(BTreeTruncationTest, CaseDifferenceInAPrefixYieldsToTheLettersCutOff) {
  TABSMemoryPageManager pages;
  testing::TestTable table(std::vector<testing::FieldSpec>{{bdtString, 40}});
  TABSIndexDescription description;
  description.columns = {table.Column(0)};
  TABSBTreeRecordIndex index(pages, table, description);
  index.BuildIndex(0, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
  const std::string prefix(19, 'q');
  const std::vector<std::string> values = {prefix + "aa", prefix + "A", prefix + "a"};
  for (int32_t id = 0; id < 3; ++id) {
    const auto record = table.Record({testing::Value::Text(values[id])});
    table.Store({id, 0}, record);
    index.InsertKey(0, record, {id, 0});
  }
  std::vector<int32_t> order;
  TABSIndexNavigation request;
  TABSIndexPositionCache cache;
  request.at_beginning = true;
  for (index.ReadInOrder(0, request, 0, cache); request.result == TABSIndexNavigation::kFound;
       index.ReadInOrder(0, request, 0, cache)) {
    order.push_back(request.record_id.page_no);
  }
  EXPECT_EQ(order, (std::vector<int32_t>{2, 1, 0}));
}

}  // namespace
}  // namespace tabshift
