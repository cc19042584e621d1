#include "engine/core/ABSTempRecordManager.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {

namespace {

constexpr int32_t kInvalidRecordSize = 10124;
constexpr int32_t kWriteFailed = 10125;
constexpr int32_t kInvalidBlockCount = 10126;
constexpr int32_t kReadFailed = 10127;
constexpr int32_t kSeekFailed = 10128;

void SeekTo(TStream& stream, int64_t position) {
  const int64_t landed = stream.Seek(position, SeekOrigin::Beginning);
  if (landed != position) {
    RaiseEngineErrorFmt(kSeekFailed, "Cannot set stream position to %d. Position = %d, Size = %d",
                        {position, landed, stream.Size()});
  }
}

}  // namespace

TABSTemporaryRecordManager::TABSTemporaryRecordManager(int32_t record_size, bool memory_only,
                                                       int32_t growth_step,
                                                       int32_t records_per_block,
                                                       uint64_t available_memory)
    : TABSBaseRecordManager(record_size),
      records_per_block_(std::max(records_per_block, 1)),
      growth_step_(growth_step),
      memory_only_(memory_only) {
  if (record_size == 0) RaiseEngineError(kInvalidRecordSize, "Invalid record size = 0");
  if (available_memory == 0) available_memory = MemoryManager().AvailableMemory();
  in_memory_limit_ = std::max<int64_t>(
      1, static_cast<int64_t>(available_memory / 10 / static_cast<uint64_t>(record_size)));
  block_ =
      TABSMemoryBlock(static_cast<size_t>(records_per_block_) * static_cast<size_t>(record_size));
}

TABSTemporaryRecordManager::~TABSTemporaryRecordManager() {
  MemoryManager().Free(records_);
}

int64_t TABSTemporaryRecordManager::SequenceOf(const TABSRecordId& record_id) {
  return static_cast<int64_t>(static_cast<uint32_t>(record_id.page_no)) |
         static_cast<int64_t>(static_cast<uint16_t>(record_id.item_no)) << 32;
}

TABSRecordId TABSTemporaryRecordManager::IdOf(int64_t sequence) {
  return {static_cast<int32_t>(static_cast<uint32_t>(sequence)),
          static_cast<int16_t>(static_cast<uint16_t>(sequence >> 32))};
}

void TABSTemporaryRecordManager::ClearRecords(int32_t) {
  MemoryManager().Free(records_);
  capacity_ = 0;
  block_records_ = 0;
  record_count_ = 0;
  file_.reset();
  // Emptying is a change: filtered sets made before it must not look current.
  ++change_counter_;
}

void TABSTemporaryRecordManager::WriteBlockBuffer() {
  if (block_records_ == 0) return;
  if (block_records_ > records_per_block_) {
    RaiseEngineErrorFmt(kInvalidBlockCount, "Invalid record count = %d. Limit is %d",
                        {block_records_, records_per_block_});
  }
  SeekTo(*file_, (record_count_ - in_memory_limit_ - block_records_) * record_size_);
  const size_t size = static_cast<size_t>(block_records_) * static_cast<size_t>(record_size_);
  if (file_->Write(block_.data(), size) != size) {
    RaiseEngineError(kWriteFailed, "Error writing to stream");
  }
  block_records_ = 0;
}

bool TABSTemporaryRecordManager::AddRecord(int32_t, const uint8_t* record,
                                           TABSRecordId& record_id) {
  if (record == nullptr) return false;
  const auto size = static_cast<size_t>(record_size_);
  if (record_count_ < capacity_ || memory_only_ || capacity_ < in_memory_limit_) {
    if (record_count_ >= capacity_) {
      int64_t capacity = capacity_ + growth_step_;
      if (!memory_only_) capacity = std::min(capacity, in_memory_limit_);
      MemoryManager().Reallocate(records_, static_cast<size_t>(capacity) * size);
      capacity_ = capacity;
    }
    std::memcpy(records_ + record_count_ * record_size_, record, size);
  } else {
    if (file_ == nullptr) file_ = TABSFileStream::CreateTemporary();
    if (block_records_ == records_per_block_) WriteBlockBuffer();
    std::memcpy(block_.data() + static_cast<size_t>(block_records_) * size, record, size);
    ++block_records_;
  }
  record_id = IdOf(record_count_);
  ++record_count_;
  ++change_counter_;
  return true;
}

void TABSTemporaryRecordManager::ReadStoredRecord(int64_t sequence, uint8_t* record) {
  const auto size = static_cast<size_t>(record_size_);
  if (memory_only_ || sequence < in_memory_limit_) {
    std::memcpy(record, records_ + sequence * record_size_, size);
    return;
  }
  WriteBlockBuffer();
  SeekTo(*file_, (sequence - in_memory_limit_) * record_size_);
  if (file_->Read(record, size) != size) RaiseEngineError(kReadFailed, "Error retrieving record");
}

void TABSTemporaryRecordManager::ReadRecord(int32_t, TABSNavigationRequest& request) {
  int64_t sequence = SequenceOf(request.record_id);
  const bool moving = request.direction != TABSReadDirection::Current;
  if (moving && request.at_beginning) {
    if (request.direction == TABSReadDirection::Prior) {
      request.result = TABSReadResult::Beginning;
      return;
    }
    sequence = 0;
  } else if (moving && request.at_end) {
    if (request.direction == TABSReadDirection::Next) {
      request.result = TABSReadResult::End;
      return;
    }
    sequence = record_count_ - 1;
  } else if (request.direction == TABSReadDirection::Next) {
    ++sequence;
  } else if (request.direction == TABSReadDirection::Prior) {
    --sequence;
  }
  if (sequence >= record_count_) {
    request.result = moving ? TABSReadResult::End : TABSReadResult::NotFound;
    return;
  }
  if (sequence < 0) {
    request.result = moving ? TABSReadResult::Beginning : TABSReadResult::NotFound;
    return;
  }
  if (request.record_buffer != nullptr) ReadStoredRecord(sequence, request.record_buffer);
  request.record_id = IdOf(sequence);
  request.at_beginning = false;
  request.at_end = false;
  request.result = TABSReadResult::Found;
}

int TABSTemporaryRecordManager::CompareRecordIds(const TABSRecordId& left,
                                                 const TABSRecordId& right) const {
  const int64_t a = SequenceOf(left);
  const int64_t b = SequenceOf(right);
  return a == b ? 0 : (a > b ? 1 : -1);
}

int64_t TABSTemporaryRecordManager::EstimateRecordPosition(int32_t, const TABSRecordId& record_id) {
  const int64_t sequence = SequenceOf(record_id);
  return sequence < record_count_ ? sequence + 1 : -1;
}

}  // namespace tabshift
