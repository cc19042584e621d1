// The state of a range scan over a record index, for filtered navigation. The range comes from
// scan conditions whose keys are full keys of the index (laid out as
// TABSRecordKeyRef::BuildFullKey lays them out); the operators refer to the index's own order,
// so "greater" on a descending column means further on in the index.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSScanSearch.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

// One condition as the scan compares with it: the bound's full key, how many leading columns
// take part whole, and how many characters of the string column after them (-1: none).
struct TABSIndexScanBound {
  TABSScanOperator op = TABSScanOperator::None;
  std::vector<uint8_t> full_key;
  int32_t whole_columns = 0;
  int32_t partial_chars = -1;
};

// A fresh state stands before the first record of the range for a forward step and after the
// last one for a backward step. The path holds only while the table's change counter is the
// one it was taken at; after a change the scan finds its place again from the entry it stopped
// at, which it keeps for that.
struct TABSIndexScanState {
  std::vector<TABSIndexScanBound> bounds;
  TABSKeyPath path;
  int32_t change_counter = 0;
  TABSRecordId stop_id;
  std::vector<uint8_t> stop_record;
  bool positioned = false;    // the path holds the entry the last step stopped at
  bool past_end = false;      // the last step ran off the end of the index
  bool before_start = false;  // the last step ran off its start
};

}  // namespace tabshift
