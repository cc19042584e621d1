#include "engine/core/ABSScanSearch.h"

#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

constexpr int32_t kInvalidItemNo = 10413;

}  // namespace

TABSScanSearchCondition::TABSScanSearchCondition(const TABSScanSearchCondition& other)
    : op(other.op), index_id(other.index_id), partial_key_size(other.partial_key_size) {
  SetKey(other.Key(), other.KeySize());
}

TABSScanSearchCondition& TABSScanSearchCondition::operator=(const TABSScanSearchCondition& other) {
  if (this == &other) return *this;
  op = other.op;
  index_id = other.index_id;
  partial_key_size = other.partial_key_size;
  SetKey(other.Key(), other.KeySize());
  return *this;
}

void TABSScanSearchCondition::SetKey(const void* key, int32_t size) {
  if (size <= 0) {
    key_.Free();
    return;
  }
  TABSMemoryBlock copy(static_cast<size_t>(size));
  std::memcpy(copy.data(), key, static_cast<size_t>(size));
  key_ = std::move(copy);
}

void TABSScanSearchConditionArray::CheckIndex(int32_t index) const {
  if (index < 0 || index >= Count()) {
    RaiseEngineErrorFmt(kInvalidItemNo, "Invalid item number - ItemNo = %d, ItemCount = %d",
                        {index, Count()});
  }
}

TABSScanSearchConditionArray::TABSScanSearchConditionArray(
    const TABSScanSearchConditionArray& other) {
  for (const auto& item : other.items_) Add(*item);
}

TABSScanSearchConditionArray& TABSScanSearchConditionArray::operator=(
    const TABSScanSearchConditionArray& other) {
  if (this == &other) return *this;
  TABSScanSearchConditionArray copy(other);
  items_ = std::move(copy.items_);
  return *this;
}

TABSScanSearchCondition& TABSScanSearchConditionArray::Item(int32_t index) {
  CheckIndex(index);
  return *items_[static_cast<size_t>(index)];
}

const TABSScanSearchCondition& TABSScanSearchConditionArray::Item(int32_t index) const {
  CheckIndex(index);
  return *items_[static_cast<size_t>(index)];
}

TABSScanSearchCondition& TABSScanSearchConditionArray::Add() {
  items_.push_back(std::make_unique<TABSScanSearchCondition>());
  return *items_.back();
}

TABSScanSearchCondition& TABSScanSearchConditionArray::Add(
    const TABSScanSearchCondition& condition) {
  items_.push_back(std::make_unique<TABSScanSearchCondition>(condition));
  return *items_.back();
}

void TABSScanSearchConditionArray::Delete(int32_t index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
}

}  // namespace tabshift
