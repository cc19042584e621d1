// The range conditions into which the scan planner splits a filter: each names an index, a
// comparison operator and the key to compare with.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/ABSMemory.h"

namespace tabshift {

enum class TABSScanOperator : uint8_t {
  None = 0,
  Equal = 1,
  Less = 2,
  Greater = 3,
  LessOrEqual = 4,
  GreaterOrEqual = 5,
};

// "=" is both a lower and an upper bound.
constexpr bool IsLowerBound(TABSScanOperator op) {
  return op == TABSScanOperator::Equal || op == TABSScanOperator::Greater ||
         op == TABSScanOperator::GreaterOrEqual;
}
constexpr bool IsUpperBound(TABSScanOperator op) {
  return op == TABSScanOperator::Equal || op == TABSScanOperator::Less ||
         op == TABSScanOperator::LessOrEqual;
}
constexpr bool IsExclusiveBound(TABSScanOperator op) {
  return op == TABSScanOperator::Greater || op == TABSScanOperator::Less;
}
// Whether a value comparing `result` with a condition's key satisfies its operator.
constexpr bool SatisfiesOperator(TABSScanOperator op, int result) {
  switch (op) {
    case TABSScanOperator::Equal:
      return result == 0;
    case TABSScanOperator::Less:
      return result < 0;
    case TABSScanOperator::Greater:
      return result > 0;
    case TABSScanOperator::LessOrEqual:
      return result <= 0;
    case TABSScanOperator::GreaterOrEqual:
      return result >= 0;
    case TABSScanOperator::None:
      break;
  }
  return true;
}

// Copies hold copies of the key.
class TABSScanSearchCondition {
 public:
  TABSScanSearchCondition() = default;
  TABSScanSearchCondition(const TABSScanSearchCondition& other);
  TABSScanSearchCondition& operator=(const TABSScanSearchCondition& other);
  TABSScanSearchCondition(TABSScanSearchCondition&&) noexcept = default;
  TABSScanSearchCondition& operator=(TABSScanSearchCondition&&) noexcept = default;
  ~TABSScanSearchCondition() = default;

  TABSScanOperator op = TABSScanOperator::None;
  int32_t index_id = -1;  // -1: no index
  // Number of leading key bytes that take part in the comparison (-1: the whole key).
  int32_t partial_key_size = -1;

  const uint8_t* Key() const { return key_.data(); }
  int32_t KeySize() const { return key_.empty() ? 0 : static_cast<int32_t>(key_.size()); }
  // Copies the key into a buffer of the condition's own.
  void SetKey(const void* key, int32_t size);

 private:
  TABSMemoryBlock key_;
};

// Copies are deep.
class TABSScanSearchConditionArray {
 public:
  TABSScanSearchConditionArray() = default;
  TABSScanSearchConditionArray(const TABSScanSearchConditionArray& other);
  TABSScanSearchConditionArray& operator=(const TABSScanSearchConditionArray& other);
  TABSScanSearchConditionArray(TABSScanSearchConditionArray&&) noexcept = default;
  TABSScanSearchConditionArray& operator=(TABSScanSearchConditionArray&&) noexcept = default;
  ~TABSScanSearchConditionArray() = default;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TABSScanSearchCondition& Item(int32_t index);
  const TABSScanSearchCondition& Item(int32_t index) const;
  TABSScanSearchCondition& Add();
  // Appends a copy.
  TABSScanSearchCondition& Add(const TABSScanSearchCondition& condition);
  void Delete(int32_t index);
  void Clear() { items_.clear(); }

 private:
  void CheckIndex(int32_t index) const;

  std::vector<std::unique_ptr<TABSScanSearchCondition>> items_;
};

}  // namespace tabshift
