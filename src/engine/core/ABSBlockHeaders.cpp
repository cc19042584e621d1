#include "engine/core/ABSBlockHeaders.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "framework/LittleEndian.h"

namespace tabshift {
namespace {

constexpr int32_t kInvalidBlockNo = 10415;
constexpr size_t kMaxGrowthStep = 10000;

}  // namespace

void TABSCompressedStreamBlockHeader::Encode(uint8_t* bytes) const {
  PutLE(bytes, compressed_size);
  PutLE(bytes, uncompressed_size);
  PutLE(bytes, crc32);
  PutLE(bytes, offset_to_next_header);
}

TABSCompressedStreamBlockHeader TABSCompressedStreamBlockHeader::Decode(const uint8_t* bytes) {
  TABSCompressedStreamBlockHeader header;
  header.compressed_size = GetLE<int32_t>(bytes);
  header.uncompressed_size = GetLE<int32_t>(bytes);
  header.crc32 = GetLE<uint32_t>(bytes);
  header.offset_to_next_header = GetLE<int64_t>(bytes);
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
