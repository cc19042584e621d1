#include "engine/core/ABSMemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "platform/System.h"

namespace tabshift {
namespace {

// A block of n bytes at p is laid out as
//   p - 9: n (int32)   p - 5: allocation method (0 = process heap)   p - 4: leading guard
//   p + n: trailing guard
// The header is padded to 16 bytes in front so that p keeps the heap's alignment.
constexpr size_t kHeaderSize = 16;
constexpr size_t kTrailerSize = 4;
constexpr ptrdiff_t kSizeOffset = -9;
constexpr ptrdiff_t kMethodOffset = -5;
constexpr ptrdiff_t kLeadingGuardOffset = -4;
constexpr uint8_t kProcessHeap = 0;
constexpr uint32_t kLeadingGuard = 0xACCACCAC;
constexpr uint32_t kTrailingGuard = 0xACCEACCE;

uint32_t Load32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void Store32(uint8_t* at, uint32_t value) {
  std::memcpy(at, &value, sizeof value);
}

bool HasLeadingGuard(const uint8_t* block) {
  const auto size = static_cast<int32_t>(Load32(block + kSizeOffset));
  return Load32(block + kLeadingGuardOffset) == kLeadingGuard &&
         block[kMethodOffset] == kProcessHeap && size > 0;
}

size_t StoredSize(const uint8_t* block) {
  return static_cast<size_t>(Load32(block + kSizeOffset));
}

[[noreturn]] void RaiseOutOfMemory() {
  RaiseEngineErrorFmt(memory_error::kGetMemFailed, "GetMem error: %s", {"Out of memory"});
}

}  // namespace

void TABSMemoryManager::Reserve(size_t size) {
  const auto amount = static_cast<int64_t>(size);
  if (memory_limit_.load(std::memory_order_relaxed) == 0) {
    bytes_in_use_.fetch_add(amount, std::memory_order_relaxed);
    return;
  }
  // Check and count in one step, so that threads racing for the last bytes cannot both pass.
  int64_t in_use = bytes_in_use_.load(std::memory_order_relaxed);
  do {
    const int64_t limit = memory_limit_.load(std::memory_order_relaxed);
    if (limit > 0 && in_use + amount > limit) {
      RaiseEngineErrorFmt(memory_error::kLimitExceeded, "Memory limit exceeded (Limit = %d bytes)",
                          {limit});
    }
  } while (
      !bytes_in_use_.compare_exchange_weak(in_use, in_use + amount, std::memory_order_relaxed));
}

void TABSMemoryManager::Release(size_t size) {
  bytes_in_use_.fetch_sub(static_cast<int64_t>(size), std::memory_order_relaxed);
}

// Counts `size` bytes as taken; refuses a size of 0 and one beyond the largest block.
void TABSMemoryManager::ReserveBlock(size_t size) {
  if (size == 0) RaiseEngineError(memory_error::kZeroSize, "Cannot allocate 0 bytes");
  if (size > kMaxBlockSize) RaiseOutOfMemory();
  Reserve(size);
}

void* TABSMemoryManager::Allocate(size_t size) {
  ReserveBlock(size);
  auto* base = static_cast<uint8_t*>(std::malloc(kHeaderSize + size + kTrailerSize));
  if (base == nullptr) {
    Release(size);
    RaiseOutOfMemory();
  }
  uint8_t* block = base + kHeaderSize;
  Store32(block + kSizeOffset, static_cast<uint32_t>(size));
  block[kMethodOffset] = kProcessHeap;
  Store32(block + kLeadingGuardOffset, kLeadingGuard);
  Store32(block + size, kTrailingGuard);
  return block;
}

void* TABSMemoryManager::AllocateZeroed(size_t size) {
  void* block = Allocate(size);
  std::memset(block, 0, size);
  return block;
}

void TABSMemoryManager::Reallocate(void*& block, size_t size, bool zero_fill_growth) {
  try {
    if (block == nullptr) {
      block = zero_fill_growth ? AllocateZeroed(size) : Allocate(size);
      return;
    }
    auto* old_bytes = static_cast<uint8_t*>(block);
    if (!HasLeadingGuard(old_bytes)) {
      RaiseEngineError(memory_error::kReallocInvalidPointer, "Invalid pointer");
    }
    const size_t old_size = StoredSize(old_bytes);
    const bool overrun = Load32(old_bytes + old_size) != kTrailingGuard;
    // The new size is counted next to the old one, as a copy into a new block would need.
    ReserveBlock(size);
    // The heap may grow the block in place or move its pages without copying them; a moved
    // block must leave no valid guard behind for a stale pointer.
    Store32(old_bytes + kLeadingGuardOffset, 0);
    auto* base = static_cast<uint8_t*>(
        std::realloc(old_bytes - kHeaderSize, kHeaderSize + size + kTrailerSize));
    uint8_t* fresh = base == nullptr ? old_bytes : base + kHeaderSize;
    Store32(fresh + kLeadingGuardOffset, kLeadingGuard);
    if (base == nullptr) {
      Release(size);
      RaiseOutOfMemory();
    }
    Release(old_size);
    Store32(fresh + kSizeOffset, static_cast<uint32_t>(size));
    Store32(fresh + size, kTrailingGuard);
    if (zero_fill_growth && size > old_size) std::memset(fresh + old_size, 0, size - old_size);
    // The caller holds the resized block before an overrun of the old one is reported, so the
    // report loses nothing.
    block = fresh;
    if (overrun) RaiseEngineError(memory_error::kOverrunDetected, "Memory overrun detected");
  } catch (const Exception& error) {
    RaiseEngineErrorFmt(memory_error::kReallocFailed, "ReallocMem error: %s", {error.Message()});
  }
}

void TABSMemoryManager::Free(void*& block) {
  if (block == nullptr) return;
  auto* bytes = static_cast<uint8_t*>(block);
  if (!HasLeadingGuard(bytes))
    RaiseEngineError(memory_error::kFreeInvalidPointer, "Invalid pointer");
  const size_t size = StoredSize(bytes);
  const bool overrun = Load32(bytes + size) != kTrailingGuard;
  Release(size);
  // A stale copy of the pointer must not pass the guard check later.
  Store32(bytes + kLeadingGuardOffset, 0);
  std::free(bytes - kHeaderSize);
  block = nullptr;
  if (overrun) RaiseEngineError(memory_error::kOverrunDetected, "Memory overrun detected");
}

size_t TABSMemoryManager::SizeOf(const void* block) const {
  if (block == nullptr) return 0;
  const auto* bytes = static_cast<const uint8_t*>(block);
  if (!HasLeadingGuard(bytes)) {
    RaiseEngineError(memory_error::kSizeOfInvalidPointer, "Invalid pointer");
  }
  return StoredSize(bytes);
}

uint64_t TABSMemoryManager::AvailableMemory() {
  const uint64_t available = platform::QueryMemoryStatus().available_physical;
  last_available_.store(available, std::memory_order_relaxed);
  const int64_t limit = MemoryLimit();
  if (limit > 0) return std::min(available, static_cast<uint64_t>(limit));
  return available;
}

TABSMemoryManager& MemoryManager() {
  // Never destroyed: objects freed at process exit still return their blocks to it.
  static TABSMemoryManager* const instance = new TABSMemoryManager();
  return *instance;
}

void FreeQuietly(void* block) noexcept {
  try {
    MemoryManager().Free(block);
  } catch (const Exception&) {
    // Freed and counted off already; an overrun reported from a destructor would end the
    // process, and the sanitizer build reports such writes where they happen.
  }
}

TABSMemoryBlock::TABSMemoryBlock(size_t size, bool zeroed)
    : data_(zeroed ? MemoryManager().AllocateZeroed(size) : MemoryManager().Allocate(size)) {}

TABSMemoryBlock TABSMemoryBlock::Adopt(void* block) {
  TABSMemoryBlock owner;
  owner.data_ = block;
  return owner;
}

TABSMemoryBlock::~TABSMemoryBlock() {
  FreeQuietly(data_);
}

TABSMemoryBlock& TABSMemoryBlock::operator=(TABSMemoryBlock&& other) noexcept {
  if (this != &other) {
    FreeQuietly(data_);
    data_ = std::exchange(other.data_, nullptr);
  }
  return *this;
}

void TABSMemoryBlock::Resize(size_t size, bool zero_fill_growth) {
  MemoryManager().Reallocate(data_, size, zero_fill_growth);
}

void TABSMemoryBlock::Free() {
  MemoryManager().Free(data_);
}

}  // namespace tabshift
