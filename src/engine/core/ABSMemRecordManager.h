// The record store of a memory table: one contiguous array of record buffers with a bitmap of
// deleted slots. A record's id is (slot, 0); slots below the highest live one are not reused.
#pragma once

#include <cstdint>

#include "engine/core/ABSRecordManager.h"

namespace tabshift {

class TABSMemoryRecordManager : public TABSBaseRecordManager {
 public:
  TABSMemoryRecordManager(int32_t record_size, int32_t growth_step);
  ~TABSMemoryRecordManager() override;

  void ClearRecords(int32_t session) override;
  bool AddRecord(int32_t session, const uint8_t* record, TABSRecordId& record_id) override;
  bool ReplaceRecord(int32_t session, const uint8_t* record,
                     const TABSRecordId& record_id) override;
  bool RemoveRecord(int32_t session, TABSRecordId& record_id) override;
  void ReadRecord(int32_t session, TABSNavigationRequest& request) override;
  int CompareRecordIds(const TABSRecordId& left, const TABSRecordId& right) const override;
  int64_t EstimateRecordPosition(int32_t session, const TABSRecordId& record_id) override;

  // The slot of the n-th live record, n from 1 to the record count; -1 outside.
  int64_t SlotOfRecordNo(int64_t record_no) const;
  // Live slots up to and including `slot`.
  int64_t RecordNoOfSlot(int64_t slot) const;

  int64_t Capacity() const { return capacity_; }
  int64_t LowestSlot() const { return lowest_; }
  int64_t HighestSlot() const { return highest_; }
  bool IsDeleted(int64_t slot) const;
  // The stored record buffer of a live slot.
  uint8_t* Slot(int64_t slot) const { return records_ + slot * record_size_; }

 private:
  void Grow();
  void SetDeleted(int64_t slot, bool deleted);
  bool IsLive(int64_t slot) const {
    return slot >= lowest_ && slot <= highest_ && !IsDeleted(slot);
  }

  uint8_t* records_ = nullptr;
  uint8_t* deleted_ = nullptr;
  int64_t capacity_ = 0;
  int32_t growth_step_;
  int64_t lowest_ = 0;
  int64_t highest_ = 0;
  bool never_deleted_ = true;
};

}  // namespace tabshift
