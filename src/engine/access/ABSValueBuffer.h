// The bytes of one engine value. Values up to kInlineCapacity bytes (every number, date and
// short text) live inside the object, so the values made on every row of a copy or a
// comparison cost no allocation; longer ones go to the heap.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

namespace tabshift {

class TABSValueBuffer {
 public:
  static constexpr int32_t kInlineCapacity = 48;

  TABSValueBuffer() = default;
  TABSValueBuffer(const TABSValueBuffer& other) { Assign(other.Data(), other.size_); }
  TABSValueBuffer(TABSValueBuffer&& other) noexcept { Take(other); }
  TABSValueBuffer& operator=(const TABSValueBuffer& other) {
    if (this != &other) Assign(other.Data(), other.size_);
    return *this;
  }
  TABSValueBuffer& operator=(TABSValueBuffer&& other) noexcept {
    if (this != &other) {
      delete[] heap_;
      heap_ = nullptr;
      Take(other);
    }
    return *this;
  }
  ~TABSValueBuffer() { delete[] heap_; }

  uint8_t* Data() { return heap_ != nullptr ? heap_ : inline_; }
  const uint8_t* Data() const { return heap_ != nullptr ? heap_ : inline_; }
  int32_t Size() const { return size_; }

  // Makes room for `size` bytes, reusing the storage when it is large enough; the old
  // contents are not kept. Returns the bytes.
  uint8_t* Resize(int32_t size) {
    if (size > capacity_) {
      uint8_t* grown = new uint8_t[static_cast<size_t>(size)];
      delete[] heap_;
      heap_ = grown;
      capacity_ = size;
    }
    size_ = size;
    return Data();
  }
  void Assign(const uint8_t* bytes, int32_t size) {
    if (size > 0) std::memcpy(Resize(size), bytes, static_cast<size_t>(size));
    size_ = size > 0 ? size : 0;
  }
  // Back to no bytes and the inline storage.
  void Release() {
    delete[] heap_;
    heap_ = nullptr;
    capacity_ = kInlineCapacity;
    size_ = 0;
  }

 private:
  void Take(TABSValueBuffer& other) {
    if (other.heap_ != nullptr) {
      heap_ = std::exchange(other.heap_, nullptr);
      capacity_ = std::exchange(other.capacity_, kInlineCapacity);
    } else {
      std::memcpy(inline_, other.inline_, static_cast<size_t>(other.size_));
      capacity_ = kInlineCapacity;
    }
    size_ = std::exchange(other.size_, 0);
  }

  uint8_t* heap_ = nullptr;
  int32_t capacity_ = kInlineCapacity;
  int32_t size_ = 0;
  uint8_t inline_[kInlineCapacity];
};

}  // namespace tabshift
