// The page manager of temporary tables and temporary indexes: pages of 4096 bytes without a
// header. The first pages live in memory, in an inner memory page manager; once a tenth of the
// available memory is taken by them, further pages go to a temporary "VOZ" file, created on
// first use and deleted with the manager. A memory-only manager never uses a file.
//
// Memory pages keep numbers below the page limit; file pages are numbered from the limit on, in
// the order of their allocation, and sit in the file in that order. File space is not reused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/ABSBitsArray.h"
#include "engine/core/ABSMemPageManager.h"
#include "engine/core/ABSStreams.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {

class TABSTemporaryPageManager : public TABSPageManager {
 public:
  static constexpr uint16_t kPageSize = TABSMemoryPageManager::kPageSize;
  // The allocation bits grow this many at a time.
  static constexpr int32_t kGrowthStep = TABSMemoryPageManager::kGrowthStep;

  // `available_memory` sets the page limit; 0 asks the memory manager.
  explicit TABSTemporaryPageManager(bool memory_only, uint64_t available_memory = 0);
  ~TABSTemporaryPageManager() override;

  // The number of allocated pages, in memory and in the file.
  int32_t GetPageCount() override { return allocated_.SetBitsCount(); }

  bool MemoryOnly() const { return memory_only_; }
  // The number of pages kept in memory before pages go to the file.
  int32_t PageLimit() const { return page_limit_; }
  // The temporary file's name; empty before the first page goes to it.
  std::string FileName() const { return file_ ? file_->FileName() : std::string(); }

 protected:
  void AllocatePageNo(TABSPage& page) override;
  void FreePageNo(int32_t page_no) override;
  bool ReadPage(TABSPage& page) override;
  void WritePage(TABSPage& page) override;

 private:
  class MemoryPages;

  bool IsAllocated(int32_t page_no) const;
  bool IsFilePage(int32_t page_no) const { return !memory_only_ && page_no >= page_limit_; }
  int64_t FileOffset(int32_t page_no) const;
  void AllocateFilePage(TABSPage& page);
  void MarkAllocated(int32_t page_no);

  bool memory_only_;
  int32_t page_limit_;
  std::unique_ptr<MemoryPages> memory_;
  TABSBitsArray allocated_;
  // Pages ever placed in the file; the next file page takes the slot after them.
  int32_t file_pages_ = 0;
  std::unique_ptr<TABSFileStream> file_;
};

}  // namespace tabshift
