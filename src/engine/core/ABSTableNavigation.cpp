// Navigation of the table data: moving cursors in their order, through the records that pass
// their filter, locating records and record numbers.
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSFilteredOrder.h"
#include "engine/core/ABSScanPlanner.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {

namespace {

constexpr int32_t kNilRecordManager = 10015;
constexpr int32_t kNilIndexManager = 10016;

}  // namespace

bool TABSTableData::PassesFilter(const TABSCursorState& cursor, const uint8_t* record) {
  if (cursor.filter && !cursor.filter(record)) return false;
  if (cursor.scan_conditions.Count() == 0) return true;
  return TABSScanPlanner(*this, cursor.session, cursor.scan_conditions).MeetsConditions(record);
}

void TABSTableData::MarkInFilterBitmap(TABSCursorState& cursor, const TABSRecordId& record_id,
                                       const uint8_t* record) {
  if (!cursor.filter_bitmap.Active()) return;
  const bool was_current = !cursor.filter_bitmap.IsStale(record_manager_->ChangeCounter() - 1);
  cursor.filter_bitmap.Mark(RecordIdToNumber(record_id),
                            record != nullptr && PassesFilter(cursor, record));
  if (was_current) cursor.filter_bitmap.MarkFilled(record_manager_->ChangeCounter());
}

void TABSTableData::ForgetFilteredOrders() {
  for (TABSCursorState* cursor : cursors_) cursor->FilterChanged();
}

bool TABSTableData::ReadById(int32_t session, const TABSRecordId& id,
                             std::vector<uint8_t>& record) {
  record.resize(static_cast<size_t>(record_manager_->RecordSize()));
  TABSNavigationRequest request;
  request.record_id = id;
  request.record_buffer = record.data();
  record_manager_->ReadRecord(session, request);
  return request.result == TABSReadResult::Found;
}

bool TABSTableData::MoveTo(TABSCursorState& cursor, const TABSRecordId& id) {
  std::vector<uint8_t> record;
  if (!ReadById(cursor.session, id, record)) return false;
  if (cursor.record_buffer != nullptr)
    std::copy(record.begin(), record.end(), cursor.record_buffer);
  cursor.record_id = id;
  cursor.at_beginning = false;
  cursor.at_end = false;
  return true;
}

// The planner visits what it chose; the order then follows the cursor's.
void TABSTableData::FillFilteredOrder(TABSCursorState& cursor, TABSFilteredOrder& order) {
  TABSRecordBitmap& bitmap = cursor.filter_bitmap;
  bitmap.Bits().SetSize(0);
  TABSScanPlanner planner(*this, cursor.session, cursor.scan_conditions);
  planner.Run(cursor.filter, [&](const TABSRecordId& id, const uint8_t* record) {
    const int64_t number = RecordIdToNumber(id);
    bitmap.Mark(number, true);
    order.Add(id, number, record);
    return true;
  });
  order.Sort();
  bitmap.SetActive(true);
  bitmap.MarkFilled(record_manager_->ChangeCounter());
}

// After the cursor's own row changes its bitmap is still current: the records it marks only
// need to be put in order again.
void TABSTableData::OrderFromBitmap(TABSCursorState& cursor, TABSFilteredOrder& order) {
  const TABSBitsArray& bits = cursor.filter_bitmap.Bits();
  std::vector<uint8_t> record;
  for (int32_t number = bits.FindFirst(true); number >= 0; number = bits.FindNext(number, true)) {
    const TABSRecordId id = NumberToRecordId(number);
    if (order.InKeyOrder() && !ReadById(cursor.session, id, record)) continue;
    order.Add(id, number, record.data());
  }
  order.Sort();
}

TABSFilteredOrder& TABSTableData::FilteredOrder(TABSCursorState& cursor) {
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  const int32_t change_counter = record_manager_->ChangeCounter();
  const int64_t record_count = record_manager_->RecordCount();
  if (cursor.filtered_order != nullptr &&
      cursor.filtered_order->IsCurrent(cursor.index_id, change_counter, record_count)) {
    return *cursor.filtered_order;
  }
  const TABSRecordKeyRef* key_ref = nullptr;
  if (cursor.index_id >= 0) {
    if (index_manager_ == nullptr) RaiseEngineError(kNilIndexManager, "Nil pointer occured");
    key_ref = &RecordIndexOf(*this, cursor.index_id).KeyRef();
  }
  auto order =
      std::make_shared<TABSFilteredOrder>(key_ref, cursor.index_id, change_counter, record_count);
  const TABSRecordBitmap& bitmap = cursor.filter_bitmap;
  if (cursor.filtered_order != nullptr && bitmap.Active() && !bitmap.IsStale(change_counter)) {
    OrderFromBitmap(cursor, *order);
  } else {
    FillFilteredOrder(cursor, *order);
  }
  cursor.filtered_order = std::move(order);
  return *cursor.filtered_order;
}

int64_t TABSTableData::CursorPosition(TABSCursorState& cursor, TABSFilteredOrder& order,
                                      bool& exact) {
  std::vector<uint8_t> record;
  // In key order the record's key says where it stands; a record gone has no place there.
  if (order.InKeyOrder() && !ReadById(cursor.session, cursor.record_id, record)) return -1;
  return order.LowerBound(cursor.record_id, RecordIdToNumber(cursor.record_id), record.data(),
                          exact);
}

TABSReadResult TABSTableData::NavigateFiltered(TABSCursorState& cursor, TABSNavigateTo where) {
  TABSFilteredOrder& order = FilteredOrder(cursor);
  const bool forward = where == TABSNavigateTo::First || where == TABSNavigateTo::Next;
  int64_t position;
  if (where == TABSNavigateTo::First || (where == TABSNavigateTo::Next && cursor.at_beginning)) {
    position = 0;
  } else if (where == TABSNavigateTo::Last ||
             (where == TABSNavigateTo::Prior && cursor.at_end && !cursor.at_beginning)) {
    position = order.Count() - 1;
  } else if (cursor.at_beginning || cursor.at_end) {
    position = forward ? order.Count() : -1;
  } else {
    bool exact = false;
    const int64_t here = CursorPosition(cursor, order, exact);
    if (here < 0) return TABSReadResult::NotFound;
    position = forward ? here + (exact ? 1 : 0) : here - 1;
  }
  if (position < 0 || position >= order.Count()) {
    cursor.at_beginning = !forward;
    cursor.at_end = forward;
    return forward ? TABSReadResult::End : TABSReadResult::Beginning;
  }
  if (!MoveTo(cursor, order.At(position))) return TABSReadResult::NotFound;
  order.Remember(position);
  return TABSReadResult::Found;
}

void TABSTableData::ReadInOrder(TABSCursorState& cursor, TABSNavigationRequest& request) {
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  if (cursor.index_id < 0 || request.direction == TABSReadDirection::Current) {
    record_manager_->ReadRecord(cursor.session, request);
    return;
  }
  if (index_manager_ == nullptr) RaiseEngineError(kNilIndexManager, "Nil pointer occured");
  TABSIndex& index = index_manager_->GetIndex(cursor.index_id);
  std::vector<uint8_t> key(static_cast<size_t>(record_manager_->RecordSize()));
  if (!request.at_beginning && !request.at_end) {
    TABSNavigationRequest current;
    current.record_id = request.record_id;
    current.record_buffer = key.data();
    record_manager_->ReadRecord(cursor.session, current);
    if (current.result != TABSReadResult::Found) {
      request.result = TABSReadResult::NotFound;
      return;
    }
  }
  index.ReadRecordId(cursor.session, request, key.data());
  if (request.result != TABSReadResult::Found) return;
  TABSNavigationRequest fetch;
  fetch.record_id = request.record_id;
  fetch.record_buffer = request.record_buffer;
  record_manager_->ReadRecord(cursor.session, fetch);
  request.result = fetch.result;
}

TABSReadResult TABSTableData::NavigateRecord(TABSCursorState& cursor, TABSNavigateTo where) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  if (cursor.HasFilter()) return NavigateFiltered(cursor, where);
  std::vector<uint8_t> record(static_cast<size_t>(record_manager_->RecordSize()));
  TABSNavigationRequest request;
  request.record_buffer = record.data();
  request.record_id = cursor.record_id;
  const bool forward = where == TABSNavigateTo::First || where == TABSNavigateTo::Next;
  request.direction = forward ? TABSReadDirection::Next : TABSReadDirection::Prior;
  request.at_beginning =
      where == TABSNavigateTo::First || (where != TABSNavigateTo::Last && cursor.at_beginning);
  request.at_end =
      where == TABSNavigateTo::Last || (where != TABSNavigateTo::First && cursor.at_end);
  ReadInOrder(cursor, request);
  switch (request.result) {
    case TABSReadResult::Found:
      cursor.record_id = request.record_id;
      cursor.at_beginning = false;
      cursor.at_end = false;
      if (cursor.record_buffer != nullptr) {
        std::copy(record.begin(), record.end(), cursor.record_buffer);
      }
      break;
    case TABSReadResult::Beginning:
      cursor.at_beginning = true;
      cursor.at_end = false;
      break;
    case TABSReadResult::End:
      cursor.at_end = true;
      cursor.at_beginning = false;
      break;
    case TABSReadResult::NotFound:
      break;
  }
  return request.result;
}

bool TABSTableData::LocateRecord(TABSCursorState& cursor,
                                 const std::function<bool(const uint8_t* record)>& matches) {
  return LocateRecord(cursor, TABSScanSearchConditionArray(), matches);
}

// Without conditions of its own the search runs through the cursor's filtered order; with
// them the planner looks for candidates in the cursor's conditions and these together.
bool TABSTableData::LocateRecord(TABSCursorState& cursor,
                                 const TABSScanSearchConditionArray& conditions,
                                 const std::function<bool(const uint8_t* record)>& matches) {
  std::lock_guard guard(DatabaseLock());
  if (record_manager_ == nullptr) RaiseEngineError(kNilRecordManager, "Nil pointer occured");
  if (conditions.Count() == 0 && cursor.HasFilter()) {
    TABSFilteredOrder& order = FilteredOrder(cursor);
    std::vector<uint8_t> record;
    for (int64_t position = 0; position < order.Count(); ++position) {
      if (!ReadById(cursor.session, order.At(position), record)) continue;
      if (!matches || matches(record.data())) {
        order.Remember(position);
        return MoveTo(cursor, order.At(position));
      }
    }
    return false;
  }
  TABSScanSearchConditionArray all = cursor.scan_conditions;
  for (int32_t i = 0; i < conditions.Count(); ++i) all.Add(conditions.Item(i));
  TABSScanPlanner planner(*this, cursor.session, all);
  const TABSRecordKeyRef* key_ref =
      cursor.index_id >= 0 ? &RecordIndexOf(*this, cursor.index_id).KeyRef() : nullptr;
  TABSFilteredOrder found(key_ref, cursor.index_id, 0, 0);
  // When the planner visits in the cursor's order its first find is the answer.
  const TABSScanPlan& plan = planner.Plan();
  const bool in_cursor_order = plan.kind == TABSScanPlan::Kind::kIndexRange
                                   ? plan.index_id == cursor.index_id
                                   : cursor.index_id < 0;
  planner.Run(
      [&](const uint8_t* record) {
        return (!cursor.filter || cursor.filter(record)) && (!matches || matches(record));
      },
      [&](const TABSRecordId& id, const uint8_t* record) {
        found.Add(id, RecordIdToNumber(id), record);
        return !in_cursor_order;
      });
  if (found.Count() == 0) return false;
  found.Sort();
  return MoveTo(cursor, found.At(0));
}

bool TABSTableData::FindKey(TABSCursorState& cursor, const uint8_t* key) {
  std::lock_guard guard(DatabaseLock());
  if (cursor.index_id < 0 || index_manager_ == nullptr) return false;
  const TABSRecordKeyRef& key_ref = RecordIndexOf(*this, cursor.index_id).KeyRef();
  std::vector<uint8_t> full_key(static_cast<size_t>(key_ref.FullKeySize()));
  key_ref.BuildFullKey(key, full_key.data());
  TABSScanSearchConditionArray equal;
  TABSScanSearchCondition& condition = equal.Add();
  condition.op = TABSScanOperator::Equal;
  condition.index_id = cursor.index_id;
  condition.SetKey(full_key.data(), key_ref.FullKeySize());
  return LocateRecord(cursor, equal, nullptr);
}

bool TABSTableData::FindNeighbour(TABSCursorState& cursor, TABSRecordId& found) {
  if (cursor.HasFilter()) {
    TABSFilteredOrder& order = FilteredOrder(cursor);
    bool exact = false;
    const int64_t here = CursorPosition(cursor, order, exact);
    if (here < 0) return false;
    const int64_t next = here + (exact ? 1 : 0);
    if (next < order.Count()) {
      found = order.At(next);
      return true;
    }
    if (here == 0) return false;
    found = order.At(here - 1);
    return true;
  }
  for (const TABSNavigateTo where : {TABSNavigateTo::Next, TABSNavigateTo::Prior}) {
    TABSCursorState probe;
    probe.session = cursor.session;
    probe.index_id = cursor.index_id;
    probe.record_id = cursor.record_id;
    probe.at_beginning = false;
    probe.at_end = false;
    if (NavigateRecord(probe, where) == TABSReadResult::Found) {
      found = probe.record_id;
      return true;
    }
  }
  return false;
}

int64_t TABSTableData::FilteredRecordCount(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (!cursor.HasFilter()) return GetRecordCountUnfiltered(cursor);
  return FilteredOrder(cursor).Count();
}

bool TABSTableData::SetRecNo(TABSCursorState& cursor, int64_t record_no) {
  std::lock_guard guard(DatabaseLock());
  if (!cursor.HasFilter() && cursor.index_id < 0) return SetRecNoUnfiltered(cursor, record_no);
  if (record_no < 1) return false;
  if (!cursor.HasFilter()) {
    if (record_no > record_manager_->RecordCount()) return false;
    TABSRecordId id;
    return RecordIndexOf(*this, cursor.index_id).SetRecNoInOrder(cursor.session, id, record_no) &&
           MoveTo(cursor, id);
  }
  TABSFilteredOrder& order = FilteredOrder(cursor);
  if (record_no > order.Count()) return false;
  if (!MoveTo(cursor, order.At(record_no - 1))) return false;
  order.Remember(record_no - 1);
  return true;
}

int64_t TABSTableData::GetRecNo(TABSCursorState& cursor) {
  std::lock_guard guard(DatabaseLock());
  if (cursor.at_beginning || cursor.at_end) return -1;
  if (!cursor.HasFilter() && cursor.index_id < 0) return GetRecNoUnfiltered(cursor);
  if (!cursor.HasFilter()) {
    std::vector<uint8_t> record;
    if (!ReadById(cursor.session, cursor.record_id, record)) return -1;
    return RecordIndexOf(*this, cursor.index_id)
        .GetRecNoInOrder(cursor.session, cursor.record_id, record);
  }
  TABSFilteredOrder& order = FilteredOrder(cursor);
  bool exact = false;
  const int64_t position = CursorPosition(cursor, order, exact);
  return exact ? position + 1 : -1;
}

}  // namespace tabshift
