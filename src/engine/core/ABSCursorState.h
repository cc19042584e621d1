// What a cursor hands to the table data of its table: its session, record buffer and position,
// its order, filter and filter bitmap, and the modes of its current operation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/core/ABSRecordBitmap.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

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
  TABSRecordBitmap filter_bitmap;
  bool in_transaction = false;
  bool skip_constraints = false;
  // Temporary tables only: keep everything in memory, never in temporary files.
  bool memory_only = false;
  // Set by GetRecordLayout.
  int32_t record_buffer_size = 0;
  int32_t first_field_offset = 0;
};

}  // namespace tabshift
