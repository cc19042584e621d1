// The BLOBs of memory tables: each non-NULL BLOB field refers to one block of the memory
// manager holding a 12-byte header (block count, 64-bit BLOB size) and the stored bytes.
#include <cstring>
#include <mutex>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemEngine.h"

namespace tabshift {

namespace {

constexpr int32_t kNilOpenBlock = 10112;
constexpr int32_t kShortBlobRead = 10117;
constexpr int32_t kNilFreeBlock = 10118;

struct BlockHeader {
  int32_t block_count;
  int64_t blob_size;
};

BlockHeader ReadBlockHeader(const uint8_t* block) {
  int32_t count = 0;
  uint32_t low = 0;
  uint32_t high = 0;
  std::memcpy(&count, block, 4);
  std::memcpy(&low, block + 4, 4);
  std::memcpy(&high, block + 8, 4);
  return {count, static_cast<int64_t>((uint64_t{high} << 32) | low)};
}

void WriteBlockHeader(uint8_t* block, int32_t block_count, int64_t blob_size) {
  const auto size = static_cast<uint64_t>(blob_size);
  const auto low = static_cast<uint32_t>(size);
  const auto high = static_cast<uint32_t>(size >> 32);
  std::memcpy(block, &block_count, 4);
  std::memcpy(block + 4, &low, 4);
  std::memcpy(block + 8, &high, 4);
}

}  // namespace

uint32_t TABSMemoryTableData::SlotHandle(const uint8_t* record, int field_no) const {
  uint32_t handle = 0;
  std::memcpy(&handle, record + field_manager_->FieldDefs().Item(field_no).BufferOffset,
              sizeof handle);
  return handle;
}

uint8_t* TABSMemoryTableData::BlobBlock(const uint8_t* record, int field_no) const {
  const uint32_t handle = SlotHandle(record, field_no);
  if (handle == 0 || handle > blob_blocks_.size()) return nullptr;
  return blob_blocks_[handle - 1];
}

void TABSMemoryTableData::SetBlobBlock(uint8_t* record, int field_no, uint8_t* block) {
  uint32_t handle = 0;
  if (block != nullptr) {
    if (free_handles_.empty()) {
      blob_blocks_.push_back(block);
      handle = static_cast<uint32_t>(blob_blocks_.size());
    } else {
      handle = free_handles_.back();
      free_handles_.pop_back();
      blob_blocks_[handle - 1] = block;
    }
  }
  std::memcpy(record + field_manager_->FieldDefs().Item(field_no).BufferOffset, &handle,
              sizeof handle);
  record_image::SetNull(record, field_no, block == nullptr);
}

int32_t TABSMemoryTableData::BlobBlockCount() const {
  return static_cast<int32_t>(blob_blocks_.size() - free_handles_.size());
}

void TABSMemoryTableData::FreeBlob(uint8_t* record, int field_no) {
  std::lock_guard guard(DatabaseLock());
  if (!field_manager_->HasBlobFields() || record_image::IsNull(record, field_no)) return;
  const uint32_t handle = SlotHandle(record, field_no);
  uint8_t* block = BlobBlock(record, field_no);
  if (block == nullptr) RaiseEngineError(kNilFreeBlock, "Nil pointer occured");
  MemoryManager().Free(blob_blocks_[handle - 1]);
  free_handles_.push_back(handle);
  SetBlobBlock(record, field_no, nullptr);
}

void TABSMemoryTableData::ReadStoredBlob(const uint8_t* record, int field_no, TABSStream& stored,
                                         TABSBLOBDescriptor& descriptor) {
  const uint8_t* block = BlobBlock(record, field_no);
  if (block == nullptr) RaiseEngineError(kNilOpenBlock, "Nil pointer occured");
  const BlockHeader header = ReadBlockHeader(block);
  const size_t stored_length = MemoryManager().SizeOf(block) - kBlobBlockHeaderSize;
  stored.WriteBuffer(block + kBlobBlockHeaderSize, stored_length);
  descriptor.block_count = header.block_count;
  descriptor.blob_size = header.blob_size;
}

void TABSMemoryTableData::WriteBlob(uint8_t* record, int field_no, TABSBlobStream& blob) {
  std::lock_guard guard(DatabaseLock());
  if (!blob.Modified()) return;
  if (blob.Size() == 0) {
    FreeBlob(record, field_no);
    SetBlobBlock(record, field_no, nullptr);
    return;
  }
  TABSStream& stored = blob.Stored();
  const int64_t stored_length = stored.Size();
  TABSMemoryBlock block(kBlobBlockHeaderSize + static_cast<size_t>(stored_length));
  const TABSBLOBDescriptor& descriptor = blob.Compressed().Descriptor();
  WriteBlockHeader(block.data(), static_cast<int32_t>(descriptor.block_count),
                   descriptor.blob_size);
  stored.Seek(0, SeekOrigin::Beginning);
  const size_t read =
      stored.Read(block.data() + kBlobBlockHeaderSize, static_cast<size_t>(stored_length));
  if (read != static_cast<size_t>(stored_length)) {
    RaiseEngineErrorFmt(kShortBlobRead,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Read = %d",
                        {int64_t{0}, stored_length, stored_length, static_cast<int64_t>(read)});
  }
  FreeBlob(record, field_no);
  SetBlobBlock(record, field_no, static_cast<uint8_t*>(block.Release()));
}

TABSMemoryBlock TABSMemoryTableData::GetRawBlob(int field_no, const uint8_t* record,
                                                TABSRawBlobHeader& header) {
  std::lock_guard guard(DatabaseLock());
  header = TABSRawBlobHeader();
  const uint8_t* block =
      record_image::IsNull(record, field_no) ? nullptr : BlobBlock(record, field_no);
  if (block == nullptr) return {};
  const BlockHeader stored = ReadBlockHeader(block);
  header.block_count = stored.block_count;
  header.blob_size = stored.blob_size;
  header.stored_length = static_cast<int64_t>(MemoryManager().SizeOf(block) - kBlobBlockHeaderSize);
  TABSMemoryBlock copy(static_cast<size_t>(std::max<int64_t>(header.stored_length, 1)));
  std::memcpy(copy.data(), block + kBlobBlockHeaderSize, static_cast<size_t>(header.stored_length));
  return copy;
}

void TABSMemoryTableData::PutRawBlob(uint8_t* record, int field_no, const TABSRawBlobHeader& header,
                                     const uint8_t* bytes) {
  std::lock_guard guard(DatabaseLock());
  if (header.stored_length <= 0) {
    FreeBlob(record, field_no);
    SetBlobBlock(record, field_no, nullptr);
    return;
  }
  TABSMemoryBlock block(kBlobBlockHeaderSize + static_cast<size_t>(header.stored_length));
  WriteBlockHeader(block.data(), header.block_count, header.blob_size);
  std::memcpy(block.data() + kBlobBlockHeaderSize, bytes,
              static_cast<size_t>(header.stored_length));
  FreeBlob(record, field_no);
  SetBlobBlock(record, field_no, static_cast<uint8_t*>(block.Release()));
}

}  // namespace tabshift
