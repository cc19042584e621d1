// The record store of a temporary table: records are only appended, kept in memory up to a
// tenth of the available memory and continued in a temporary file beyond it. A record's id
// is its sequence number from 0 in 48 bits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/ABSMemory.h"
#include "engine/core/ABSRecordManager.h"
#include "engine/core/ABSStreams.h"

namespace tabshift {

class TABSTemporaryRecordManager : public TABSBaseRecordManager {
 public:
  // `available_memory` sets the in-memory limit; 0 asks the memory manager.
  TABSTemporaryRecordManager(int32_t record_size, bool memory_only, int32_t growth_step,
                             int32_t records_per_block, uint64_t available_memory = 0);
  ~TABSTemporaryRecordManager() override;

  void ClearRecords(int32_t session) override;
  bool AddRecord(int32_t session, const uint8_t* record, TABSRecordId& record_id) override;
  bool ReplaceRecord(int32_t, const uint8_t*, const TABSRecordId&) override { return false; }
  bool RemoveRecord(int32_t, TABSRecordId&) override { return false; }
  void ReadRecord(int32_t session, TABSNavigationRequest& request) override;
  int CompareRecordIds(const TABSRecordId& left, const TABSRecordId& right) const override;
  int64_t EstimateRecordPosition(int32_t session, const TABSRecordId& record_id) override;

  static int64_t SequenceOf(const TABSRecordId& record_id);
  static TABSRecordId IdOf(int64_t sequence);

  int64_t InMemoryLimit() const { return in_memory_limit_; }
  // The spill file's name; empty before the first record goes to it.
  std::string FileName() const { return file_ ? file_->FileName() : std::string(); }

 private:
  void WriteBlockBuffer();
  void ReadStoredRecord(int64_t sequence, uint8_t* record);

  int32_t records_per_block_;
  TABSMemoryBlock block_;
  int32_t block_records_ = 0;
  int64_t in_memory_limit_;
  uint8_t* records_ = nullptr;
  int64_t capacity_ = 0;
  int32_t growth_step_;
  bool memory_only_;
  std::unique_ptr<TABSFileStream> file_;
};

}  // namespace tabshift
