#include "engine/core/ABSStreams.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "platform/FileSystem.h"

namespace tabshift {
namespace {

constexpr int32_t kCopySeekFailed = 10079;
constexpr int32_t kCreateFileFailed = 10104;
constexpr int32_t kOpenFileFailed = 10105;
constexpr int32_t kCopyShortRead = 10146;
constexpr int32_t kCopyShortWrite = 10147;
constexpr int32_t kFileSizeFailed = 10417;
constexpr int32_t kCopyBlockSizeZero = 10418;
constexpr int32_t kMoveToFileShortWrite = 10419;

constexpr const char* kCannotRead =
    "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d";
constexpr const char* kCannotWrite =
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d";

bool FileAccessOf(uint16_t mode, platform::FileAccess& access) {
  switch (mode & 0x000F) {
    case file_mode::kOpenRead:
      access = platform::FileAccess::Read;
      return true;
    case file_mode::kOpenWrite:
      access = platform::FileAccess::Write;
      return true;
    case file_mode::kOpenReadWrite:
      access = platform::FileAccess::ReadWrite;
      return true;
    default:
      return false;
  }
}

bool FileShareOf(uint16_t mode, platform::FileShare& share) {
  switch (mode & 0x00F0) {
    case 0:
    case file_mode::kShareExclusive:
      share = platform::FileShare::None;
      return true;
    case file_mode::kShareDenyWrite:
      share = platform::FileShare::Read;
      return true;
    case file_mode::kShareDenyRead:
      share = platform::FileShare::Write;
      return true;
    case file_mode::kShareDenyNone:
      share = platform::FileShare::ReadWrite;
      return true;
    default:
      return false;
  }
}

}  // namespace

void TABSStream::ReportProgress(int64_t done, int64_t total) const {
  if (on_progress_) on_progress_(total <= 0 ? 100 : static_cast<int>(done * 100 / total));
}

void TABSStream::Copy(TStream& source, int64_t source_position, TStream& destination,
                      int64_t count) {
  if (copy_block_size_ <= 0) {
    RaiseEngineErrorFmt(kCopyBlockSizeZero, "Stream block size = %d is not allowed",
                        {copy_block_size_});
  }
  const int64_t saved_source = source.Position();
  const int64_t saved_destination = destination.Position();
  if (source.Seek(source_position, SeekOrigin::Beginning) != source_position) {
    RaiseEngineErrorFmt(kCopySeekFailed,
                        "Cannot set stream position to %d. Position = %d, Size = %d",
                        {source_position, source.Position(), source.Size()});
  }
  const auto chunk_size = static_cast<size_t>(std::min<int64_t>(copy_block_size_, count));
  TABSMemoryBlock chunk;
  if (chunk_size > 0) chunk = TABSMemoryBlock(chunk_size);
  ReportProgress(0, count);
  for (int64_t done = 0; done < count;) {
    const auto part = static_cast<size_t>(std::min<int64_t>(int64_t(chunk_size), count - done));
    const size_t read = source.Read(chunk.data(), part);
    if (read != part) {
      RaiseEngineErrorFmt(kCopyShortRead, kCannotRead,
                          {source.Position(), source.Size(), part, read});
    }
    const size_t written = destination.Write(chunk.data(), part);
    if (written != part) {
      RaiseEngineErrorFmt(kCopyShortWrite, kCannotWrite,
                          {destination.Position(), destination.Size(), part, written});
    }
    done += static_cast<int64_t>(part);
    ReportProgress(done, count);
  }
  source.Seek(saved_source, SeekOrigin::Beginning);
  destination.Seek(saved_destination, SeekOrigin::Beginning);
}

void TABSStream::CopyToStream(TStream& destination) {
  Copy(*this, 0, destination, Size());
}

void TABSStream::CopyFromStream(TStream& source, int64_t source_position, int64_t count) {
  Copy(source, source_position, *this, count);
}

TABSMemoryStream::TABSMemoryStream(size_t capacity) {
  if (capacity > 0) block_ = TABSMemoryBlock(capacity);
}

TABSMemoryStream::TABSMemoryStream(TABSMemoryBlock block)
    : block_(std::move(block)), size_(static_cast<int64_t>(block_.size())) {}

void TABSMemoryStream::Reserve(int64_t size) {
  if (size <= Capacity()) return;
  constexpr auto kLargest = static_cast<int64_t>(TABSMemoryManager::kMaxBlockSize);
  if (size > kLargest) {
    RaiseEngineErrorFmt(memory_error::kGetMemFailed, "GetMem error: %s", {"Out of memory"});
  }
  // Twice what is asked for, so that a run of small writes reallocates rarely.
  block_.Resize(static_cast<size_t>(std::min(size * 2, kLargest)));
}

size_t TABSMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= size_ || count == 0) return 0;
  const auto done = static_cast<size_t>(std::min<int64_t>(int64_t(count), size_ - position_));
  std::memcpy(buffer, block_.data() + position_, done);
  position_ += static_cast<int64_t>(done);
  return done;
}

size_t TABSMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  // Both at most a block's size, so the sum cannot overflow; Reserve refuses what is too big.
  const int64_t end = std::min<int64_t>(position_, TABSMemoryManager::kMaxBlockSize + 1) +
                      static_cast<int64_t>(std::min(count, TABSMemoryManager::kMaxBlockSize + 1));
  Reserve(end);
  if (position_ > size_) std::memset(block_.data() + size_, 0, size_t(position_ - size_));
  std::memcpy(block_.data() + position_, buffer, count);
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t TABSMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t target = SeekTarget(offset, origin, position_, size_);
  if (target >= 0) position_ = target;
  return position_;
}

void TABSMemoryStream::SetSize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  if (size == 0) {
    block_.Free();
  } else {
    Reserve(size);
    if (size > size_) std::memset(block_.data() + size_, 0, size_t(size - size_));
  }
  size_ = size;
  position_ = std::min(position_, size_);
}

TABSFileStream::TABSFileStream(const std::string& file_name, uint16_t mode)
    : file_(&own_file_), file_name_(file_name) {
  if (mode == file_mode::kCreate) {
    if (!own_file_.Open(file_name, platform::FileAccess::ReadWrite, platform::FileShare::None,
                        platform::FileCreation::CreateAlways)) {
      RaiseEngineErrorFmt(kCreateFileFailed, "Cannot create file. FileName = %s", {file_name});
    }
    return;
  }
  platform::FileAccess access;
  platform::FileShare share;
  if (!FileAccessOf(mode, access) || !FileShareOf(mode, share) ||
      !own_file_.Open(file_name, access, share, platform::FileCreation::OpenExisting)) {
    RaiseEngineErrorFmt(kOpenFileFailed, "Cannot open file. FileName = %s, Mode = %d",
                        {file_name, mode});
  }
}

TABSFileStream::TABSFileStream(std::unique_ptr<platform::TempFile> temporary)
    : temporary_(std::move(temporary)),
      file_(&temporary_->Handle()),
      file_name_(temporary_->Path()) {}

std::unique_ptr<TABSFileStream> TABSFileStream::CreateTemporary() {
  auto temporary = std::make_unique<platform::TempFile>("VOZ");
  if (!temporary->IsOpen()) {
    RaiseEngineErrorFmt(kCreateFileFailed, "Cannot create file. FileName = %s",
                        {platform::TemporaryDirectory() + "VOZ"});
  }
  return std::unique_ptr<TABSFileStream>(new TABSFileStream(std::move(temporary)));
}

size_t TABSFileStream::Read(void* buffer, size_t count) {
  const int64_t done = file_->ReadAt(static_cast<uint64_t>(position_), buffer, count);
  if (done <= 0) return 0;
  position_ += done;
  return static_cast<size_t>(done);
}

size_t TABSFileStream::Write(const void* buffer, size_t count) {
  const int64_t done = file_->WriteAt(static_cast<uint64_t>(position_), buffer, count);
  if (done <= 0) return 0;
  position_ += done;
  return static_cast<size_t>(done);
}

int64_t TABSFileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t target = SeekTarget(offset, origin, position_, Size());
  if (target >= 0) position_ = target;
  return position_;
}

void TABSFileStream::SetSize(int64_t size) {
  if (size < 0 || !file_->SetSize(static_cast<uint64_t>(size))) {
    RaiseEngineError(kFileSizeFailed, "Error writing to stream");
  }
}

int64_t TABSFileStream::Size() {
  return std::max<int64_t>(file_->Size(), 0);
}

TABSTemporaryStream::TABSTemporaryStream(bool memory_only)
    : memory_only_(memory_only), memory_(std::make_unique<TABSMemoryStream>()) {}

TABSStream& TABSTemporaryStream::Current() {
  if (file_) return *file_;
  return *memory_;
}

void TABSTemporaryStream::MoveToFile() {
  auto file = TABSFileStream::CreateTemporary();
  const int64_t position = memory_->Position();
  const auto size = static_cast<size_t>(memory_->Size());
  const size_t written = size == 0 ? 0 : file->Write(memory_->Memory(), size);
  if (written != size) {
    RaiseEngineErrorFmt(kMoveToFileShortWrite, kCannotWrite, {0, file->Size(), size, written});
  }
  file->Seek(position, SeekOrigin::Beginning);
  file_ = std::move(file);
  memory_.reset();
}

size_t TABSTemporaryStream::Read(void* buffer, size_t count) {
  return Current().Read(buffer, count);
}

size_t TABSTemporaryStream::Write(const void* buffer, size_t count) {
  if (!file_ && !memory_only_ && count > 0 &&
      std::max(memory_->Size(), memory_->Position() + int64_t(count)) > kMemoryLimit) {
    MoveToFile();
  }
  return Current().Write(buffer, count);
}

int64_t TABSTemporaryStream::Seek(int64_t offset, SeekOrigin origin) {
  return Current().Seek(offset, origin);
}

void TABSTemporaryStream::SetSize(int64_t size) {
  Current().SetSize(size);
}

}  // namespace tabshift
