#include "engine/core/ABSMemRecordManager.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemory.h"

namespace tabshift {

namespace {

constexpr int32_t kInvalidRecordSize = 10011;

// For each byte value, the number of 0 bits in it: the live slots of one bitmap byte.
constexpr std::array<uint8_t, 256> kZeroBits = [] {
  std::array<uint8_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    table[value] = static_cast<uint8_t>(8 - std::popcount(value));
  }
  return table;
}();

int64_t BitmapBytes(int64_t slots) {
  return (slots + 7) / 8;
}

}  // namespace

TABSMemoryRecordManager::TABSMemoryRecordManager(int32_t record_size, int32_t growth_step)
    : TABSBaseRecordManager(record_size), growth_step_(growth_step) {
  if (record_size == 0) RaiseEngineError(kInvalidRecordSize, "Invalid record size = 0");
}

TABSMemoryRecordManager::~TABSMemoryRecordManager() {
  MemoryManager().Free(records_);
  MemoryManager().Free(deleted_);
}

bool TABSMemoryRecordManager::IsDeleted(int64_t slot) const {
  return (deleted_[slot / 8] >> (slot % 8) & 1) != 0;
}

void TABSMemoryRecordManager::SetDeleted(int64_t slot, bool deleted) {
  const auto bit = static_cast<uint8_t>(1u << (slot % 8));
  deleted_[slot / 8] = deleted ? deleted_[slot / 8] | bit : deleted_[slot / 8] & ~bit;
}

void TABSMemoryRecordManager::Grow() {
  // Whole growth steps, but at least half the capacity: a copy of every record per step would
  // make appending a million records quadratic.
  const int64_t steps = std::max<int64_t>(1, capacity_ / 2 / growth_step_);
  const int64_t capacity = capacity_ + steps * growth_step_;
  const int64_t old_bytes = BitmapBytes(capacity_);
  // The bitmap first: when the records cannot grow, a longer bitmap does no harm.
  MemoryManager().Reallocate(deleted_, static_cast<size_t>(BitmapBytes(capacity)));
  // Slots never used count as deleted, so that counting live slots can walk whole bytes.
  std::memset(deleted_ + old_bytes, 0xFF, static_cast<size_t>(BitmapBytes(capacity) - old_bytes));
  if (capacity_ % 8 != 0) deleted_[old_bytes - 1] |= static_cast<uint8_t>(0xFF << (capacity_ % 8));
  MemoryManager().Reallocate(records_, static_cast<size_t>(capacity * record_size_));
  capacity_ = capacity;
}

void TABSMemoryRecordManager::ClearRecords(int32_t) {
  MemoryManager().Free(records_);
  MemoryManager().Free(deleted_);
  record_count_ = 0;
  capacity_ = 0;
  lowest_ = 0;
  highest_ = 0;
  never_deleted_ = true;
  // Emptying is a change: filtered sets made before it must not look current.
  ++change_counter_;
}

bool TABSMemoryRecordManager::AddRecord(int32_t, const uint8_t* record, TABSRecordId& record_id) {
  if (record == nullptr) return false;
  const int64_t slot = record_count_ > 0 ? highest_ + 1 : 0;
  if (slot > INT32_MAX) return false;
  if (slot >= capacity_) Grow();
  std::memcpy(Slot(slot), record, static_cast<size_t>(record_size_));
  SetDeleted(slot, false);
  if (record_count_ == 0 || slot < lowest_) lowest_ = slot;
  if (record_count_ == 0 || slot > highest_) highest_ = slot;
  ++record_count_;
  ++change_counter_;
  record_id = {static_cast<int32_t>(slot), 0};
  return true;
}

bool TABSMemoryRecordManager::ReplaceRecord(int32_t, const uint8_t* record,
                                            const TABSRecordId& record_id) {
  if (record == nullptr || !IsLive(record_id.page_no)) return false;
  std::memcpy(Slot(record_id.page_no), record, static_cast<size_t>(record_size_));
  ++change_counter_;
  return true;
}

bool TABSMemoryRecordManager::RemoveRecord(int32_t, TABSRecordId& record_id) {
  const int64_t slot = record_id.page_no;
  if (record_count_ == 0 || !IsLive(slot)) return false;
  SetDeleted(slot, true);
  --record_count_;
  never_deleted_ = false;
  ++change_counter_;
  if (record_count_ == 0) {
    lowest_ = 0;
    highest_ = 0;
    return true;
  }
  if (slot == lowest_) {
    while (IsDeleted(lowest_)) ++lowest_;
  }
  if (slot == highest_) {
    while (IsDeleted(highest_)) --highest_;
    record_id = {static_cast<int32_t>(highest_), 0};
  }
  return true;
}

void TABSMemoryRecordManager::ReadRecord(int32_t, TABSNavigationRequest& request) {
  if (record_count_ == 0) {
    request.result = TABSReadResult::End;
    return;
  }
  int64_t slot = -1;
  if (request.at_beginning && request.direction != TABSReadDirection::Current) {
    if (request.direction == TABSReadDirection::Prior) {
      request.result = TABSReadResult::Beginning;
      return;
    }
    slot = lowest_;
  } else if (request.at_end && request.direction != TABSReadDirection::Current) {
    if (request.direction == TABSReadDirection::Next) {
      request.result = TABSReadResult::End;
      return;
    }
    slot = highest_;
  } else if (request.direction == TABSReadDirection::Current) {
    slot = request.record_id.page_no;
    if (!IsLive(slot)) {
      request.result = TABSReadResult::NotFound;
      return;
    }
  } else if (request.direction == TABSReadDirection::Next) {
    slot = request.record_id.page_no + int64_t{1};
    if (slot < lowest_) slot = lowest_;
    while (slot <= highest_ && slot < capacity_ && IsDeleted(slot)) ++slot;
    if (slot > highest_ || slot >= capacity_) {
      request.result = TABSReadResult::End;
      return;
    }
  } else {
    slot = request.record_id.page_no - int64_t{1};
    if (slot > highest_) slot = highest_;
    while (slot >= lowest_ && slot >= 0 && IsDeleted(slot)) --slot;
    if (slot < lowest_ || slot < 0) {
      request.result = TABSReadResult::Beginning;
      return;
    }
  }
  request.at_beginning = false;
  request.at_end = false;
  request.record_id = {static_cast<int32_t>(slot), 0};
  if (request.record_buffer != nullptr) {
    std::memcpy(request.record_buffer, Slot(slot), static_cast<size_t>(record_size_));
  }
  request.result = TABSReadResult::Found;
}

int TABSMemoryRecordManager::CompareRecordIds(const TABSRecordId& left,
                                              const TABSRecordId& right) const {
  if (left.page_no == right.page_no) return 0;
  return left.page_no > right.page_no ? 1 : -1;
}

int64_t TABSMemoryRecordManager::EstimateRecordPosition(int32_t, const TABSRecordId& record_id) {
  const int64_t slot = record_id.page_no;
  if (record_count_ == 0 || slot < lowest_ || slot > highest_) return -1;
  if (record_count_ == 1 || highest_ == lowest_) return 1;
  return 1 + (slot - lowest_) * (record_count_ - 1) / (highest_ - lowest_);
}

int64_t TABSMemoryRecordManager::SlotOfRecordNo(int64_t record_no) const {
  if (record_no < 1 || record_no > record_count_) return -1;
  if (never_deleted_) return record_no - 1;
  int64_t live = 0;
  for (int64_t byte = 0; byte < BitmapBytes(capacity_); ++byte) {
    const uint8_t bits = deleted_[byte];
    if (live + kZeroBits[bits] < record_no) {
      live += kZeroBits[bits];
      continue;
    }
    for (int bit = 0; bit < 8; ++bit) {
      if ((bits >> bit & 1) == 0 && ++live == record_no) return byte * 8 + bit;
    }
  }
  return -1;
}

int64_t TABSMemoryRecordManager::RecordNoOfSlot(int64_t slot) const {
  if (slot < 0 || slot >= capacity_) return -1;
  if (never_deleted_) return slot + 1;
  int64_t live = 0;
  for (int64_t byte = 0; byte < slot / 8; ++byte) live += kZeroBits[deleted_[byte]];
  const auto low_bits = static_cast<uint8_t>(0xFF >> (7 - slot % 8));
  return live + std::popcount(static_cast<unsigned>(~deleted_[slot / 8] & low_bits));
}

}  // namespace tabshift
