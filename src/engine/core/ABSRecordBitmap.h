// A cursor's filter bitmap: one bit per record number, set when the record passes the filter,
// with the table's change counter at which it was filled.
#pragma once

#include <cstdint>

#include "engine/core/ABSBitsArray.h"

namespace tabshift {

class TABSRecordBitmap {
 public:
  TABSBitsArray& Bits() { return bits_; }
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  bool Filled() const { return filled_; }
  int32_t Stamp() const { return stamp_; }
  bool IsStale(int32_t change_counter) const { return !filled_ || stamp_ != change_counter; }
  void MarkFilled(int32_t change_counter) {
    filled_ = true;
    stamp_ = change_counter;
  }
  void Invalidate() { filled_ = false; }
  // Marks one record, growing the bitmap to hold its number.
  void Mark(int64_t record_no, bool passes) {
    if (record_no < 0 || record_no > INT32_MAX - 1) return;
    const auto position = static_cast<int32_t>(record_no);
    if (position >= bits_.Size()) bits_.SetSize(position + 1);
    bits_.SetBit(position, passes);
  }
  bool Passes(int64_t record_no) const {
    return record_no >= 0 && record_no < bits_.Size() &&
           bits_.GetBit(static_cast<int32_t>(record_no));
  }

 private:
  TABSBitsArray bits_;
  bool filled_ = false;
  bool active_ = false;
  int32_t stamp_ = 0;
};

}  // namespace tabshift
