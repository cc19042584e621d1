#include "engine/core/ABSIntegerArray.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

constexpr int32_t kInvalidItemNo = 10414;

}  // namespace

TABSIntegerArray::TABSIntegerArray(int32_t count, int32_t max_step, int32_t first_step)
    : grow_step_(std::max(first_step, 1)),
      shrink_step_(std::max(first_step, 1)),
      max_step_(std::max(max_step, 1)) {
  SetCount(count);
}

void TABSIntegerArray::CheckIndex(int32_t index) const {
  if (index < 0 || index >= count_) {
    RaiseEngineErrorFmt(kInvalidItemNo, "Invalid item number - ItemNo = %d, ItemCount = %d",
                        {index, count_});
  }
}

void TABSIntegerArray::SetCapacity(int32_t capacity) {
  if (capacity == 0) {
    block_.Free();
  } else {
    block_.Resize(static_cast<size_t>(capacity) * sizeof(int32_t));
  }
  capacity_ = capacity;
}

void TABSIntegerArray::SetCount(int32_t count) {
  count = std::max(count, 0);
  if (count > capacity_) {
    grow_step_ = std::min(grow_step_ * 2, max_step_);
    SetCapacity(std::max(count, capacity_ + grow_step_));
  } else if (count < count_ && capacity_ - count > shrink_step_) {
    shrink_step_ = std::min(shrink_step_ * 2, max_step_);
    SetCapacity(count);
  }
  if (count > count_) {
    std::memset(Items() + count_, 0, static_cast<size_t>(count - count_) * sizeof(int32_t));
  }
  count_ = count;
}

void TABSIntegerArray::Append(int32_t value) {
  SetCount(count_ + 1);
  Items()[count_ - 1] = value;
}

void TABSIntegerArray::Delete(int32_t index) {
  CheckIndex(index);
  int32_t* items = Items();
  std::memmove(items + index, items + index + 1,
               static_cast<size_t>(count_ - index - 1) * sizeof(int32_t));
  SetCount(count_ - 1);
}

int32_t TABSIntegerArray::IndexOf(int32_t value) const {
  const int32_t* items = Data();
  for (int32_t i = 0; i < count_; ++i) {
    if (items[i] == value) return i;
  }
  return -1;
}

bool TABSIntegerArray::Contains(int32_t value) const {
  return IndexOf(value) >= 0;
}

int32_t TABSIntegerArray::Item(int32_t index) const {
  CheckIndex(index);
  return Data()[index];
}

void TABSIntegerArray::SetItem(int32_t index, int32_t value) {
  CheckIndex(index);
  Items()[index] = value;
}

}  // namespace tabshift
