// The engine memory manager: every buffer of the storage engine comes from here. Each block
// carries its size and two guards, so that a block knows its own size, a pointer that did not
// come from the manager is refused, and a write past the end is found when the block is freed.
// The manager counts the bytes in use and can enforce a memory limit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

namespace tabshift {

// Native error codes of the memory manager.
namespace memory_error {
inline constexpr int32_t kFreeInvalidPointer = 30001;     // "Invalid pointer"
inline constexpr int32_t kReallocInvalidPointer = 30002;  // "Invalid pointer"
inline constexpr int32_t kLimitExceeded = 30004;          // "Memory limit exceeded (Limit = ..."
inline constexpr int32_t kSizeOfInvalidPointer = 30005;   // "Invalid pointer"
inline constexpr int32_t kReallocFailed = 30014;          // "ReallocMem error: %s"
inline constexpr int32_t kGetMemFailed = 30015;           // "GetMem error: %s"
inline constexpr int32_t kOverrunDetected = 30137;        // "Memory overrun detected"
inline constexpr int32_t kZeroSize = 30286;               // "Cannot allocate 0 bytes"
}  // namespace memory_error

class TABSMemoryManager {
 public:
  // Largest block the manager hands out: the size is kept as a signed 32-bit number.
  static constexpr size_t kMaxBlockSize = std::numeric_limits<int32_t>::max() - 64;

  TABSMemoryManager() = default;
  TABSMemoryManager(const TABSMemoryManager&) = delete;
  TABSMemoryManager& operator=(const TABSMemoryManager&) = delete;

  // A block of `size` bytes with undefined contents, aligned for any type.
  void* Allocate(size_t size);
  void* AllocateZeroed(size_t size);
  // Replaces `block` by a block of `size` bytes holding the first min(old, size) bytes, with
  // the growth zero-filled when asked; a null `block` is allocated afresh. Every failure is
  // reported as "ReallocMem error: <reason>" and leaves `block` valid.
  void Reallocate(void*& block, size_t size, bool zero_fill_growth = false);
  // Returns the block to the heap and sets `block` to null; null is accepted. A block whose
  // trailing guard was overwritten is freed and counted off all the same, then reported.
  void Free(void*& block);
  // The size asked for when the block was allocated; 0 for null.
  size_t SizeOf(const void* block) const;

  template <typename T>
  T* AllocateArray(size_t count, bool zeroed = false) {
    const size_t size = count * sizeof(T);
    return static_cast<T*>(zeroed ? AllocateZeroed(size) : Allocate(size));
  }
  // Typed forms; like the untyped ones they update `block` also when they fail.
  template <typename T>
  void Reallocate(T*& block, size_t size, bool zero_fill_growth = false) {
    UpdatingTyped(block, [&](void*& raw) { Reallocate(raw, size, zero_fill_growth); });
  }
  template <typename T>
  void Free(T*& block) {
    UpdatingTyped(block, [&](void*& raw) { Free(raw); });
  }

  int64_t BytesInUse() const { return bytes_in_use_.load(std::memory_order_relaxed); }
  // 0 means no limit.
  int64_t MemoryLimit() const { return memory_limit_.load(std::memory_order_relaxed); }
  void SetMemoryLimit(int64_t limit) { memory_limit_.store(limit, std::memory_order_relaxed); }

  // Available physical memory, or the limit when one is set and it is smaller.
  uint64_t AvailableMemory();
  uint64_t LastAvailableMemory() const { return last_available_.load(std::memory_order_relaxed); }

 private:
  template <typename T, typename Operation>
  static void UpdatingTyped(T*& block, Operation operation) {
    void* raw = const_cast<void*>(static_cast<const void*>(block));
    try {
      operation(raw);
    } catch (...) {
      block = static_cast<T*>(raw);
      throw;
    }
    block = static_cast<T*>(raw);
  }
  void Reserve(size_t size);
  void ReserveBlock(size_t size);
  void Release(size_t size);

  std::atomic<int64_t> memory_limit_{0};
  std::atomic<int64_t> bytes_in_use_{0};
  std::atomic<uint64_t> last_available_{0};
};

// The process-wide manager, alive for the whole run.
TABSMemoryManager& MemoryManager();

// Owns one block of the process-wide manager and frees it when destroyed. Free() reports an
// overrun; the destructor, which may run while an error unwinds, frees without reporting.
class TABSMemoryBlock {
 public:
  TABSMemoryBlock() = default;
  explicit TABSMemoryBlock(size_t size, bool zeroed = false);
  // Takes over a block of the process-wide manager.
  static TABSMemoryBlock Adopt(void* block);
  ~TABSMemoryBlock();
  TABSMemoryBlock(TABSMemoryBlock&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
  TABSMemoryBlock& operator=(TABSMemoryBlock&& other) noexcept;
  TABSMemoryBlock(const TABSMemoryBlock&) = delete;
  TABSMemoryBlock& operator=(const TABSMemoryBlock&) = delete;

  uint8_t* data() const { return static_cast<uint8_t*>(data_); }
  size_t size() const { return MemoryManager().SizeOf(data_); }
  bool empty() const { return data_ == nullptr; }
  void Resize(size_t size, bool zero_fill_growth = false);
  void Free();
  // Hands the block to the caller, who must free it through the manager.
  void* Release() { return std::exchange(data_, nullptr); }

 private:
  void* data_ = nullptr;
};

// Lets standard containers take their storage from the process-wide manager.
template <typename T>
class TABSAllocator {
 public:
  using value_type = T;

  TABSAllocator() noexcept = default;
  template <typename U>
  TABSAllocator(const TABSAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(size_t count) {
    if (count > TABSMemoryManager::kMaxBlockSize / sizeof(T)) throw std::bad_array_new_length();
    return MemoryManager().AllocateArray<T>(count == 0 ? 1 : count);
  }
  void deallocate(T* block, size_t) noexcept;

  template <typename U>
  bool operator==(const TABSAllocator<U>&) const noexcept {
    return true;
  }
};

// Frees without reporting an overrun: for destructors and other paths that must not throw.
void FreeQuietly(void* block) noexcept;

template <typename T>
void TABSAllocator<T>::deallocate(T* block, size_t) noexcept {
  FreeQuietly(block);
}

}  // namespace tabshift
