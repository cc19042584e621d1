// Random inserts, deletes and updates on record indexes, checked after every batch against a
// std::multimap ordered the way the index must order its records.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "BTreeTestSupport.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "platform/Collation.h"

namespace tabshift {
namespace {

using testing::FieldSpec;
using testing::TestTable;
using testing::Value;

constexpr int32_t kSession = 0;

struct ColumnCase {
  FieldSpec field;
  bool descending = false;
  bool case_insensitive = false;
};

struct ModelCase {
  const char* name;
  std::vector<ColumnCase> columns;
  int32_t distinct;  // values drawn per column; few means many duplicates
  int32_t null_percent;
  int32_t shared_prefix;  // characters every string starts with
};

struct ModelKey {
  std::vector<Value> values;
  TABSRecordId id;
};

class ModelLess {
 public:
  explicit ModelLess(const std::vector<ColumnCase>* columns) : columns_(columns) {}
  bool operator()(const ModelKey& left, const ModelKey& right) const {
    for (size_t i = 0; i < columns_->size(); ++i) {
      const int result = CompareValue((*columns_)[i], left.values[i], right.values[i]);
      if (result != 0) return result < 0;
    }
    if (left.id.page_no != right.id.page_no) return left.id.page_no < right.id.page_no;
    return left.id.item_no < right.id.item_no;
  }

 private:
  static int CompareValue(const ColumnCase& column, const Value& left, const Value& right) {
    int result;
    if (left.IsNull() || right.IsNull()) {
      result = static_cast<int>(!left.IsNull()) - static_cast<int>(!right.IsNull());
    } else if (left.number) {
      result = (*left.number > *right.number) - (*left.number < *right.number);
    } else if (left.wide) {
      result = platform::CompareWide(*left.wide, *right.wide, column.case_insensitive);
    } else {
      result = platform::CompareAnsi(*left.text, *right.text, column.case_insensitive);
    }
    return column.descending ? -result : result;
  }
  const std::vector<ColumnCase>* columns_;
};

class BTreeModelTest : public ::testing::TestWithParam<ModelCase> {
 protected:
  BTreeModelTest() : model_(ModelLess(&GetParam().columns)) {
    std::vector<FieldSpec> fields;
    for (const ColumnCase& column : GetParam().columns) fields.push_back(column.field);
    table_ = std::make_unique<TestTable>(fields);
    TABSIndexDescription description;
    description.index_id = 7;
    for (size_t i = 0; i < fields.size(); ++i) {
      description.columns.push_back(table_->Column(static_cast<int32_t>(i),
                                                   GetParam().columns[i].descending,
                                                   GetParam().columns[i].case_insensitive));
    }
    index_ = std::make_unique<TABSBTreeRecordIndex>(pages_, *table_, description);
    index_->BuildIndex(kSession, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
  }

  std::vector<Value> RandomValues() {
    std::vector<Value> values;
    for (const ColumnCase& column : GetParam().columns) {
      const int32_t pick = static_cast<int32_t>(random_() % GetParam().distinct);
      if (static_cast<int32_t>(random_() % 100) < GetParam().null_percent) {
        values.push_back(Value{});
      } else if (column.field.type == bdtInteger) {
        values.push_back(Value::Number(pick - GetParam().distinct / 2));
      } else if (TestTable::IsWide(column.field.type)) {
        // Accented capitals and small letters, so that case-insensitive columns tie often.
        static constexpr char16_t kLetters[] = u"a\u00c4b\u00e4\u00c5\u00e5-\u0416";
        std::u16string text(static_cast<size_t>(GetParam().shared_prefix), u'\u00f6');
        for (int32_t n = pick; n > 0; n /= 8) text.push_back(kLetters[n % 8]);
        if (text.size() > static_cast<size_t>(column.field.size)) text.resize(column.field.size);
        values.push_back(Value::Wide(text));
      } else {
        static constexpr char kLetters[] = "aAbBcC-z";
        std::string text(static_cast<size_t>(GetParam().shared_prefix), 'p');
        for (int32_t n = pick; n > 0; n /= 8) text.push_back(kLetters[n % 8]);
        if (text.size() > static_cast<size_t>(column.field.size)) text.resize(column.field.size);
        values.push_back(Value::Text(text));
      }
    }
    return values;
  }

  void InsertRandom() {
    const TABSRecordId id{next_id_ / 5, static_cast<int16_t>(next_id_ % 5 - 2)};
    ++next_id_;
    ModelKey key{RandomValues(), id};
    const auto record = table_->Record(key.values);
    table_->Store(id, record);
    index_->InsertKey(kSession, record, id);
    model_.emplace(key, id);
  }

  std::multimap<ModelKey, TABSRecordId, ModelLess>::iterator PickEntry() {
    auto entry = model_.begin();
    std::advance(entry, random_() % model_.size());
    return entry;
  }

  void DeleteRandom() {
    const auto entry = PickEntry();
    index_->DeleteKey(kSession, table_->Record(entry->first.values), entry->second);
    table_->Remove(entry->second);
    model_.erase(entry);
  }

  void UpdateRandom() {
    const auto entry = PickEntry();
    ModelKey changed{RandomValues(), entry->second};
    const auto before = table_->Record(entry->first.values);
    const auto after = table_->Record(changed.values);
    // The record store holds the new image once the old key is gone.
    table_->Store(changed.id, after);
    index_->UpdateKey(kSession, before, after, changed.id);
    model_.erase(entry);
    model_.emplace(changed, changed.id);
  }

  void ExpectSameOrder() {
    index_->CheckIntegrity(kSession);
    ASSERT_EQ(index_->EntryCount(kSession), static_cast<int64_t>(model_.size()));
    TABSIndexNavigation request;
    TABSIndexPositionCache cache;
    request.at_beginning = true;
    for (const auto& [key, id] : model_) {
      index_->ReadInOrder(kSession, request, 0, cache);
      ASSERT_EQ(request.result, TABSIndexNavigation::kFound);
      ASSERT_EQ(request.record_id, id);
    }
    index_->ReadInOrder(kSession, request, 0, cache);
    EXPECT_EQ(request.result, TABSIndexNavigation::kEnd);
    if (model_.empty()) return;
    const auto entry = PickEntry();
    const int64_t expected = std::distance(model_.begin(), entry) + 1;
    EXPECT_EQ(index_->GetRecNoInOrder(kSession, entry->second, table_->Record(entry->first.values)),
              expected);
    TABSRecordId found;
    ASSERT_TRUE(index_->SetRecNoInOrder(kSession, found, expected));
    EXPECT_EQ(found, entry->second);
  }

  TABSMemoryPageManager pages_;
  std::unique_ptr<TestTable> table_;
  std::unique_ptr<TABSBTreeRecordIndex> index_;
  std::multimap<ModelKey, TABSRecordId, ModelLess> model_;
  std::mt19937 random_{20261211};
  int32_t next_id_ = 0;
};

TEST_P(BTreeModelTest, MatchesTheModelAfterEveryBatch) {
  for (int32_t batch = 0; batch < 24; ++batch) {
    const bool growing = batch < 12;
    for (int32_t step = 0; step < 400; ++step) {
      const uint32_t roll = random_() % 100;
      if (model_.empty() || roll < (growing ? 60u : 25u)) {
        InsertRandom();
      } else if (roll < (growing ? 80u : 85u)) {
        DeleteRandom();
      } else {
        UpdateRandom();
      }
    }
    ExpectSameOrder();
    pages_.CommitSessionPages(kSession);
  }
  while (!model_.empty()) DeleteRandom();
  ExpectSameOrder();
  EXPECT_EQ(index_->Depth(kSession), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, BTreeModelTest,
    ::testing::Values(
        ModelCase{"IntegerWithDuplicatesAndNulls", {{{bdtInteger}}}, 60, 10, 0},
        ModelCase{"DescendingInteger", {{{bdtInteger}, true}}, 3000, 5, 0},
        ModelCase{"TruncatedCaseInsensitiveString", {{{bdtString, 40}, false, true}}, 400, 5, 18},
        ModelCase{"ShortStringThenDescendingInteger",
                  {{{bdtString, 6}, false, true}, {{bdtInteger}, true}},
                  40,
                  15,
                  0},
        ModelCase{"TruncatedStringThenInteger",
                  {{{bdtString, 30}, true, false}, {{bdtInteger}}},
                  50,
                  10,
                  19},
        ModelCase{
            "TruncatedCaseInsensitiveWideString", {{{bdtWideString, 30}, false, true}}, 400, 5, 8},
        ModelCase{"WideCharThenDescendingInteger",
                  {{{bdtWideChar, 4}, false, true}, {{bdtInteger}, true}},
                  40,
                  15,
                  0},
        ModelCase{"DescendingTruncatedWideStringThenInteger",
                  {{{bdtWideString, 20}, true, false}, {{bdtInteger}}},
                  50,
                  10,
                  9}),
    [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tabshift
