#include "engine/core/ABSTempPageManager.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "engine/access/ABSExcept.h"

namespace tabshift {

namespace {

constexpr int32_t kReadUnallocated = 10396;
constexpr int32_t kWriteUnallocated = 10397;
constexpr int32_t kWriteFailed = 10398;
constexpr int32_t kNoFile = 30482;
constexpr std::string_view kNotAllocatedText = "Page allocation not released";
// The pages take at most this share of the available memory.
constexpr uint64_t kMemoryShare = 10;

int32_t PageLimitFor(uint64_t available_memory) {
  const uint64_t pages = available_memory / kMemoryShare / TABSTemporaryPageManager::kPageSize;
  return static_cast<int32_t>(std::min<uint64_t>(pages, std::numeric_limits<int32_t>::max()));
}

}  // namespace

// Opens the inner memory manager's page transfers to its owner.
class TABSTemporaryPageManager::MemoryPages : public TABSMemoryPageManager {
 public:
  using TABSMemoryPageManager::AllocatePageNo;
  using TABSMemoryPageManager::FreePageNo;
  using TABSMemoryPageManager::ReadPage;
  using TABSMemoryPageManager::WritePage;
};

TABSTemporaryPageManager::TABSTemporaryPageManager(bool memory_only, uint64_t available_memory)
    : TABSPageManager(kPageSize, 0),
      memory_only_(memory_only),
      page_limit_(PageLimitFor(available_memory != 0 ? available_memory
                                                     : MemoryManager().AvailableMemory())),
      memory_(std::make_unique<MemoryPages>()) {}

TABSTemporaryPageManager::~TABSTemporaryPageManager() = default;

void TABSTemporaryPageManager::AllocatePageNo(TABSPage& page) {
  if (memory_only_ || memory_->GetPageCount() < page_limit_) {
    // The inner manager takes the lowest free number, which stays below the limit here.
    memory_->AllocatePageNo(page);
    MarkAllocated(page.PageNo());
  } else {
    AllocateFilePage(page);
  }
}

void TABSTemporaryPageManager::AllocateFilePage(TABSPage& page) {
  // Past the last page number the page keeps -1, which the caller reports.
  if (file_pages_ >= std::numeric_limits<int32_t>::max() - page_limit_) return;
  if (file_ == nullptr) file_ = TABSFileStream::CreateTemporary();
  // The file grows by half again at a time, so that it is not extended for every page.
  const int64_t pages_needed = int64_t{file_pages_} + 1;
  if (file_->Size() < pages_needed * kPageSize) {
    file_->SetSize((pages_needed * 3 + 1) / 2 * kPageSize);
  }
  page.AllocateBuffer();
  const int32_t page_no = page_limit_ + file_pages_;
  ++file_pages_;
  MarkAllocated(page_no);
  page.SetPageNo(page_no);
}

void TABSTemporaryPageManager::MarkAllocated(int32_t page_no) {
  if (page_no >= allocated_.Size()) {
    const int64_t size = (int64_t{page_no} / kGrowthStep + 1) * kGrowthStep;
    allocated_.SetSize(
        static_cast<int32_t>(std::min<int64_t>(size, std::numeric_limits<int32_t>::max())));
  }
  allocated_.SetBit(page_no, true);
}

void TABSTemporaryPageManager::FreePageNo(int32_t page_no) {
  if (!IsAllocated(page_no)) return;
  allocated_.SetBit(page_no, false);
  if (!IsFilePage(page_no)) memory_->FreePageNo(page_no);
}

bool TABSTemporaryPageManager::ReadPage(TABSPage& page) {
  if (!IsAllocated(page.PageNo())) RaiseEngineError(kReadUnallocated, kNotAllocatedText);
  if (!IsFilePage(page.PageNo())) return memory_->ReadPage(page);
  if (file_ == nullptr) RaiseEngineError(kNoFile, "Invalid pointer");
  if (!page.HasBuffer()) page.AllocateBuffer();
  const int64_t offset = FileOffset(page.PageNo());
  if (file_->Seek(offset, SeekOrigin::Beginning) != offset ||
      file_->Read(page.Buffer(), kPageSize) != kPageSize) {
    return false;
  }
  page.SetReadDuringUse(true);
  return true;
}

void TABSTemporaryPageManager::WritePage(TABSPage& page) {
  if (!IsAllocated(page.PageNo())) RaiseEngineError(kWriteUnallocated, kNotAllocatedText);
  if (!IsFilePage(page.PageNo())) {
    memory_->WritePage(page);
    return;
  }
  const int64_t offset = FileOffset(page.PageNo());
  const int64_t position = file_->Seek(offset, SeekOrigin::Beginning);
  const size_t written = position == offset ? file_->Write(page.Buffer(), kPageSize) : 0;
  if (written != kPageSize) {
    RaiseEngineErrorFmt(kWriteFailed,
                        "Cannot write to stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Write = %d",
                        {offset, file_->Size(), int64_t{kPageSize}, static_cast<int64_t>(written)});
  }
}

bool TABSTemporaryPageManager::IsAllocated(int32_t page_no) const {
  return page_no >= 0 && page_no < allocated_.Size() && allocated_.GetBit(page_no);
}

int64_t TABSTemporaryPageManager::FileOffset(int32_t page_no) const {
  return (int64_t{page_no} - page_limit_) * kPageSize;
}

}  // namespace tabshift
