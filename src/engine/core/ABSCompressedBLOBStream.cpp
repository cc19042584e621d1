#include "engine/core/ABSCompressedBLOBStream.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSCompression.h"
#include "engine/disk/ABSDecUtil.h"
#include "framework/LittleEndian.h"

namespace tabshift {
namespace {

namespace code {
constexpr int32_t kStoredTooSmall = 10081;
constexpr int32_t kScanTooSmall = 10082;
constexpr int32_t kScanSeek = 10083;
constexpr int32_t kInvalidBlockHeader = 10084;
constexpr int32_t kCompressFailed = 10085;
constexpr int32_t kBlockShortRead = 10086;
constexpr int32_t kDecompressFailed = 10087;
constexpr int32_t kDecompressedSize = 10088;
constexpr int32_t kChecksum = 10089;
constexpr int32_t kZeroReadChunk = 10090;
constexpr int32_t kReadSeek = 10091;
constexpr int32_t kGapNotFilled = 10092;
constexpr int32_t kCutSize = 10093;
constexpr int32_t kCutSeek = 10094;
constexpr int32_t kCutHeaderWrite = 10095;
constexpr int32_t kCutDataWrite = 10096;
constexpr int32_t kInvalidDescriptor = 10097;
constexpr int32_t kExtensionSize = 10098;
constexpr int32_t kAppendSeek = 10099;
constexpr int32_t kAppendHeaderWrite = 10100;
constexpr int32_t kAppendDataWrite = 10101;
constexpr int32_t kPlainWriteSeek = 10102;
constexpr int32_t kOpenSeek = 10103;
}  // namespace code

constexpr size_t kHeaderSize = TABSCompressedStreamBlockHeader::kStoredSize;
constexpr const char* kTooSmall = "Stream size = %d too small. Should be at least = %d";
constexpr const char* kInvalidSize = "Invalid stream size = %d. Should be = %d";

}  // namespace

void TABSBLOBDescriptor::Encode(uint8_t* bytes) const {
  PutLE(bytes, block_size);
  PutLE(bytes, block_count);
  PutLE(bytes, blob_size);
  PutLE(bytes, start_position);
  PutLE(bytes, compression_algorithm);
  PutLE(bytes, compression_mode);
  PutLE<uint16_t>(bytes, 0);
}

TABSBLOBDescriptor TABSBLOBDescriptor::Decode(const uint8_t* bytes) {
  TABSBLOBDescriptor descriptor;
  descriptor.block_size = GetLE<int32_t>(bytes);
  descriptor.block_count = GetLE<int64_t>(bytes);
  descriptor.blob_size = GetLE<int64_t>(bytes);
  descriptor.start_position = GetLE<int64_t>(bytes);
  descriptor.compression_algorithm = GetLE<uint8_t>(bytes);
  descriptor.compression_mode = GetLE<uint8_t>(bytes);
  return descriptor;
}

TABSCompressedBLOBStream::TABSCompressedBLOBStream(TStream& underlying, bool is_new,
                                                   const TABSBLOBDescriptor& descriptor)
    : underlying_(underlying), descriptor_(descriptor) {
  Open(is_new);
}

TABSCompressedBLOBStream::TABSCompressedBLOBStream(std::unique_ptr<TStream> underlying, bool is_new,
                                                   const TABSBLOBDescriptor& descriptor)
    : owned_underlying_(std::move(underlying)),
      underlying_(*owned_underlying_),
      descriptor_(descriptor) {
  Open(is_new);
}

void TABSCompressedBLOBStream::Open(bool is_new) {
  const TABSBLOBDescriptor& d = descriptor_;
  if (d.compression_algorithm > compression_algorithm::kPpm || d.block_size < 0 ||
      d.block_count < 0 || d.blob_size < 0 || d.start_position < 0) {
    RaiseEngineErrorFmt(
        code::kInvalidDescriptor,
        "Invalid BLOB descriptor. BlockSize = %d, BlockCount = %d, BlobSize = "
        "%d, Start = %d, CompAlg = %d",
        {d.block_size, d.block_count, d.blob_size, d.start_position, d.compression_algorithm});
  }
  SeekUnderlying(d.start_position, code::kOpenSeek);
  if (Compressed()) {
    if (descriptor_.block_size == 0) {
      descriptor_.block_size = DefaultBlockSize(descriptor_.compression_mode);
    }
    if (!is_new) ScanBlocks();
  } else if (!is_new) {
    size_ = d.blob_size;
    const int64_t stored = underlying_.Size();
    if (stored - d.start_position < size_) {
      RaiseEngineErrorFmt(code::kStoredTooSmall, kTooSmall, {stored, d.start_position + size_});
    }
  }
  SyncDescriptor();
}

void TABSCompressedBLOBStream::SeekUnderlying(int64_t position, int32_t code) {
  if (underlying_.Seek(position, SeekOrigin::Beginning) != position) {
    RaiseEngineErrorFmt(code, "Cannot set stream position to %d. Position = %d, Size = %d",
                        {position, underlying_.Position(), underlying_.Size()});
  }
}

void TABSCompressedBLOBStream::ScanBlocks() {
  const int64_t stored = underlying_.Size();
  const int64_t count = descriptor_.block_count;
  int64_t position = descriptor_.start_position;
  // Every header is checked before it is believed: a damaged one must not make a later read
  // pick the wrong block, allocate more than a block or run past the stored bytes.
  for (int64_t block = 0; block < count; ++block) {
    if (stored - position < int64_t(kHeaderSize)) {
      RaiseEngineErrorFmt(code::kScanTooSmall, kTooSmall,
                          {stored, position + int64_t(kHeaderSize)});
    }
    SeekUnderlying(position, code::kScanSeek);
    uint8_t raw[kHeaderSize];
    if (underlying_.Read(raw, kHeaderSize) != kHeaderSize) {
      RaiseEngineErrorFmt(code::kScanTooSmall, kTooSmall,
                          {stored, position + int64_t(kHeaderSize)});
    }
    const auto header = TABSCompressedStreamBlockHeader::Decode(raw);
    const bool last = block == count - 1;
    const int64_t data_end = int64_t(kHeaderSize) + header.compressed_size;
    if (header.compressed_size <= 0 || header.uncompressed_size <= 0 ||
        header.uncompressed_size > BlockSize() ||
        (!last && header.uncompressed_size != BlockSize()) ||
        header.offset_to_next_header < data_end ||
        header.offset_to_next_header > stored - position) {
      if (header.compressed_size > 0 && stored - position < data_end) {
        RaiseEngineErrorFmt(code::kScanTooSmall, kTooSmall, {stored, position + data_end});
      }
      RaiseEngineErrorFmt(
          code::kInvalidBlockHeader,
          "Invalid BLOB block header. BlockNo = %d, CompSize = %d, UncompSize = "
          "%d, Distance = %d",
          {block, header.compressed_size, header.uncompressed_size, header.offset_to_next_header});
    }
    size_ += header.uncompressed_size;
    compressed_size_ += header.compressed_size;
    blocks_.Append(header, position);
    position += header.offset_to_next_header;
  }
  if (count > 0) SeekUnderlying(position, code::kScanSeek);
}

TABSMemoryBlock TABSCompressedBLOBStream::LoadBlock(int64_t block) {
  const TABSCompressedStreamBlockHeader& header = blocks_.Header(block);
  const int64_t data_position = blocks_.Position(block) + int64_t(kHeaderSize);
  const auto compressed_size = static_cast<size_t>(header.compressed_size);
  TABSMemoryBlock compressed(compressed_size);
  SeekUnderlying(data_position, code::kReadSeek);
  const size_t read = underlying_.Read(compressed.data(), compressed_size);
  if (read != compressed_size) {
    RaiseEngineErrorFmt(code::kBlockShortRead,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Read = %d",
                        {data_position, underlying_.Size(), compressed_size, read});
  }
  TABSMemoryBlock uncompressed;
  size_t uncompressed_size = 0;
  const auto expected = static_cast<size_t>(header.uncompressed_size);
  if (!DecompressBuffer(descriptor_.compression_algorithm, compressed.data(), compressed_size,
                        expected, uncompressed, uncompressed_size)) {
    RaiseEngineErrorFmt(code::kDecompressFailed,
                        "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d",
                        {descriptor_.compression_algorithm, compressed_size, uncompressed_size});
  }
  if (uncompressed_size != expected) {
    RaiseEngineErrorFmt(code::kDecompressedSize,
                        "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                        {uncompressed_size, header.uncompressed_size});
  }
  const uint32_t checksum = Crc32(uncompressed.data(), uncompressed_size);
  if (checksum != header.crc32) {
    RaiseEngineErrorFmt(code::kChecksum,
                        "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d",
                        {static_cast<int32_t>(checksum), static_cast<int32_t>(header.crc32)});
  }
  return uncompressed;
}

const uint8_t* TABSCompressedBLOBStream::CachedBlock(int64_t block) {
  if (block != current_block_) {
    current_block_ = -1;
    current_data_ = LoadBlock(block);
    current_block_ = block;
  }
  return current_data_.data();
}

TABSCompressedBLOBStream::EncodedBlock TABSCompressedBLOBStream::EncodeBlock(const uint8_t* bytes,
                                                                             size_t size) const {
  EncodedBlock block;
  block.header.uncompressed_size = static_cast<int32_t>(size);
  block.header.crc32 = Crc32(bytes, size);
  size_t compressed_size = 0;
  if (!CompressBuffer(descriptor_.compression_algorithm, descriptor_.compression_mode, bytes, size,
                      block.data, compressed_size)) {
    RaiseEngineErrorFmt(
        code::kCompressFailed,
        "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, "
        "OutSize = %d",
        {descriptor_.compression_algorithm, descriptor_.compression_mode, size, compressed_size});
  }
  block.header.compressed_size = static_cast<int32_t>(compressed_size);
  block.header.offset_to_next_header = int64_t(kHeaderSize) + block.header.compressed_size;
  return block;
}

void TABSCompressedBLOBStream::WriteBlockAt(int64_t position, const EncodedBlock& block,
                                            const WriteCodes& codes) {
  SeekUnderlying(position, codes.seek);
  uint8_t raw[kHeaderSize];
  block.header.Encode(raw);
  const auto data_size = static_cast<size_t>(block.header.compressed_size);
  const struct {
    const uint8_t* bytes;
    size_t size;
    int32_t code;
  } parts[] = {{raw, kHeaderSize, codes.header}, {block.data.data(), data_size, codes.data}};
  for (const auto& part : parts) {
    const int64_t at = underlying_.Position();
    const size_t written = underlying_.Write(part.bytes, part.size);
    if (written == part.size) continue;
    if (codes.plain_message) RaiseEngineError(part.code, "Error writing to stream");
    RaiseEngineErrorFmt(part.code,
                        "Cannot write to stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Write = %d",
                        {at, underlying_.Size(), part.size, written});
  }
}

int64_t TABSCompressedBLOBStream::EndOfStoredBytes() const {
  if (blocks_.Count() == 0) return descriptor_.start_position;
  const int64_t last = blocks_.Count() - 1;
  return blocks_.Position(last) + blocks_.Header(last).offset_to_next_header;
}

int64_t TABSCompressedBLOBStream::StoredSize() const {
  if (!Compressed()) return size_;
  return EndOfStoredBytes() - descriptor_.start_position;
}

double TABSCompressedBLOBStream::CompressionRatio() const {
  if (!Compressed() || size_ == 0) return 0;
  return (1.0 - double(compressed_size_) / double(size_)) * 100.0;
}

void TABSCompressedBLOBStream::SyncDescriptor() {
  descriptor_.block_count = Compressed() ? blocks_.Count() : 0;
  descriptor_.blob_size = size_;
}

size_t TABSCompressedBLOBStream::Read(void* buffer, size_t count) {
  if (count == 0 || position_ >= size_) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  const auto wanted = static_cast<size_t>(std::min<int64_t>(int64_t(count), size_ - position_));
  if (!Compressed()) {
    SeekUnderlying(descriptor_.start_position + position_, code::kReadSeek);
    const size_t read = underlying_.Read(out, wanted);
    position_ += static_cast<int64_t>(read);
    return read;
  }
  size_t done = 0;
  while (done < wanted) {
    const int64_t block = position_ / BlockSize();
    const int64_t offset = position_ % BlockSize();
    const uint8_t* data = CachedBlock(block);
    const int64_t available = blocks_.Header(block).uncompressed_size - offset;
    const int64_t chunk = std::min<int64_t>(int64_t(wanted - done), available);
    if (chunk <= 0) {
      RaiseEngineErrorFmt(code::kZeroReadChunk, "Cannot read from stream. ReadSize = %d", {chunk});
    }
    std::memcpy(out + done, data + offset, size_t(chunk));
    done += size_t(chunk);
    position_ += chunk;
  }
  return done;
}

size_t TABSCompressedBLOBStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (!Compressed()) {
    SeekUnderlying(descriptor_.start_position + position_, code::kPlainWriteSeek);
    const size_t written = underlying_.Write(bytes, count);
    position_ += static_cast<int64_t>(written);
    size_ = std::max(size_, position_);
    SyncDescriptor();
    return written;
  }
  return WriteCompressed(bytes, count);
}

size_t TABSCompressedBLOBStream::WriteCompressed(const uint8_t* bytes, size_t count) {
  if (position_ < size_) return 0;
  if (position_ > size_) {
    ExtendTo(position_);
    if (size_ != position_) {
      RaiseEngineErrorFmt(code::kGapNotFilled, kInvalidSize, {size_, position_});
    }
  }
  size_t done = 0;
  const int64_t tail = size_ % BlockSize();
  if (tail > 0) {
    done = static_cast<size_t>(std::min<int64_t>(int64_t(count), BlockSize() - tail));
    RewriteLastBlock(bytes, done);
  }
  while (done < count) {
    const auto part = static_cast<size_t>(std::min<int64_t>(int64_t(count - done), BlockSize()));
    AppendBlock(bytes + done, part);
    done += part;
  }
  return done;
}

void TABSCompressedBLOBStream::RewriteLastBlock(const uint8_t* bytes, size_t count) {
  const int64_t last = blocks_.Count() - 1;
  const TABSCompressedStreamBlockHeader old_header = blocks_.Header(last);
  const int64_t header_position = blocks_.Position(last);
  const auto old_size = static_cast<size_t>(old_header.uncompressed_size);
  TABSMemoryBlock combined(old_size + count);
  {
    const TABSMemoryBlock old_data = LoadBlock(last);
    std::memcpy(combined.data(), old_data.data(), old_size);
  }
  std::memcpy(combined.data() + old_size, bytes, count);
  const EncodedBlock block = EncodeBlock(combined.data(), old_size + count);
  current_block_ = -1;
  WriteBlockAt(header_position, block,
               {code::kAppendSeek, code::kAppendHeaderWrite, code::kAppendDataWrite, false});
  blocks_.SetItem(last, block.header, header_position);
  compressed_size_ += block.header.compressed_size - old_header.compressed_size;
  size_ += static_cast<int64_t>(count);
  position_ = size_;
  SyncDescriptor();
}

void TABSCompressedBLOBStream::AppendBlock(const uint8_t* bytes, size_t count) {
  const EncodedBlock block = EncodeBlock(bytes, count);
  const int64_t header_position = EndOfStoredBytes();
  WriteBlockAt(header_position, block,
               {code::kAppendSeek, code::kAppendHeaderWrite, code::kAppendDataWrite, false});
  blocks_.Append(block.header, header_position);
  compressed_size_ += block.header.compressed_size;
  size_ += static_cast<int64_t>(count);
  position_ = size_;
  SyncDescriptor();
}

int64_t TABSCompressedBLOBStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target = position_;
  switch (origin) {
    case SeekOrigin::Beginning:
      target = offset;
      break;
    case SeekOrigin::Current:
      target = position_ + offset;
      break;
    case SeekOrigin::End:
      target = size_ + offset;
      break;
  }
  if (target >= 0) position_ = target;
  return position_;
}

void TABSCompressedBLOBStream::SetSize(int64_t size) {
  if (size < 0) RaiseEngineErrorFmt(code::kCutSize, kInvalidSize, {size, 0});
  if (!Compressed()) {
    underlying_.SetSize(descriptor_.start_position + size);
    size_ = size;
  } else if (size > size_) {
    ExtendTo(size);
  } else if (size < size_) {
    TruncateTo(size);
  }
  position_ = std::min(position_, size_);
  SyncDescriptor();
}

void TABSCompressedBLOBStream::ExtendTo(int64_t size) {
  if (size <= size_) {
    RaiseEngineErrorFmt(code::kExtensionSize,
                        "Invalid extension size. NewSize = %d, UncompressedSize = %d, "
                        "ExtensionSize = %d",
                        {size, size_, size - size_});
  }
  const int64_t saved_position = position_;
  const TABSMemoryBlock zeros(static_cast<size_t>(std::min(BlockSize(), size - size_)), true);
  position_ = size_;
  while (size_ < size) {
    const auto part = static_cast<size_t>(std::min<int64_t>(int64_t(zeros.size()), size - size_));
    WriteCompressed(zeros.data(), part);
  }
  position_ = saved_position;
}

void TABSCompressedBLOBStream::TruncateTo(int64_t size) {
  const int64_t kept = (size + BlockSize() - 1) / BlockSize();
  const int64_t tail = size % BlockSize();
  current_block_ = -1;
  if (tail > 0) {
    const int64_t last = kept - 1;
    const int64_t header_position = blocks_.Position(last);
    const EncodedBlock block = EncodeBlock(LoadBlock(last).data(), static_cast<size_t>(tail));
    underlying_.SetSize(header_position);
    if (underlying_.Size() != header_position) {
      RaiseEngineErrorFmt(code::kCutSize, kInvalidSize, {underlying_.Size(), header_position});
    }
    WriteBlockAt(header_position, block,
                 {code::kCutSeek, code::kCutHeaderWrite, code::kCutDataWrite, true});
    blocks_.Truncate(kept);
    blocks_.SetItem(last, block.header, header_position);
  } else {
    blocks_.Truncate(kept);
  }
  compressed_size_ = 0;
  for (int64_t block = 0; block < blocks_.Count(); ++block) {
    compressed_size_ += blocks_.Header(block).compressed_size;
  }
  size_ = size;
}

}  // namespace tabshift
