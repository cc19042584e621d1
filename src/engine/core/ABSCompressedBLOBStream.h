// A BLOB's bytes as a stream, stored in another stream either as they are or as a sequence of
// independently compressed blocks, each behind a 20-byte header. All blocks but the last hold
// exactly the block size; writes only append, rewriting at most the partial last block.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/ABSBlockHeaders.h"
#include "engine/core/ABSMemory.h"
#include "engine/core/ABSStreams.h"

namespace tabshift {

// What the owner of a BLOB keeps about it, stored as 32 little-endian bytes.
struct TABSBLOBDescriptor {
  static constexpr size_t kStoredSize = 32;

  int32_t block_size = 0;  // 0: the default for the compression mode
  int64_t block_count = 0;
  int64_t blob_size = 0;       // uncompressed bytes
  int64_t start_position = 0;  // of the first stored byte in the underlying stream
  uint8_t compression_algorithm = 0;
  uint8_t compression_mode = 0;

  void Encode(uint8_t* bytes) const;
  static TABSBLOBDescriptor Decode(const uint8_t* bytes);
  bool operator==(const TABSBLOBDescriptor&) const = default;
};

class TABSCompressedBLOBStream : public TABSStream {
 public:
  // Opens the BLOB stored in `underlying` from the descriptor's start position; an existing
  // compressed BLOB has its block headers read and checked here.
  TABSCompressedBLOBStream(TStream& underlying, bool is_new, const TABSBLOBDescriptor& descriptor);
  TABSCompressedBLOBStream(std::unique_ptr<TStream> underlying, bool is_new,
                           const TABSBLOBDescriptor& descriptor);

  // Positions and sizes count uncompressed bytes.
  size_t Read(void* buffer, size_t count) override;
  // Only appends: a write before the end writes nothing and returns 0.
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return size_; }

  // Kept current: block size in use, block count and BLOB size.
  const TABSBLOBDescriptor& Descriptor() const { return descriptor_; }
  // Bytes of the BLOB's stored form in the underlying stream, from the start position.
  int64_t StoredSize() const;
  int64_t CompressedSize() const { return compressed_size_; }
  // (1 - compressed / uncompressed) x 100; 0 without compression.
  double CompressionRatio() const;
  const TABSCompressedStreamBlockHeadersArray& Blocks() const { return blocks_; }

 private:
  struct EncodedBlock {
    TABSCompressedStreamBlockHeader header;
    TABSMemoryBlock data;
  };
  struct WriteCodes {
    int32_t seek;
    int32_t header;
    int32_t data;
    bool plain_message;  // "Error writing to stream" instead of the detailed form
  };

  bool Compressed() const { return descriptor_.compression_algorithm != 0; }
  int64_t BlockSize() const { return descriptor_.block_size; }
  void Open(bool is_new);
  void ScanBlocks();
  void SeekUnderlying(int64_t position, int32_t code);
  TABSMemoryBlock LoadBlock(int64_t block);
  const uint8_t* CachedBlock(int64_t block);
  EncodedBlock EncodeBlock(const uint8_t* bytes, size_t size) const;
  void WriteBlockAt(int64_t position, const EncodedBlock& block, const WriteCodes& codes);
  int64_t EndOfStoredBytes() const;
  size_t WriteCompressed(const uint8_t* bytes, size_t count);
  void RewriteLastBlock(const uint8_t* bytes, size_t count);
  void AppendBlock(const uint8_t* bytes, size_t count);
  void ExtendTo(int64_t size);
  void TruncateTo(int64_t size);
  void SyncDescriptor();

  std::unique_ptr<TStream> owned_underlying_;
  TStream& underlying_;
  TABSBLOBDescriptor descriptor_;
  int64_t size_ = 0;
  int64_t compressed_size_ = 0;
  int64_t position_ = 0;
  TABSCompressedStreamBlockHeadersArray blocks_;
  // The block read last, kept uncompressed for the reads that follow.
  int64_t current_block_ = -1;
  TABSMemoryBlock current_data_;
};

}  // namespace tabshift
