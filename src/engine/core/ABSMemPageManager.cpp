#include "engine/core/ABSMemPageManager.h"

#include <cstring>

#include "engine/access/ABSExcept.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

constexpr int32_t kAllocatedTwice = 20037;
constexpr int32_t kReadUnallocated = 10392;
constexpr int32_t kWriteUnallocated = 10393;
constexpr std::string_view kNotAllocatedText = "Page allocation not released";
constexpr int32_t kLoadShortRead = 20040;
constexpr int32_t kLoadInvalidState = 20041;
constexpr int32_t kSaveShortWrite = 20042;

}  // namespace

#pragma pack(push, 1)
struct TABSMemoryPageManager::StoredCounts {
  int32_t page_capacity;
  int32_t highest_page_no;
  int32_t growth_step;
  uint16_t page_size;
  uint16_t header_size;
  int32_t allocated_count;
};
#pragma pack(pop)

TABSMemoryPageManager::TABSMemoryPageManager() : TABSPageManager(kPageSize, 0) {}

void TABSMemoryPageManager::AllocatePageNo(TABSPage& page) {
  int32_t page_no = allocated_.FindFirst(false);
  if (page_no < 0) page_no = highest_page_no_ + 1;
  if (page_no >= page_capacity_) GrowTo(page_no);
  if (allocated_.GetBit(page_no)) RaiseEngineError(kAllocatedTwice, kNotAllocatedText);
  page.AllocateBuffer();
  buffers_[static_cast<size_t>(page_no)] = TABSMemoryBlock(kPageSize, true);
  allocated_.SetBit(page_no, true);
  ++allocated_count_;
  if (page_no > highest_page_no_) highest_page_no_ = page_no;
  page.SetPageNo(page_no);
}

void TABSMemoryPageManager::FreePageNo(int32_t page_no) {
  if (!IsAllocated(page_no)) return;
  allocated_.SetBit(page_no, false);
  --allocated_count_;
  // An emptied or shrunk index gives its pages' memory back.
  buffers_[static_cast<size_t>(page_no)].Free();
}

bool TABSMemoryPageManager::ReadPage(TABSPage& page) {
  if (!IsAllocated(page.PageNo())) RaiseEngineError(kReadUnallocated, kNotAllocatedText);
  if (!page.HasBuffer()) page.AllocateBuffer();
  std::memcpy(page.Buffer(), buffers_[static_cast<size_t>(page.PageNo())].data(), kPageSize);
  page.SetReadDuringUse(true);
  return true;
}

void TABSMemoryPageManager::WritePage(TABSPage& page) {
  if (!IsAllocated(page.PageNo())) RaiseEngineError(kWriteUnallocated, kNotAllocatedText);
  std::memcpy(buffers_[static_cast<size_t>(page.PageNo())].data(), page.Buffer(), kPageSize);
}

void TABSMemoryPageManager::SaveToStream(TStream& stream) {
  static_assert(sizeof(StoredCounts) == 20);
  const StoredCounts counts{page_capacity_,  highest_page_no_, kGrowthStep, kPageSize, 0,
                            allocated_count_};
  WriteExactly(stream, &counts, sizeof counts);
  allocated_.SaveToStream(stream);
  const std::vector<uint8_t> unused(kPageSize, 0);
  for (const TABSMemoryBlock& buffer : buffers_) {
    WriteExactly(stream, buffer.empty() ? unused.data() : buffer.data(), kPageSize);
  }
}

void TABSMemoryPageManager::LoadFromStream(TStream& stream) {
  FreeAllPages();
  StoredCounts counts;
  ReadExactly(stream, &counts, sizeof counts);
  TABSBitsArray allocated;
  allocated.LoadFromStream(stream);
  CheckCounts(counts, allocated, stream.Size() - stream.Position());
  std::vector<TABSMemoryBlock> buffers;
  buffers.reserve(static_cast<size_t>(counts.page_capacity));
  std::vector<uint8_t> unused(kPageSize);
  for (int32_t page_no = 0; page_no < counts.page_capacity; ++page_no) {
    if (!allocated.GetBit(page_no)) {
      buffers.emplace_back();
      ReadExactly(stream, unused.data(), kPageSize);
      continue;
    }
    buffers.emplace_back(kPageSize);
    ReadExactly(stream, buffers.back().data(), kPageSize);
  }
  buffers_ = std::move(buffers);
  allocated_ = std::move(allocated);
  page_capacity_ = counts.page_capacity;
  allocated_count_ = counts.allocated_count;
  highest_page_no_ = counts.highest_page_no;
}

void TABSMemoryPageManager::CheckCounts(const StoredCounts& counts, const TABSBitsArray& allocated,
                                        int64_t page_bytes_left) {
  const bool valid = counts.page_size == kPageSize && counts.header_size == 0 &&
                     counts.growth_step > 0 && counts.page_capacity >= 0 &&
                     allocated.Size() == counts.page_capacity && counts.highest_page_no >= -1 &&
                     counts.highest_page_no < counts.page_capacity &&
                     counts.allocated_count == allocated.SetBitsCount() &&
                     allocated.FindPrior(counts.page_capacity, true) <= counts.highest_page_no &&
                     int64_t{counts.page_capacity} * kPageSize <= page_bytes_left;
  if (!valid) {
    RaiseEngineErrorFmt(kLoadInvalidState,
                        "Invalid page manager state. Capacity = %d, Highest page = %d, Allocated "
                        "pages = %d",
                        {counts.page_capacity, counts.highest_page_no, counts.allocated_count});
  }
}

void TABSMemoryPageManager::ReadExactly(TStream& stream, void* buffer, size_t count) {
  const int64_t position = stream.Position();
  const size_t read = stream.Read(buffer, count);
  if (read != count) {
    RaiseEngineErrorFmt(kLoadShortRead,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Read = %d",
                        {position, stream.Size(), count, read});
  }
}

void TABSMemoryPageManager::WriteExactly(TStream& stream, const void* buffer, size_t count) {
  const int64_t position = stream.Position();
  const size_t written = stream.Write(buffer, count);
  if (written != count) {
    RaiseEngineErrorFmt(kSaveShortWrite,
                        "Cannot write to stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Write = %d",
                        {position, stream.Size(), count, written});
  }
}

bool TABSMemoryPageManager::IsAllocated(int32_t page_no) const {
  return page_no >= 0 && page_no < page_capacity_ && allocated_.GetBit(page_no);
}

void TABSMemoryPageManager::GrowTo(int32_t page_no) {
  int32_t capacity = page_capacity_;
  while (capacity <= page_no) capacity += kGrowthStep;
  buffers_.reserve(static_cast<size_t>(capacity));
  // Buffers are taken when a page number is allocated.
  buffers_.resize(static_cast<size_t>(capacity));
  allocated_.SetSize(capacity);
  page_capacity_ = capacity;
}

}  // namespace tabshift
