#include "engine/core/ABSBlockHeaders.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

constexpr int32_t kInvalidBlockNo = 10415;
constexpr size_t kMaxGrowthStep = 10000;

template <typename T>
void Put(uint8_t*& at, T value) {
  std::memcpy(at, &value, sizeof value);
  at += sizeof value;
}

template <typename T>
T Get(const uint8_t*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

}  // namespace

void TABSCompressedStreamBlockHeader::Encode(uint8_t* bytes) const {
  Put(bytes, compressed_size);
  Put(bytes, uncompressed_size);
  Put(bytes, crc32);
  Put(bytes, offset_to_next_header);
}

TABSCompressedStreamBlockHeader TABSCompressedStreamBlockHeader::Decode(const uint8_t* bytes) {
  TABSCompressedStreamBlockHeader header;
  header.compressed_size = Get<int32_t>(bytes);
  header.uncompressed_size = Get<int32_t>(bytes);
  header.crc32 = Get<uint32_t>(bytes);
  header.offset_to_next_header = Get<int64_t>(bytes);
  return header;
}

const TABSCompressedStreamBlockHeadersArray::Entry& TABSCompressedStreamBlockHeadersArray::At(
    int64_t index) const {
  if (index < 0 || index >= Count()) {
    RaiseEngineErrorFmt(kInvalidBlockNo, "Invalid block number - BlockNo = %d, BlockCount = %d",
                        {index, Count()});
  }
  return entries_[static_cast<size_t>(index)];
}

const TABSCompressedStreamBlockHeader& TABSCompressedStreamBlockHeadersArray::Header(
    int64_t index) const {
  return At(index).header;
}

int64_t TABSCompressedStreamBlockHeadersArray::Position(int64_t index) const {
  return At(index).position;
}

void TABSCompressedStreamBlockHeadersArray::Append(const TABSCompressedStreamBlockHeader& header,
                                                   int64_t position) {
  if (entries_.size() == entries_.capacity()) {
    entries_.reserve(entries_.capacity() + growth_step_);
    growth_step_ = std::min(growth_step_ * 2, kMaxGrowthStep);
  }
  entries_.push_back(Entry{header, position});
}

void TABSCompressedStreamBlockHeadersArray::SetItem(int64_t index,
                                                    const TABSCompressedStreamBlockHeader& header,
                                                    int64_t position) {
  At(index);
  entries_[static_cast<size_t>(index)] = Entry{header, position};
}

void TABSCompressedStreamBlockHeadersArray::Truncate(int64_t count) {
  if (count >= 0 && count < Count()) entries_.resize(static_cast<size_t>(count));
}

}  // namespace tabshift
