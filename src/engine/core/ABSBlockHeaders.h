// The header in front of every block of a compressed BLOB, and the list of a BLOB's block
// headers with the position of each header in the stream that stores the BLOB.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSMemory.h"

namespace tabshift {

// Stored as 20 little-endian bytes in this order.
struct TABSCompressedStreamBlockHeader {
  static constexpr size_t kStoredSize = 20;

  int32_t compressed_size = 0;
  int32_t uncompressed_size = 0;
  uint32_t crc32 = 0;  // of the uncompressed bytes
  // From the start of this header to the start of the next one: 20 + compressed_size.
  int64_t offset_to_next_header = 0;

  void Encode(uint8_t* bytes) const;
  static TABSCompressedStreamBlockHeader Decode(const uint8_t* bytes);
  bool operator==(const TABSCompressedStreamBlockHeader&) const = default;
};

class TABSCompressedStreamBlockHeadersArray {
 public:
  int64_t Count() const { return static_cast<int64_t>(entries_.size()); }
  const TABSCompressedStreamBlockHeader& Header(int64_t index) const;
  int64_t Position(int64_t index) const;
  void Append(const TABSCompressedStreamBlockHeader& header, int64_t position);
  void SetItem(int64_t index, const TABSCompressedStreamBlockHeader& header, int64_t position);
  // Keeps the first `count` entries.
  void Truncate(int64_t count);
  void Clear() { Truncate(0); }

 private:
  struct Entry {
    TABSCompressedStreamBlockHeader header;
    int64_t position;
  };
  const Entry& At(int64_t index) const;

  std::vector<Entry, TABSAllocator<Entry>> entries_;
  size_t growth_step_ = 10;
};

}  // namespace tabshift
