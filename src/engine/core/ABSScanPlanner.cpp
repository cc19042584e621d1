#include "engine/core/ABSScanPlanner.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSBTreeTableIndex.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {
namespace {

constexpr int32_t kNotARecordIndex = 20018;

}  // namespace

TABSBTreeRecordIndex& RecordIndexOf(TABSTableData& table, int32_t index_id) {
  auto* index = dynamic_cast<TABSBTreeTableIndex*>(&table.IndexManager()->GetIndex(index_id));
  if (index == nullptr) RaiseEngineError(kNotARecordIndex, "Index not found");
  return index->Tree();
}

TABSIndexConditions::TABSIndexConditions(TABSBTreeRecordIndex& index)
    : index_(index),
      key_ref_(index.Description().columns),
      full_key_(static_cast<size_t>(key_ref_.FullKeySize())) {}

TABSPlannedBound TABSIndexConditions::MakeBound(const TABSScanSearchCondition& condition) const {
  TABSIndexScanBound scan_bound = index_.MakeScanBound(condition);
  TABSPlannedBound bound;
  bound.condition = condition;
  bound.full_key = std::move(scan_bound.full_key);
  bound.whole_columns = scan_bound.whole_columns;
  bound.partial_chars = scan_bound.partial_chars;
  return bound;
}

void TABSIndexConditions::Add(const TABSScanSearchCondition& condition) {
  bounds_.push_back(MakeBound(condition));
}

int TABSIndexConditions::CompareWithBound(const TABSPlannedBound& bound, bool partial) {
  if (!partial || bound.partial_chars < 0) {
    return key_ref_.CompareFullKeys(full_key_.data(), bound.full_key.data(), bound.whole_columns);
  }
  key_ref_.SetPartialLength(bound.whole_columns, bound.partial_chars);
  const int result =
      key_ref_.CompareFullKeys(full_key_.data(), bound.full_key.data(), bound.whole_columns + 1);
  key_ref_.SetPartialLength(bound.whole_columns, -1);
  return result;
}

bool TABSIndexConditions::Passes(const uint8_t* record) {
  key_ref_.BuildFullKey(record, full_key_.data());
  return std::all_of(bounds_.begin(), bounds_.end(), [&](const TABSPlannedBound& bound) {
    return SatisfiesOperator(bound.condition.op, CompareWithBound(bound, true));
  });
}

// Bounds over the same whole columns compare with each other: of the lower ones the greatest
// (exclusive before inclusive on a tie) implies the others, of the upper ones the smallest.
// Bounds over a leading part of a string do not follow the key order and stay as they are.
bool TABSIndexConditions::Merge() {
  std::vector<TABSPlannedBound> merged;
  std::vector<int32_t> widths;
  for (const TABSPlannedBound& bound : bounds_) {
    if (bound.partial_chars >= 0 || bound.whole_columns == 0) {
      merged.push_back(bound);
    } else if (std::find(widths.begin(), widths.end(), bound.whole_columns) == widths.end()) {
      widths.push_back(bound.whole_columns);
    }
  }
  for (const int32_t width : widths) {
    const auto compare = [&](const TABSPlannedBound& left, const TABSPlannedBound& right) {
      return key_ref_.CompareFullKeys(left.full_key.data(), right.full_key.data(), width);
    };
    const TABSPlannedBound* lower = nullptr;
    const TABSPlannedBound* upper = nullptr;
    for (const TABSPlannedBound& bound : bounds_) {
      if (bound.partial_chars >= 0 || bound.whole_columns != width) continue;
      const TABSScanOperator op = bound.condition.op;
      if (IsLowerBound(op)) {
        const int order = lower == nullptr ? 1 : compare(bound, *lower);
        if (order > 0 || (order == 0 && IsExclusiveBound(op))) lower = &bound;
      }
      if (IsUpperBound(op)) {
        const int order = upper == nullptr ? -1 : compare(bound, *upper);
        if (order < 0 || (order == 0 && IsExclusiveBound(op))) upper = &bound;
      }
    }
    if (lower != nullptr && upper != nullptr) {
      const int order = compare(*lower, *upper);
      if (order > 0) return false;
      if (order == 0) {
        if (IsExclusiveBound(lower->condition.op) || IsExclusiveBound(upper->condition.op))
          return false;
        TABSPlannedBound equal = *lower;
        equal.condition.op = TABSScanOperator::Equal;
        merged.push_back(std::move(equal));
        continue;
      }
    }
    if (lower != nullptr) merged.push_back(*lower);
    if (upper != nullptr) merged.push_back(*upper);
  }
  bounds_ = std::move(merged);
  return true;
}

bool TABSIndexConditions::LimitsRange() const {
  return std::any_of(bounds_.begin(), bounds_.end(),
                     [](const TABSPlannedBound& bound) { return bound.whole_columns > 0; });
}

bool TABSIndexConditions::IsSingleRecordLookup(bool autoinc_column) const {
  const TABSIndexDescription& description = index_.Description();
  if (description.columns.size() != 1) return false;
  if (!description.unique && !description.primary && !autoinc_column) return false;
  return std::any_of(bounds_.begin(), bounds_.end(), [](const TABSPlannedBound& bound) {
    return bound.condition.op == TABSScanOperator::Equal && bound.whole_columns == 1 &&
           bound.partial_chars < 0;
  });
}

std::vector<uint8_t> TABSIndexConditions::BoundRecord(const TABSPlannedBound& bound,
                                                      int32_t record_size) const {
  std::vector<uint8_t> record(static_cast<size_t>(record_size), 0);
  for (int32_t i = 0; i < bound.whole_columns; ++i) {
    const TABSRecordKeyColumn& column = key_ref_.Column(i);
    const uint8_t marker = bound.full_key[static_cast<size_t>(column.full_offset)];
    const auto bit = static_cast<uint8_t>(1u << (column.field_no % 8));
    uint8_t& nulls = record[static_cast<size_t>(column.field_no / 8)];
    nulls = marker != 0 ? nulls | bit : nulls & ~bit;
    if (marker == 0) {
      std::memcpy(record.data() + column.buffer_offset,
                  bound.full_key.data() + column.full_offset + 1,
                  static_cast<size_t>(column.full_length));
    }
  }
  return record;
}

// The tree position, as a fraction of all entries, where the records of a lower bound start
// or those of an upper bound end; a bound past every entry sits at 1.
double TABSIndexConditions::Fraction(int32_t session, const TABSPlannedBound* bound, bool upper,
                                     int32_t record_size) {
  if (bound == nullptr) return upper ? 1.0 : 0.0;
  const bool exact = bound->partial_chars < 0;
  const TABSScanOperator op = bound->condition.op;
  TABSSeekOperator seek;
  if (upper) {
    seek = exact && op == TABSScanOperator::Less ? TABSSeekOperator::GreaterOrEqual
                                                 : TABSSeekOperator::Greater;
  } else {
    seek = exact && op == TABSScanOperator::Greater ? TABSSeekOperator::Greater
                                                    : TABSSeekOperator::GreaterOrEqual;
  }
  TABSKeyPath path;
  const bool found = index_.Seek(session, BoundRecord(*bound, record_size), seek, false, path,
                                 bound->whole_columns);
  return found ? TABSBTree::Fraction(path) : 1.0;
}

int64_t TABSIndexConditions::EstimateRange(int32_t session, int32_t record_size,
                                           int64_t record_count) {
  const TABSPlannedBound* lower = nullptr;
  const TABSPlannedBound* upper = nullptr;
  for (const TABSPlannedBound& bound : bounds_) {
    if (bound.whole_columns == 0) continue;
    if (IsLowerBound(bound.condition.op) &&
        (lower == nullptr || bound.whole_columns > lower->whole_columns)) {
      lower = &bound;
    }
    if (IsUpperBound(bound.condition.op) &&
        (upper == nullptr || bound.whole_columns > upper->whole_columns)) {
      upper = &bound;
    }
  }
  const double low = Fraction(session, lower, false, record_size);
  const double high = Fraction(session, upper, true, record_size);
  const int64_t estimate = std::llround((high - low) * static_cast<double>(record_count));
  return std::clamp<int64_t>(estimate, 0, record_count);
}

TABSScanSearchConditionArray TABSIndexConditions::RangeConditions() const {
  TABSScanSearchConditionArray conditions;
  for (const TABSPlannedBound& bound : bounds_) conditions.Add(bound.condition);
  return conditions;
}

TABSScanPlanner::TABSScanPlanner(TABSTableData& table, int32_t session,
                                 const TABSScanSearchConditionArray& conditions)
    : table_(table), session_(session) {
  for (int32_t i = 0; i < conditions.Count(); ++i) {
    const auto op = static_cast<int32_t>(conditions.Item(i).op);
    if (op > static_cast<int32_t>(TABSScanOperator::GreaterOrEqual)) {
      RaiseEngineErrorFmt(scan_planner_error::kInvalidCondition,
                          "Invalid condition number = %d, count = %d", {op, conditions.Count()});
    }
  }
  Group(conditions);
}

TABSScanPlanner::~TABSScanPlanner() = default;

void TABSScanPlanner::Group(const TABSScanSearchConditionArray& conditions) {
  for (int32_t i = 0; i < conditions.Count(); ++i) {
    const TABSScanSearchCondition& condition = conditions.Item(i);
    if (condition.op == TABSScanOperator::None || condition.index_id < 0) continue;
    auto group = std::find_if(groups_.begin(), groups_.end(), [&](const auto& candidate) {
      return candidate->Index().Description().index_id == condition.index_id;
    });
    if (group == groups_.end()) {
      groups_.push_back(
          std::make_unique<TABSIndexConditions>(RecordIndexOf(table_, condition.index_id)));
      group = groups_.end() - 1;
    }
    (*group)->Add(condition);
  }
}

// An index range serves when it promises fewer records than reading every record; a lookup
// of one value of a unique or counter column serves without asking.
void TABSScanPlanner::Choose() {
  planned_ = true;
  for (const auto& group : groups_) {
    if (!group->Merge()) {
      plan_ = {TABSScanPlan::Kind::kNothing, -1, 0};
      return;
    }
  }
  TABSBaseRecordManager& records = *table_.RecordManager();
  const int64_t full_cost = records.RecordCount();
  plan_ = {TABSScanPlan::Kind::kFullScan, -1, full_cost};
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  for (const auto& group : groups_) {
    if (!group->LimitsRange()) continue;
    const TABSIndexDescription& description = group->Index().Description();
    const bool autoinc =
        description.columns.size() == 1 &&
        IsAdvancedAutoincType(fields.Item(description.columns[0].field_no).AdvancedType);
    if (group->IsSingleRecordLookup(autoinc)) {
      plan_ = {TABSScanPlan::Kind::kIndexRange, description.index_id, 1};
      return;
    }
    const int64_t estimate = group->EstimateRange(session_, records.RecordSize(), full_cost);
    if (estimate < plan_.estimate) {
      plan_ = {TABSScanPlan::Kind::kIndexRange, description.index_id, estimate};
    }
  }
}

const TABSScanPlan& TABSScanPlanner::Plan() {
  if (!planned_) Choose();
  return plan_;
}

bool TABSScanPlanner::MeetsConditions(const uint8_t* record) {
  return std::all_of(groups_.begin(), groups_.end(),
                     [&](const auto& group) { return group->Passes(record); });
}

bool TABSScanPlanner::Accept(const Predicate& predicate, const uint8_t* record) {
  return MeetsConditions(record) && (!predicate || predicate(record));
}

void TABSScanPlanner::Run(const Predicate& predicate, const Visitor& visit) {
  switch (Plan().kind) {
    case TABSScanPlan::Kind::kNothing:
      return;
    case TABSScanPlan::Kind::kIndexRange:
      RunIndexRange(predicate, visit);
      return;
    case TABSScanPlan::Kind::kFullScan:
      RunFullScan(predicate, visit);
      return;
  }
}

void TABSScanPlanner::RunIndexRange(const Predicate& predicate, const Visitor& visit) {
  const auto group = std::find_if(groups_.begin(), groups_.end(), [&](const auto& candidate) {
    return candidate->Index().Description().index_id == plan_.index_id;
  });
  TABSBTreeRecordIndex& index = (*group)->Index();
  TABSScanSearchConditionArray range = (*group)->RangeConditions();
  std::unique_ptr<TABSIndexScanState> state = index.NewScanState(range);
  const int32_t change_counter = table_.RecordManager()->ChangeCounter();
  TABSRecordId id;
  std::vector<uint8_t> record;
  while (index.ScanStep(session_, *state, true, change_counter, id, record)) {
    if (Accept(predicate, record.data()) && !visit(id, record.data())) break;
  }
  TABSBTreeRecordIndex::FreeScanState(state);
}

void TABSScanPlanner::RunFullScan(const Predicate& predicate, const Visitor& visit) {
  TABSBaseRecordManager& records = *table_.RecordManager();
  std::vector<uint8_t> record(static_cast<size_t>(records.RecordSize()));
  TABSNavigationRequest request;
  request.direction = TABSReadDirection::Next;
  request.record_buffer = record.data();
  request.at_beginning = true;
  for (;;) {
    records.ReadRecord(session_, request);
    if (request.result != TABSReadResult::Found) return;
    if (Accept(predicate, record.data()) && !visit(request.record_id, record.data())) return;
    request.at_beginning = false;
    request.at_end = false;
  }
}

}  // namespace tabshift
