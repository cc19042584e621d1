// A growable array of signed 32-bit numbers whose capacity grows and shrinks in steps that
// double up to a maximum, so that long runs of appends or deletes reallocate rarely.
#pragma once

#include <cstdint>

#include "engine/core/ABSMemory.h"

namespace tabshift {

class TABSIntegerArray {
 public:
  explicit TABSIntegerArray(int32_t count = 0, int32_t max_step = 100, int32_t first_step = 10);

  int32_t Count() const { return count_; }
  int32_t Capacity() const { return capacity_; }
  // New items are 0.
  void SetCount(int32_t count);
  void Append(int32_t value);
  // Later items move down.
  void Delete(int32_t index);
  bool Contains(int32_t value) const;
  int32_t IndexOf(int32_t value) const;

  int32_t Item(int32_t index) const;
  void SetItem(int32_t index, int32_t value);
  const int32_t* Data() const { return reinterpret_cast<const int32_t*>(block_.data()); }

 private:
  int32_t* Items() { return reinterpret_cast<int32_t*>(block_.data()); }
  void CheckIndex(int32_t index) const;
  void SetCapacity(int32_t capacity);

  TABSMemoryBlock block_;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  int32_t grow_step_;
  int32_t shrink_step_;
  int32_t max_step_;
};

}  // namespace tabshift
