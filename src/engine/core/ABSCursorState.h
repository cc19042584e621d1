// What a cursor hands to the table data of its table: its session, record buffer and position,
// its order, filter and filter bitmap, and the modes of its current operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/ABSRecordBitmap.h"
#include "engine/core/ABSScanSearch.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSFilteredOrder;

struct TABSCursorState {
  int32_t session = 0;
  std::string table_name;
  uint8_t* record_buffer = nullptr;
  TABSRecordId record_id;
  bool at_beginning = true;
  bool at_end = false;
  // ObjectID of the index that gives the order; -1 for the natural order of the store.
  int32_t index_id = -1;
  // Records that fail it are skipped by navigation; none means every record passes.
  std::function<bool(const uint8_t* record)> filter;
  // Range conditions on the table's indexes that every record of the filter satisfies; a
  // record passes only when it meets them as well as `filter`. They let the table visit an
  // index range instead of every record.
  TABSScanSearchConditionArray scan_conditions;
  // Set by the table data when it fills it: the records that pass, by record number.
  TABSRecordBitmap filter_bitmap;
  // The records that pass, in the cursor's order, as the table data last found them; it is
  // found again when the table, the order or the filter changed.
  std::shared_ptr<TABSFilteredOrder> filtered_order;
  bool in_transaction = false;
  bool skip_constraints = false;
  // Temporary tables only: keep everything in memory, never in temporary files.
  bool memory_only = false;
  // Set by GetRecordLayout.
  int32_t record_buffer_size = 0;
  int32_t first_field_offset = 0;

  bool HasFilter() const { return static_cast<bool>(filter) || scan_conditions.Count() > 0; }
  // To be called after `filter` or `scan_conditions` changed: forgets what was found for the
  // old ones.
  void FilterChanged() {
    filter_bitmap.Invalidate();
    filtered_order.reset();
  }
};

}  // namespace tabshift
