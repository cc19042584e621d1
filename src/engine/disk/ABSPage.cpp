#include "engine/disk/ABSPage.h"

#include <bit>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {
namespace {

static_assert(std::endian::native == std::endian::little, "page headers are little-endian");

template <typename T>
T ReadField(const uint8_t* buffer, size_t offset) {
  T value;
  std::memcpy(&value, buffer + offset, sizeof(T));
  return value;
}

template <typename T>
void WriteField(uint8_t* buffer, size_t offset, T value) {
  std::memcpy(buffer + offset, &value, sizeof(T));
}

}  // namespace

void TABSPage::AllocateBuffer() {
  owned_ = TABSMemoryBlock(manager_.PageSize(), true);
  buffer_ = owned_.data();
  buffer_size_ = manager_.PageSize();
}

void TABSPage::LendBuffer(uint8_t* buffer) {
  owned_.Free();
  buffer_ = buffer;
  buffer_size_ = manager_.PageSize();
}

uint8_t* TABSPage::Data() const {
  return buffer_ + manager_.PageHeaderSize();
}

void TABSPage::Enlarge(size_t size) {
  if (buffer_ == nullptr) {
    RaiseEngineError(page_error::kEnlargeWithoutBuffer, "Invalid page buffer. Buffer is Nil");
  }
  if (size < manager_.PageSize()) {
    RaiseEngineError(page_error::kEnlargeBelowPageSize, "Invalid page modification");
  }
  if (OwnsBuffer()) {
    owned_.Resize(size, true);
  } else {
    TABSMemoryBlock copy(size, true);
    std::memcpy(copy.data(), buffer_, buffer_size_);
    owned_ = std::move(copy);
  }
  buffer_ = owned_.data();
  buffer_size_ = size;
}

uint16_t TABSPage::PageType() const {
  return ReadField<uint16_t>(buffer_, page_header::kPageTypeOffset);
}

void TABSPage::SetPageType(uint16_t page_type) {
  WriteField(buffer_, page_header::kPageTypeOffset, page_type);
}

int32_t TABSPage::WriteCounter() const {
  return ReadField<int32_t>(buffer_, page_header::kWriteCounterOffset);
}

void TABSPage::SetWriteCounter(int32_t counter) {
  WriteField(buffer_, page_header::kWriteCounterOffset, counter);
}

bool TABSPage::FreshnessStamp(int32_t session, int32_t& stamp) const {
  const size_t index = static_cast<size_t>(session + 2);
  if (!IsValidSessionId(session) || index >= freshness_.size() || !freshness_[index].valid) {
    return false;
  }
  stamp = freshness_[index].stamp;
  return true;
}

void TABSPage::SetFreshnessStamp(int32_t session, int32_t stamp) {
  if (!IsValidSessionId(session)) {
    RaiseEngineError(page_error::kInvalidSessionId, "Invalid Session ID");
  }
  const size_t index = static_cast<size_t>(session + 2);
  if (index >= freshness_.size()) freshness_.resize(index + 1);
  freshness_[index] = Freshness{stamp, true};
}

void TABSPage::InvalidateFreshness(int32_t session) {
  const size_t index = static_cast<size_t>(session + 2);
  if (IsValidSessionId(session) && index < freshness_.size()) freshness_[index].valid = false;
}

}  // namespace tabshift
