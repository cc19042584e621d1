// Filtered navigation through the scan planner: whatever the planner chooses, a cursor with a
// filter and range conditions must see exactly the records a plain walk over every record in
// the cursor's order finds with the same filter, in the same order, in both directions, with
// the same counts and record numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSScanPlanner.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "platform/Collation.h"

namespace tabshift::testing {
namespace {

using Op = TABSScanOperator;

// Fields: A INTEGER, B INTEGER, S STRING(10), U INTEGER (unique), C INTEGER (no index).
enum Field { kA = 0, kB = 1, kS = 2, kU = 3, kC = 4 };

constexpr const char* kStrings[] = {"abc", "ABC", "Abd", "b", "B", "ba", "c", "abcdef"};

struct Row {
  std::optional<int32_t> a, b;
  std::optional<std::string> s;
  int32_t u = 0;
  int32_t c = 0;
};

// One term of a filter as a user states it: field, comparison and value; NULL fails it.
struct Term {
  Field field;
  Op op;
  std::optional<int32_t> number;
  std::string text;
  bool leading_of_ab = false;  // stated on A through the two-column index
};

bool Compares(Op op, int result) {
  switch (op) {
    case Op::Equal:
      return result == 0;
    case Op::Less:
      return result < 0;
    case Op::Greater:
      return result > 0;
    case Op::LessOrEqual:
      return result <= 0;
    case Op::GreaterOrEqual:
      return result >= 0;
    case Op::None:
      break;
  }
  return true;
}

// In a descending column "less" lies further on in the index.
Op Mirrored(Op op) {
  switch (op) {
    case Op::Less:
      return Op::Greater;
    case Op::Greater:
      return Op::Less;
    case Op::LessOrEqual:
      return Op::GreaterOrEqual;
    case Op::GreaterOrEqual:
      return Op::LessOrEqual;
    default:
      return op;
  }
}

std::unique_ptr<TABSFieldDefs> PlannerFields() {
  auto fields = std::make_unique<TABSFieldDefs>();
  AddField(*fields, "A", adtInteger);
  AddField(*fields, "B", adtInteger);
  AddField(*fields, "S", adtString, 10);
  AddField(*fields, "U", adtInteger);
  AddField(*fields, "C", adtInteger);
  return fields;
}

std::unique_ptr<TABSIndexDefs> PlannerIndexes() {
  auto indexes = std::make_unique<TABSIndexDefs>();
  AddIndexDef(*indexes, "ByA", {"A"});
  AddIndexDef(*indexes, "ByBDesc", {"B"}).Columns[0].Descending = true;
  AddIndexDef(*indexes, "BySNoCase", {"S"}).Columns[0].CaseInsensitive = true;
  AddIndexDef(*indexes, "ByU", {"U"}).Unique = true;
  AddIndexDef(*indexes, "ByAB", {"A", "B"});
  return indexes;
}

class ScanPlanner : public ::testing::Test {
 protected:
  ScanPlanner() : table_("Planner", *PlannerFields(), *PlannerIndexes()), random_(2024) {}

  int32_t IndexId(const std::string& name) {
    return table_.table->IndexManager()->IndexDefs().ItemByName(name)->ObjectID;
  }
  TABSBTreeRecordIndex& Index(const std::string& name) {
    return RecordIndexOf(*table_.table, IndexId(name));
  }

  Row RandomRow(int32_t u) {
    Row row;
    if (random_() % 10 != 0) row.a = static_cast<int32_t>(random_() % 40);
    if (random_() % 10 != 0) row.b = static_cast<int32_t>(random_() % 40);
    if (random_() % 10 != 0) row.s = kStrings[random_() % std::size(kStrings)];
    row.u = u;
    row.c = static_cast<int32_t>(random_() % 100);
    return row;
  }

  void Insert(const Row& row) {
    table_.NewRecord();
    if (row.a) table_.SetInt(kA, *row.a);
    if (row.b) table_.SetInt(kB, *row.b);
    if (row.s) table_.SetText(kS, *row.s);
    table_.SetInt(kU, row.u);
    table_.SetInt(kC, row.c);
    table_.Post();
  }

  void Fill(int32_t rows) {
    for (int32_t u = 0; u < rows; ++u) Insert(RandomRow(u));
  }

  int32_t Int(const uint8_t* record, Field field) {
    int32_t value = 0;
    return table_.Fields().GetFieldData(field, &value, record) ? value : INT32_MIN;
  }

  // As a user means the term, NULL fails it; as the index orders keys, NULL comes first.
  bool Holds(const Term& term, const uint8_t* record, bool null_first = false) {
    if (term.field == kS) {
      char text[11] = {};
      if (!table_.Fields().GetFieldData(kS, text, record))
        return null_first && Compares(term.op, -1);
      return Compares(term.op, platform::CompareAnsi(text, term.text, true));
    }
    int32_t value = 0;
    if (!table_.Fields().GetFieldData(term.field, &value, record)) {
      return null_first && Compares(term.op, -1);
    }
    return Compares(term.op, (value > *term.number) - (value < *term.number));
  }

  // The condition a term implies on the index of its field, keyed by a record holding its value.
  void AddCondition(const Term& term, TABSScanSearchConditionArray& conditions) {
    static const char* const kIndexOf[] = {"ByA", "ByBDesc", "BySNoCase", "ByU"};
    const std::string index = term.leading_of_ab ? "ByAB" : kIndexOf[term.field];
    table_.NewRecord();
    if (term.field == kS) {
      table_.SetText(kS, term.text);
    } else {
      table_.SetInt(term.field, *term.number);
    }
    const TABSRecordKeyRef& key_ref = Index(index).KeyRef();
    std::vector<uint8_t> key(static_cast<size_t>(key_ref.FullKeySize()));
    key_ref.BuildFullKey(table_.buffer.data(), key.data());
    TABSScanSearchCondition& condition = conditions.Add();
    condition.op = term.field == kB ? Mirrored(term.op) : term.op;
    condition.index_id = IndexId(index);
    condition.SetKey(key.data(), static_cast<int32_t>(key.size()));
    if (term.leading_of_ab) condition.partial_key_size = key_ref.Column(1).full_offset;
  }

  Term RandomTerm() {
    Term term;
    term.field = static_cast<Field>(random_() % 4);
    term.op = static_cast<Op>(1 + random_() % 5);
    if (term.field == kS) {
      term.text = kStrings[random_() % std::size(kStrings)];
    } else {
      term.number = static_cast<int32_t>(random_() % 46) - 3;
      term.leading_of_ab = term.field == kA && random_() % 3 == 0;
    }
    return term;
  }

  // U of every record a cursor in `order` without filter passes through `keep`, in its order.
  std::vector<int32_t> Walk(int32_t order, const std::function<bool(const uint8_t*)>& keep) {
    TABSCursorState plain;
    plain.index_id = order;
    std::vector<uint8_t> buffer(table_.buffer.size());
    plain.record_buffer = buffer.data();
    std::vector<int32_t> found;
    for (auto where = TABSNavigateTo::First;
         table_.table->NavigateRecord(plain, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      if (!keep || keep(buffer.data())) found.push_back(Int(buffer.data(), kU));
    }
    return found;
  }

  std::vector<int32_t> Forwards(TABSCursorState& cursor) {
    std::vector<int32_t> found;
    for (auto where = TABSNavigateTo::First;
         table_.table->NavigateRecord(cursor, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      found.push_back(Int(cursor.record_buffer, kU));
    }
    EXPECT_TRUE(cursor.at_end);
    return found;
  }

  std::vector<int32_t> Backwards(TABSCursorState& cursor) {
    std::vector<int32_t> found;
    for (auto where = TABSNavigateTo::Last;
         table_.table->NavigateRecord(cursor, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Prior) {
      found.push_back(Int(cursor.record_buffer, kU));
    }
    EXPECT_TRUE(cursor.at_beginning);
    std::reverse(found.begin(), found.end());
    return found;
  }

  // Every way of reading the filtered cursor agrees with the plain walk.
  void ExpectSameAsWalk(TABSCursorState& cursor, const std::function<bool(const uint8_t*)>& keep) {
    const std::vector<int32_t> expected = Walk(cursor.index_id, keep);
    ASSERT_EQ(Forwards(cursor), expected);
    ASSERT_EQ(Backwards(cursor), expected);
    ASSERT_EQ(table_.table->FilteredRecordCount(cursor), static_cast<int64_t>(expected.size()));
    for (size_t n = 1; n <= expected.size(); n += 1 + expected.size() / 5) {
      ASSERT_TRUE(table_.table->SetRecNo(cursor, static_cast<int64_t>(n)));
      ASSERT_EQ(Int(cursor.record_buffer, kU), expected[n - 1]);
      ASSERT_EQ(table_.table->GetRecNo(cursor), static_cast<int64_t>(n));
    }
    EXPECT_FALSE(table_.table->SetRecNo(cursor, static_cast<int64_t>(expected.size()) + 1));
    const int32_t threshold = static_cast<int32_t>(random_() % 100);
    const auto above = [&](const uint8_t* record) { return Int(record, kC) > threshold; };
    const std::vector<int32_t> located =
        Walk(cursor.index_id, [&](const uint8_t* r) { return (!keep || keep(r)) && above(r); });
    ASSERT_EQ(table_.table->LocateRecord(cursor, above), !located.empty());
    if (!located.empty()) {
      ASSERT_EQ(Int(cursor.record_buffer, kU), located.front());
    }
  }

  MemoryTable table_;
  std::mt19937 random_;
};

TEST_F(ScanPlanner, RandomFiltersGiveTheRecordsOfAPlainWalkInEveryOrder) {
  Fill(600);
  const std::vector<int32_t> orders = {-1, IndexId("ByA"), IndexId("ByBDesc"), IndexId("BySNoCase"),
                                       IndexId("ByAB")};
  TABSCursorState& cursor = table_.cursor;
  std::map<TABSScanPlan::Kind, int> plans;
  for (int round = 0; round < 120; ++round) {
    std::vector<Term> terms;
    for (uint32_t n = random_() % 4; n > 0; --n) terms.push_back(RandomTerm());
    // Without a predicate the conditions alone filter, in key order.
    const bool conditions_only = random_() % 3 == 0;
    const bool extra = !conditions_only && random_() % 4 == 0;
    const auto keep = [&](const uint8_t* record) {
      if (extra && Int(record, kC) % 2 != 0) return false;
      return std::all_of(terms.begin(), terms.end(),
                         [&](const Term& term) { return Holds(term, record, conditions_only); });
    };
    cursor.filter = conditions_only ? nullptr : std::function<bool(const uint8_t*)>(keep);
    cursor.scan_conditions.Clear();
    for (const Term& term : terms) AddCondition(term, cursor.scan_conditions);
    cursor.index_id = orders[random_() % orders.size()];
    cursor.FilterChanged();
    ++plans[TABSScanPlanner(*table_.table, 0, cursor.scan_conditions).Plan().kind];
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectSameAsWalk(cursor, keep);
    if (HasFatalFailure()) return;
    // The cursor's own changes keep its filter current.
    if (round % 3 == 0) {
      Insert(RandomRow(1000 + round));
    } else if (table_.table->SetRecNo(cursor, 1)) {
      ASSERT_TRUE(table_.table->DeleteRecord(cursor));
    }
    ExpectSameAsWalk(cursor, keep);
    if (HasFatalFailure()) return;
  }
  EXPECT_GE(plans[TABSScanPlan::Kind::kNothing], 3);
  EXPECT_GE(plans[TABSScanPlan::Kind::kFullScan], 10);
  EXPECT_GE(plans[TABSScanPlan::Kind::kIndexRange], 30);
}

TEST_F(ScanPlanner, ConditionsAloneFilterAsTheIndexComparesKeys) {
  Fill(300);
  TABSCursorState& cursor = table_.cursor;
  // Key order puts NULL first, so "less" takes NULLs in; case does not count in this index.
  AddCondition({kA, Op::Less, 5, "", false}, cursor.scan_conditions);
  AddCondition({kS, Op::Equal, std::nullopt, "ABC", false}, cursor.scan_conditions);
  cursor.FilterChanged();
  ExpectSameAsWalk(cursor, [&](const uint8_t* record) {
    char text[11] = {};
    const bool a_passes = Int(record, kA) < 5;  // NULL reads as INT32_MIN
    return a_passes && table_.Fields().GetFieldData(kS, text, record) &&
           platform::CompareAnsi(text, "abc", true) == 0;
  });
}

TEST_F(ScanPlanner, NavigationStepsFromARecordOutsideTheFilter) {
  for (int32_t u = 0; u < 50; ++u) {
    table_.NewRecord();
    table_.SetInt(kA, u % 10);
    table_.SetInt(kU, u);
    table_.Post();
  }
  TABSCursorState& cursor = table_.cursor;
  cursor.index_id = IndexId("ByA");
  ASSERT_TRUE(table_.table->SetRecNo(cursor, 23));  // A = 4
  ASSERT_EQ(table_.GetInt(kA), 4);
  AddCondition({kA, Op::GreaterOrEqual, 6, "", false}, cursor.scan_conditions);
  AddCondition({kA, Op::Less, 8, "", false}, cursor.scan_conditions);
  cursor.FilterChanged();
  EXPECT_EQ(table_.table->GetRecNo(cursor), -1);
  ASSERT_EQ(table_.table->NavigateRecord(cursor, TABSNavigateTo::Next), TABSReadResult::Found);
  EXPECT_EQ(table_.GetInt(kA), 6);
  EXPECT_EQ(table_.GetInt(kU), 6);
  EXPECT_EQ(table_.table->GetRecNo(cursor), 1);
  EXPECT_EQ(table_.table->FilteredRecordCount(cursor), 10);
}

TEST_F(ScanPlanner, ChangesByOtherCursorsAndEmptyingAreSeen) {
  Fill(200);
  TABSCursorState other;
  other.index_id = IndexId("ByA");
  std::vector<uint8_t> buffer(table_.buffer.size());
  other.record_buffer = buffer.data();
  table_.table->AttachCursor(other);
  AddCondition({kA, Op::Equal, 7, "", false}, other.scan_conditions);
  other.FilterChanged();
  const auto has_seven = [&](const uint8_t* record) { return Int(record, kA) == 7; };
  ExpectSameAsWalk(other, has_seven);
  Insert({7, 1, "x", 500, 0});
  ExpectSameAsWalk(other, has_seven);
  table_.table->EmptyTable(0);
  EXPECT_EQ(table_.table->FilteredRecordCount(other), 0);
  EXPECT_EQ(table_.table->GetRecNo(other), -1);
  EXPECT_EQ(table_.table->NavigateRecord(other, TABSNavigateTo::First), TABSReadResult::End);
  table_.table->DetachCursor(other);
}

class PlanChoice : public ScanPlanner {
 protected:
  TABSScanPlan PlanOf(const std::vector<Term>& terms) {
    TABSScanSearchConditionArray conditions;
    for (const Term& term : terms) AddCondition(term, conditions);
    TABSScanPlanner planner(*table_.table, 0, conditions);
    return planner.Plan();
  }
};

TEST_F(PlanChoice, MergedRangesPickTheSmallestIndexOrEveryRecord) {
  Fill(2000);
  using K = TABSScanPlan::Kind;
  const TABSScanPlan unique =
      PlanOf({{kA, Op::Equal, 3, "", false}, {kU, Op::Equal, 7, "", false}});
  EXPECT_EQ(unique.kind, K::kIndexRange);
  EXPECT_EQ(unique.index_id, IndexId("ByU"));

  const TABSScanPlan narrow = PlanOf({{kA, Op::GreaterOrEqual, 3, "", false},
                                      {kA, Op::LessOrEqual, 4, "", false},
                                      {kB, Op::Less, 30, "", false}});
  EXPECT_EQ(narrow.kind, K::kIndexRange);
  EXPECT_EQ(narrow.index_id, IndexId("ByA"));
  EXPECT_NEAR(static_cast<double>(narrow.estimate), 2000 * 0.9 * 2 / 40, 40);

  // ">= 3" and "<= 3" merge into "= 3" over the leading column of the two-column index.
  const TABSScanPlan leading = PlanOf({{kA, Op::GreaterOrEqual, 3, "", true},
                                       {kA, Op::LessOrEqual, 3, "", true},
                                       {kS, Op::GreaterOrEqual, std::nullopt, "a", false}});
  EXPECT_EQ(leading.kind, K::kIndexRange);
  EXPECT_EQ(leading.index_id, IndexId("ByAB"));
  EXPECT_NEAR(static_cast<double>(leading.estimate), 2000 * 0.9 / 40, 25);

  // Every record lies below 1000 in key order, NULLs included: no index beats reading them.
  EXPECT_EQ(PlanOf({{kA, Op::LessOrEqual, 1000, "", false}}).kind, K::kFullScan);
  EXPECT_EQ(PlanOf({}).kind, K::kFullScan);
}

TEST_F(PlanChoice, ContradictoryConditionsMatchNothing) {
  Fill(100);
  using K = TABSScanPlan::Kind;
  const std::vector<std::vector<Term>> cases = {
      {{kA, Op::Greater, 30, "", false}, {kA, Op::Less, 10, "", false}},
      {{kA, Op::Equal, 3, "", false}, {kA, Op::Equal, 4, "", false}},
      {{kA, Op::Greater, 5, "", false}, {kA, Op::LessOrEqual, 5, "", false}},
      {{kB, Op::Equal, 5, "", false}, {kB, Op::Greater, 5, "", false}},
      {{kS, Op::Equal, std::nullopt, "abc", false}, {kS, Op::Less, std::nullopt, "ABC", false}},
      {{kA, Op::GreaterOrEqual, 5, "", false},
       {kA, Op::Greater, 5, "", false},
       {kA, Op::LessOrEqual, 5, "", false}},
      {{kA, Op::LessOrEqual, 5, "", false},
       {kA, Op::Less, 5, "", false},
       {kA, Op::GreaterOrEqual, 5, "", false}},
  };
  for (const auto& terms : cases) EXPECT_EQ(PlanOf(terms).kind, K::kNothing);
  // Equal bounds in other letter case are no contradiction in a case-insensitive column.
  EXPECT_EQ(PlanOf({{kS, Op::GreaterOrEqual, std::nullopt, "abc", false},
                    {kS, Op::LessOrEqual, std::nullopt, "ABC", false}})
                .kind,
            K::kIndexRange);
}

TEST_F(PlanChoice, ConditionsWithoutAnIndexLeaveAFullScan) {
  Fill(100);
  TABSScanSearchConditionArray conditions;
  TABSScanSearchCondition& loose = conditions.Add();
  loose.op = Op::Equal;
  loose.index_id = -1;
  conditions.Add().op = Op::None;
  TABSScanPlanner planner(*table_.table, 0, conditions);
  EXPECT_EQ(planner.Plan().kind, TABSScanPlan::Kind::kFullScan);
}

TEST_F(PlanChoice, UnknownConditionNumberIsRefused) {
  TABSScanSearchConditionArray conditions;
  conditions.Add().op = Op::Less;
  conditions.Add().op = static_cast<Op>(7);
  EXPECT_ENGINE_TEXT(TABSScanPlanner(*table_.table, 0, conditions), 10382,
                     "Invalid condition number = 7, count = 2");
  table_.cursor.scan_conditions = conditions;
  table_.cursor.FilterChanged();
  EXPECT_ENGINE_TEXT(table_.table->NavigateRecord(table_.cursor, TABSNavigateTo::First), 10382,
                     "Invalid condition number = 7, count = 2");
}

TEST(ScanPlannerAutoinc, EqualityOnAnAutoincColumnIsTakenAtOnce) {
  TABSFieldDefs fields;
  AddField(fields, "ID", adtAutoInc);
  AddField(fields, "V", adtInteger);
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "ByID", {"ID"});
  AddIndexDef(indexes, "ByV", {"V"});
  MemoryTable table("Counters", fields, indexes);
  for (int32_t i = 0; i < 50; ++i) {
    table.NewRecord();
    table.SetInt(1, 7);
    table.Post();
  }
  const int32_t by_id = table.table->IndexManager()->IndexDefs().ItemByName("ByID")->ObjectID;
  const int32_t by_v = table.table->IndexManager()->IndexDefs().ItemByName("ByV")->ObjectID;
  table.NewRecord();
  table.SetInt(1, 7);
  const int64_t wanted = 20;
  table.Fields().SetFieldData(0, &wanted, table.buffer.data());
  TABSScanSearchConditionArray conditions;
  for (const int32_t index_id : {by_v, by_id}) {
    const TABSRecordKeyRef& key_ref = RecordIndexOf(*table.table, index_id).KeyRef();
    std::vector<uint8_t> key(static_cast<size_t>(key_ref.FullKeySize()));
    key_ref.BuildFullKey(table.buffer.data(), key.data());
    TABSScanSearchCondition& condition = conditions.Add();
    condition.op = TABSScanOperator::Equal;
    condition.index_id = index_id;
    condition.SetKey(key.data(), static_cast<int32_t>(key.size()));
  }
  TABSScanPlanner planner(*table.table, 0, conditions);
  EXPECT_EQ(planner.Plan().kind, TABSScanPlan::Kind::kIndexRange);
  EXPECT_EQ(planner.Plan().index_id, by_id);
  table.cursor.scan_conditions = conditions;
  table.cursor.FilterChanged();
  EXPECT_EQ(table.table->FilteredRecordCount(table.cursor), 1);
  ASSERT_EQ(table.table->NavigateRecord(table.cursor, TABSNavigateTo::First),
            TABSReadResult::Found);
  EXPECT_EQ(table.GetLarge(0), 20);
}

TEST_F(ScanPlanner, FindKeyFindsTheFirstEqualKeyInTheCursorsOrderAndFilter) {
  Fill(400);
  TABSCursorState& cursor = table_.cursor;
  cursor.index_id = IndexId("BySNoCase");
  std::vector<uint8_t> key(table_.buffer.size());
  for (const char* text : {"ABC", "b", "zzz"}) {
    std::memset(key.data(), 0xFF, static_cast<size_t>(table_.Fields().NullBitmapSize()));
    table_.Fields().SetFieldData(kS, text, key.data());
    for (const bool odd_only : {false, true}) {
      cursor.filter = odd_only ? std::function<bool(const uint8_t*)>(
                                     [&](const uint8_t* record) { return Int(record, kC) % 2; })
                               : nullptr;
      cursor.FilterChanged();
      const std::vector<int32_t> expected = Walk(cursor.index_id, [&](const uint8_t* record) {
        char stored[11] = {};
        return (!odd_only || Int(record, kC) % 2) &&
               table_.Fields().GetFieldData(kS, stored, record) &&
               platform::CompareAnsi(stored, text, true) == 0;
      });
      ASSERT_EQ(table_.table->FindKey(cursor, key.data()), !expected.empty()) << text;
      if (!expected.empty()) {
        EXPECT_EQ(Int(cursor.record_buffer, kU), expected.front()) << text;
      }
    }
  }
}

}  // namespace
}  // namespace tabshift::testing
