#include "engine/core/ABSMemPageManager.h"

#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

constexpr int32_t kAllocatedTwice = 20037;
constexpr int32_t kReadUnallocated = 10392;
constexpr int32_t kWriteUnallocated = 10393;
constexpr std::string_view kNotAllocatedText = "Page allocation not released";

}  // namespace

TABSMemoryPageManager::TABSMemoryPageManager() : TABSPageManager(kPageSize, 0) {}

void TABSMemoryPageManager::AllocatePageNo(TABSPage& page) {
  int32_t page_no = allocated_.FindFirst(false);
  if (page_no < 0) page_no = highest_page_no_ + 1;
  if (page_no >= page_capacity_) GrowTo(page_no);
  if (allocated_.GetBit(page_no)) RaiseEngineError(kAllocatedTwice, kNotAllocatedText);
  page.AllocateBuffer();
  allocated_.SetBit(page_no, true);
  ++allocated_count_;
  if (page_no > highest_page_no_) highest_page_no_ = page_no;
  page.SetPageNo(page_no);
}

void TABSMemoryPageManager::FreePageNo(int32_t page_no) {
  if (!IsAllocated(page_no)) return;
  allocated_.SetBit(page_no, false);
  --allocated_count_;
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

bool TABSMemoryPageManager::IsAllocated(int32_t page_no) const {
  return page_no >= 0 && page_no < page_capacity_ && allocated_.GetBit(page_no);
}

void TABSMemoryPageManager::GrowTo(int32_t page_no) {
  int32_t capacity = page_capacity_;
  while (capacity <= page_no) capacity += kGrowthStep;
  buffers_.reserve(static_cast<size_t>(capacity));
  while (buffers_.size() < static_cast<size_t>(capacity)) buffers_.emplace_back(kPageSize, true);
  allocated_.SetSize(capacity);
  page_capacity_ = capacity;
}

}  // namespace tabshift
