// The record store of a table: the base every engine derives from, and the navigation request
// through which cursors read records from it.
#pragma once

#include <cstdint>

#include "engine/core/ABSTypes.h"

namespace tabshift {

// Session id that stands for every session of a table.
inline constexpr int32_t kAllSessions = -2;

enum class TABSReadDirection : uint8_t { Current = 0, Next = 1, Prior = 2 };
enum class TABSReadResult : uint8_t { Found = 0, Beginning = 1, End = 2, NotFound = 3 };

struct TABSNavigationRequest {
  TABSReadDirection direction = TABSReadDirection::Current;
  TABSRecordId record_id;  // in: where to start; out: the record found
  uint8_t* record_buffer = nullptr;
  bool at_beginning = false;
  bool at_end = false;
  TABSReadResult result = TABSReadResult::NotFound;
};

class TABSBaseRecordManager {
 public:
  explicit TABSBaseRecordManager(int32_t record_size) : record_size_(record_size) {}
  TABSBaseRecordManager(const TABSBaseRecordManager&) = delete;
  TABSBaseRecordManager& operator=(const TABSBaseRecordManager&) = delete;
  virtual ~TABSBaseRecordManager() = default;

  virtual void ClearRecords(int32_t session) = 0;
  virtual bool AddRecord(int32_t session, const uint8_t* record, TABSRecordId& record_id) = 0;
  virtual bool ReplaceRecord(int32_t session, const uint8_t* record,
                             const TABSRecordId& record_id) = 0;
  virtual bool RemoveRecord(int32_t session, TABSRecordId& record_id) = 0;
  virtual void ReadRecord(int32_t session, TABSNavigationRequest& request) = 0;
  // 0 equal, 1 when the first is greater, -1 when it is smaller.
  virtual int CompareRecordIds(const TABSRecordId& left, const TABSRecordId& right) const = 0;
  // Approximate 1-based position; -1 when unknown.
  virtual int64_t EstimateRecordPosition(int32_t session, const TABSRecordId& record_id) = 0;

  int64_t RecordCount() const { return record_count_; }
  int32_t ChangeCounter() const { return change_counter_; }
  int32_t RecordSize() const { return record_size_; }

 protected:
  int64_t record_count_ = 0;
  int32_t change_counter_ = 0;
  int32_t record_size_;
};

}  // namespace tabshift
