#include "engine/core/ABSBitsArray.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

constexpr int32_t kGetBitOutOfRange = 10394;
constexpr int32_t kSetBitOutOfRange = 10395;
constexpr int32_t kRankOutOfRange = 10429;
constexpr int32_t kSelectOutOfRange = 10430;
constexpr int32_t kLoadShortRead = 10431;
constexpr int32_t kLoadInvalidCounts = 10432;
constexpr int32_t kSaveShortWrite = 10433;

constexpr const char* kInvalidBitNo = "Invalid bit no = %d, number of bits = %d";

size_t ByteCount(int32_t bits) {
  return (static_cast<size_t>(bits) + 7) / 8;
}

uint64_t Load64(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Position of set bit number `index` (from 0) within `byte`.
int32_t SelectInByte(uint8_t byte, int32_t index) {
  for (int32_t bit = 0; bit < 8; ++bit) {
    if ((byte >> bit) & 1) {
      if (index == 0) return bit;
      --index;
    }
  }
  return -1;
}

}  // namespace

void TABSBitsArray::CheckPosition(int32_t position, int32_t code) const {
  if (position < 0 || position >= size_) {
    RaiseEngineErrorFmt(code, kInvalidBitNo, {position, size_});
  }
}

int32_t TABSBitsArray::CountSetBits(size_t byte_count) const {
  int32_t count = 0;
  size_t i = 0;
  for (; i + 8 <= byte_count; i += 8) count += std::popcount(Load64(bytes_.data() + i));
  for (; i < byte_count; ++i) count += std::popcount(bytes_[i]);
  return count;
}

void TABSBitsArray::ClearBitsPastEnd() {
  if (size_ % 8 != 0) bytes_.back() &= static_cast<uint8_t>((1u << (size_ % 8)) - 1);
}

void TABSBitsArray::SetSize(int32_t size) {
  size = std::max(size, 0);
  const bool shrinking = size < size_;
  bytes_.resize(ByteCount(size), 0);
  size_ = size;
  if (shrinking) {
    ClearBitsPastEnd();
    set_count_ = CountSetBits(bytes_.size());
  }
}

bool TABSBitsArray::GetBit(int32_t position) const {
  CheckPosition(position, kGetBitOutOfRange);
  return (bytes_[static_cast<size_t>(position) / 8] >> (position % 8)) & 1;
}

void TABSBitsArray::SetBit(int32_t position, bool value) {
  CheckPosition(position, kSetBitOutOfRange);
  uint8_t& byte = bytes_[static_cast<size_t>(position) / 8];
  const auto mask = static_cast<uint8_t>(1u << (position % 8));
  if (((byte & mask) != 0) == value) return;
  byte ^= mask;
  set_count_ += value ? 1 : -1;
}

void TABSBitsArray::SetAll(bool value) {
  std::fill(bytes_.begin(), bytes_.end(), value ? 0xFF : 0x00);
  if (!bytes_.empty()) ClearBitsPastEnd();
  set_count_ = value ? size_ : 0;
}

int32_t TABSBitsArray::FindNext(int32_t from, bool value) const {
  int32_t position = std::max(from + 1, 0);
  const uint8_t skip = value ? 0x00 : 0xFF;
  while (position < size_) {
    const uint8_t byte = bytes_[static_cast<size_t>(position) / 8];
    if (position % 8 == 0 && byte == skip) {
      position += 8;
      continue;
    }
    if (((byte >> (position % 8)) & 1) == static_cast<int>(value)) return position;
    ++position;
  }
  return -1;
}

int32_t TABSBitsArray::FindPrior(int32_t from, bool value) const {
  int32_t position = std::min(from, size_) - 1;
  const uint8_t skip = value ? 0x00 : 0xFF;
  while (position >= 0) {
    const uint8_t byte = bytes_[static_cast<size_t>(position) / 8];
    if (position % 8 == 7 && byte == skip) {
      position -= 8;
      continue;
    }
    if (((byte >> (position % 8)) & 1) == static_cast<int>(value)) return position;
    --position;
  }
  return -1;
}

int32_t TABSBitsArray::Rank(int32_t position) const {
  CheckPosition(position, kRankOutOfRange);
  if (set_count_ == size_) return position;
  const size_t whole_bytes = static_cast<size_t>(position) / 8;
  const auto partial = static_cast<uint8_t>(bytes_[whole_bytes] & ((1u << (position % 8)) - 1));
  return CountSetBits(whole_bytes) + std::popcount(partial);
}

int32_t TABSBitsArray::Select(int32_t index) const {
  if (index < 0 || index >= set_count_) {
    RaiseEngineErrorFmt(kSelectOutOfRange, kInvalidBitNo, {index, size_});
  }
  if (set_count_ == size_) return index;
  size_t i = 0;
  int32_t left = index;
  for (; i + 8 <= bytes_.size(); i += 8) {
    const int32_t count = std::popcount(Load64(bytes_.data() + i));
    if (left < count) break;
    left -= count;
  }
  for (;; ++i) {
    const int32_t count = std::popcount(bytes_[i]);
    if (left < count) return static_cast<int32_t>(i * 8) + SelectInByte(bytes_[i], left);
    left -= count;
  }
}

void TABSBitsArray::SaveToStream(TStream& stream) const {
  const int32_t counts[2] = {size_, set_count_};
  const size_t written = stream.Write(counts, sizeof counts) +
                         (bytes_.empty() ? 0 : stream.Write(bytes_.data(), bytes_.size()));
  const size_t expected = sizeof counts + bytes_.size();
  if (written != expected) {
    RaiseEngineErrorFmt(kSaveShortWrite,
                        "Cannot write to stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Write = %d",
                        {stream.Position(), stream.Size(), expected, written});
  }
}

void TABSBitsArray::LoadFromStream(TStream& stream) {
  int32_t counts[2] = {0, 0};
  const int64_t start = stream.Position();
  const int64_t available = stream.Size() - start;
  const size_t read = stream.Read(counts, sizeof counts);
  if (read != sizeof counts) {
    RaiseEngineErrorFmt(kLoadShortRead,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Read = %d",
                        {start, stream.Size(), sizeof counts, read});
  }
  const auto [size, set_count] = counts;
  if (size < 0 || set_count < 0 || set_count > size ||
      static_cast<int64_t>(ByteCount(size)) > available - int64_t(sizeof counts)) {
    RaiseEngineErrorFmt(kLoadInvalidCounts, "Invalid bits array. Bits = %d, Set bits = %d",
                        {size, set_count});
  }
  std::vector<uint8_t, TABSAllocator<uint8_t>> bytes(ByteCount(size));
  const size_t got = bytes.empty() ? 0 : stream.Read(bytes.data(), bytes.size());
  if (got != bytes.size()) {
    RaiseEngineErrorFmt(kLoadShortRead,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Read = %d",
                        {stream.Position(), stream.Size(), bytes.size(), got});
  }
  TABSBitsArray loaded;
  loaded.bytes_ = std::move(bytes);
  loaded.size_ = size;
  if (!loaded.bytes_.empty()) loaded.ClearBitsPastEnd();
  loaded.set_count_ = loaded.CountSetBits(loaded.bytes_.size());
  if (loaded.set_count_ != set_count) {
    RaiseEngineErrorFmt(kLoadInvalidCounts, "Invalid bits array. Bits = %d, Set bits = %d",
                        {size, set_count});
  }
  *this = std::move(loaded);
}

}  // namespace tabshift
