#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTreeRecordIndex.h"

namespace tabshift {
namespace {

bool IsStringType(BaseDataType base) {
  return base == bdtChar || base == bdtString || base == bdtBytes || base == bdtWideChar ||
         base == bdtWideString;
}

bool IsWideType(BaseDataType base) {
  return base == bdtWideChar || base == bdtWideString;
}

int CompareIds(const TABSRecordId& left, const TABSRecordId& right) {
  if (left.page_no != right.page_no) return left.page_no < right.page_no ? -1 : 1;
  if (left.item_no != right.item_no) return left.item_no < right.item_no ? -1 : 1;
  return 0;
}

// Restores a column's partial length however a comparison ends.
class PartialLengthScope {
 public:
  PartialLengthScope(TABSRecordKeyRef& key_ref, int32_t column, int32_t chars)
      : key_ref_(key_ref), column_(column) {
    key_ref_.SetPartialLength(column_, chars);
  }
  ~PartialLengthScope() { key_ref_.SetPartialLength(column_, -1); }
  PartialLengthScope(const PartialLengthScope&) = delete;
  PartialLengthScope& operator=(const PartialLengthScope&) = delete;

 private:
  TABSRecordKeyRef& key_ref_;
  int32_t column_;
};

}  // namespace

TABSIndexScanBound TABSBTreeRecordIndex::MakeScanBound(
    const TABSScanSearchCondition& condition) const {
  const int32_t full_size = key_ref_.FullKeySize();
  const int32_t size =
      condition.partial_key_size < 0 ? full_size : std::min(condition.partial_key_size, full_size);
  if (condition.KeySize() < size) {
    throw EABSException(record_index_error::kInvalidParams, "Index error: invalid params");
  }
  TABSIndexScanBound bound;
  bound.op = condition.op;
  bound.full_key.assign(static_cast<size_t>(full_size), 0);
  if (size > 0) std::memcpy(bound.full_key.data(), condition.Key(), static_cast<size_t>(size));
  while (bound.whole_columns < key_ref_.ColumnCount()) {
    const TABSRecordKeyColumn& column = key_ref_.Column(bound.whole_columns);
    const int32_t covered = size - column.full_offset - 1;  // data bytes of this column
    if (covered >= column.full_length) {
      ++bound.whole_columns;
      continue;
    }
    // A leading part of a string counts by characters; of any other value, not at all.
    const int32_t chars = IsWideType(column.base_type) ? covered / 2 : covered;
    if (IsStringType(column.base_type) && chars > 0) bound.partial_chars = chars;
    break;
  }
  return bound;
}

std::unique_ptr<TABSIndexScanState> TABSBTreeRecordIndex::NewScanState(
    TABSScanSearchConditionArray& conditions) const {
  auto state = std::make_unique<TABSIndexScanState>();
  for (int32_t i = 0; i < conditions.Count(); ++i) {
    const TABSScanSearchCondition& condition = conditions.Item(i);
    if (condition.index_id != description_.index_id || condition.op == TABSScanOperator::None) {
      continue;
    }
    state->bounds.push_back(MakeScanBound(condition));
  }
  return state;
}

// Positions the path where a scan in the direction may start for one bound. Without a partial
// column and without truncated prefixes the tree's own seek is exact; otherwise it seeks over
// the whole columns inclusively and the records themselves settle the rest.
bool TABSBTreeRecordIndex::SeekBound(int32_t session, const TABSIndexScanBound& bound, bool forward,
                                     TABSKeyPath& path) {
  if (bound.whole_columns == 0) {
    return forward ? tree_.First(session, path) : tree_.Last(session, path);
  }
  const bool exact = bound.partial_chars < 0 && !key_ref_.HasTruncatedColumns();
  TABSSeekOperator op;
  if (forward) {
    op = exact && bound.op == TABSScanOperator::Greater ? TABSSeekOperator::Greater
                                                        : TABSSeekOperator::GreaterOrEqual;
  } else {
    op = exact && bound.op == TABSScanOperator::Less ? TABSSeekOperator::Less
                                                     : TABSSeekOperator::LessOrEqual;
  }
  std::vector<uint8_t> key(static_cast<size_t>(key_ref_.KeySize()), 0);
  for (int32_t i = 0; i < key_ref_.ColumnCount(); ++i) {
    const TABSRecordKeyColumn& column = key_ref_.Column(i);
    std::memcpy(key.data() + column.stored_offset, bound.full_key.data() + column.full_offset,
                static_cast<size_t>(column.stored_length) + 1);
  }
  return SeekKey(session, key.data(), op, !forward, path, bound.whole_columns);
}

// The furthest start any bound of the scan's direction allows.
bool TABSBTreeRecordIndex::StartScan(int32_t session, const TABSIndexScanState& state, bool forward,
                                     TABSKeyPath& path) {
  bool bounded = false;
  for (const TABSIndexScanBound& bound : state.bounds) {
    if (!(forward ? IsLowerBound(bound.op) : IsUpperBound(bound.op))) continue;
    TABSKeyPath candidate;
    if (!SeekBound(session, bound, forward, candidate)) return false;
    const int order = bounded ? ComparePaths(candidate, path) : 0;
    if (!bounded || (forward ? order > 0 : order < 0)) path = candidate;
    bounded = true;
  }
  if (bounded) return true;
  return forward ? tree_.First(session, path) : tree_.Last(session, path);
}

int TABSBTreeRecordIndex::CompareWithBound(const std::vector<uint8_t>& full_key,
                                           const TABSIndexScanBound& bound, bool partial) {
  if (!partial || bound.partial_chars < 0) {
    return key_ref_.CompareFullKeys(full_key.data(), bound.full_key.data(), bound.whole_columns);
  }
  const PartialLengthScope scope(key_ref_, bound.whole_columns, bound.partial_chars);
  return key_ref_.CompareFullKeys(full_key.data(), bound.full_key.data(), bound.whole_columns + 1);
}

// Records come in key order, so once the whole columns of a record pass a bound on the far
// side, no later record can satisfy it. A leading-part comparison does not follow the key
// order (case and accents weigh less than the letters after them), so it only skips.
TABSBTreeRecordIndex::ScanVerdict TABSBTreeRecordIndex::JudgeScanRecord(
    const std::vector<uint8_t>& record, const TABSIndexScanState& state, bool forward) {
  std::vector<uint8_t> full_key(static_cast<size_t>(key_ref_.FullKeySize()));
  key_ref_.BuildFullKey(record.data(), full_key.data());
  ScanVerdict verdict = ScanVerdict::kInside;
  for (const TABSIndexScanBound& bound : state.bounds) {
    const bool far_side = forward ? IsUpperBound(bound.op) : IsLowerBound(bound.op);
    const int whole = CompareWithBound(full_key, bound, false);
    if (far_side && (forward ? whole > 0 : whole < 0)) return ScanVerdict::kBeyond;
    const bool satisfied = SatisfiesOperator(bound.op, CompareWithBound(full_key, bound, true));
    if (!satisfied && far_side && bound.partial_chars < 0) return ScanVerdict::kBeyond;
    if (!satisfied) verdict = ScanVerdict::kSkip;
  }
  return verdict;
}

// Moves from the entry the scan stopped at to the next one in the direction. When the table
// has changed since, the path is found again; if that entry is gone, the scan goes on from the
// first entry beyond its key and record id.
bool TABSBTreeRecordIndex::StepFromStop(int32_t session, TABSIndexScanState& state, bool forward,
                                        int32_t change_counter) {
  const auto step = [&] {
    return forward ? tree_.Next(session, state.path) : tree_.Prior(session, state.path);
  };
  if (state.change_counter == change_counter ||
      FindRecord(session, state.stop_id, state.stop_record, state.path)) {
    return step();
  }
  const Keys keys = MakeKeys(state.stop_record, nullptr);
  bool found = SeekKey(session, keys.key.data(),
                       forward ? TABSSeekOperator::GreaterOrEqual : TABSSeekOperator::LessOrEqual,
                       !forward, state.path, -1);
  std::vector<uint8_t> other;
  while (found) {
    const TABSRecordId other_id = RecordIdAtPath(session, state.path);
    FetchRecord(session, other_id, other);
    int order = CompareRecordKeys(other, state.stop_record, -1);
    if (order == 0) order = CompareIds(other_id, state.stop_id);
    if (forward ? order > 0 : order < 0) return true;
    found = step();
  }
  return false;
}

bool TABSBTreeRecordIndex::ScanStep(int32_t session, TABSIndexScanState& state, bool forward,
                                    int32_t change_counter, TABSRecordId& id,
                                    std::vector<uint8_t>& record) {
  bool found;
  if (state.positioned) {
    found = StepFromStop(session, state, forward, change_counter);
  } else if (forward ? state.past_end : state.before_start) {
    found = false;
  } else {
    found = StartScan(session, state, forward, state.path);
  }
  while (found) {
    const TABSRecordId current = RecordIdAtPath(session, state.path);
    FetchRecord(session, current, record);
    const ScanVerdict verdict = JudgeScanRecord(record, state, forward);
    state.positioned = true;
    state.past_end = false;
    state.before_start = false;
    state.change_counter = change_counter;
    state.stop_id = current;
    state.stop_record = record;
    if (verdict == ScanVerdict::kInside) {
      id = current;
      return true;
    }
    if (verdict == ScanVerdict::kBeyond) return false;
    found = forward ? tree_.Next(session, state.path) : tree_.Prior(session, state.path);
  }
  // Off the index: a step back in the other direction starts again from that end.
  state.positioned = false;
  state.past_end = forward;
  state.before_start = !forward;
  return false;
}

void TABSBTreeRecordIndex::FillFilterBitmap(
    int32_t session, TABSScanSearchConditionArray& conditions,
    const std::function<bool(const uint8_t* record)>& filter,
    const std::function<int64_t(const TABSRecordId&)>& record_number, TABSRecordBitmap& bitmap,
    int32_t change_counter) {
  bitmap.Bits().SetSize(0);
  std::unique_ptr<TABSIndexScanState> state = NewScanState(conditions);
  TABSRecordId id;
  std::vector<uint8_t> record;
  while (ScanStep(session, *state, true, change_counter, id, record)) {
    bitmap.Mark(record_number(id), !filter || filter(record.data()));
  }
  FreeScanState(state);
  bitmap.MarkFilled(change_counter);
}

}  // namespace tabshift
