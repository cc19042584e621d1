// The page manager of the memory engine: the pages of a memory table's indexes live in RAM,
// one buffer per allocated page number, zero-filled when the number is allocated and given
// back when it is freed. Pages have no
// header. A fetched page works on its own copy of the stored page, so that a session's
// uncommitted changes stay out of the store until it commits and vanish when it rolls back.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSBitsArray.h"
#include "engine/core/ABSMemory.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {

class TABSMemoryPageManager : public TABSPageManager {
 public:
  static constexpr uint16_t kPageSize = 4096;
  // Page numbers and stored buffers are added this many at a time.
  static constexpr int32_t kGrowthStep = 50;

  TABSMemoryPageManager();

  // The number of allocated pages.
  int32_t GetPageCount() override { return allocated_count_; }
  // Stored form: page capacity (int32), highest page number (int32), growth step (int32), page
  // size (uint16), header size (uint16), allocated pages (int32), the allocation bits, then
  // every stored page. Only committed contents are saved; loading needs a manager without
  // uncommitted changes and checks every count before taking memory.
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  int32_t PageCapacity() const { return page_capacity_; }
  int32_t HighestPageNo() const { return highest_page_no_; }

 protected:
  void AllocatePageNo(TABSPage& page) override;
  void FreePageNo(int32_t page_no) override;
  bool ReadPage(TABSPage& page) override;
  void WritePage(TABSPage& page) override;

 private:
  struct StoredCounts;

  bool IsAllocated(int32_t page_no) const;
  static void ReadExactly(TStream& stream, void* buffer, size_t count);
  static void WriteExactly(TStream& stream, const void* buffer, size_t count);
  static void CheckCounts(const StoredCounts& counts, const TABSBitsArray& allocated,
                          int64_t page_bytes_left);
  void GrowTo(int32_t page_no);

  std::vector<TABSMemoryBlock> buffers_;
  TABSBitsArray allocated_;
  int32_t page_capacity_ = 0;
  int32_t allocated_count_ = 0;
  int32_t highest_page_no_ = -1;
};

}  // namespace tabshift
