// The engine's streams: a base with a lock, chunked copies and progress reports; a stream in
// one block of the engine memory manager; a file stream; and a temporary stream that starts
// in memory and moves to a temporary file when it grows past 1 MB.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/ABSMemory.h"
#include "framework/Stream.h"
#include "platform/CriticalSection.h"
#include "platform/File.h"
#include "platform/TempFile.h"

namespace tabshift {

class TABSStream : public TStream {
 public:
  static constexpr int32_t kDefaultCopyBlockSize = 102400;
  // Receives the share of a copy done so far, from 0 to 100.
  using ProgressEvent = std::function<void(int percent)>;

  // For callers that share one stream between threads.
  virtual void Lock() { lock_.Enter(); }
  virtual void Unlock() { lock_.Leave(); }

  int32_t CopyBlockSize() const { return copy_block_size_; }
  void SetCopyBlockSize(int32_t size) { copy_block_size_ = size; }
  void SetOnProgress(ProgressEvent event) { on_progress_ = std::move(event); }

  // Writes the whole of this stream into `destination` at its position. Both positions are
  // as before afterwards.
  void CopyToStream(TStream& destination);
  // Writes `count` bytes of `source` from `source_position` into this stream at its position.
  // Both positions are as before afterwards.
  void CopyFromStream(TStream& source, int64_t source_position, int64_t count);

 private:
  void Copy(TStream& source, int64_t source_position, TStream& destination, int64_t count);
  void ReportProgress(int64_t done, int64_t total) const;

  platform::CriticalSection lock_;
  int32_t copy_block_size_ = kDefaultCopyBlockSize;
  ProgressEvent on_progress_;
};

class TABSMemoryStream : public TABSStream {
 public:
  TABSMemoryStream() = default;
  // Starts empty with room for `capacity` bytes.
  explicit TABSMemoryStream(size_t capacity);
  // Takes over a block of the memory manager; its size becomes the stream's size.
  explicit TABSMemoryStream(TABSMemoryBlock block);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Growth is zero-filled; size 0 frees the block.
  void SetSize(int64_t size) override;
  int64_t Size() override { return size_; }

  uint8_t* Memory() const { return block_.data(); }
  int64_t Capacity() const { return static_cast<int64_t>(block_.size()); }

 private:
  void Reserve(int64_t size);

  TABSMemoryBlock block_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// File open modes: one access value combined with one sharing value, or kCreate.
namespace file_mode {
inline constexpr uint16_t kOpenRead = 0x0000;
inline constexpr uint16_t kOpenWrite = 0x0001;
inline constexpr uint16_t kOpenReadWrite = 0x0002;
inline constexpr uint16_t kShareExclusive = 0x0010;
inline constexpr uint16_t kShareDenyWrite = 0x0020;
inline constexpr uint16_t kShareDenyRead = 0x0030;
inline constexpr uint16_t kShareDenyNone = 0x0040;
// Creates the file, overwriting it, for reading and writing with no sharing.
inline constexpr uint16_t kCreate = 0xFFFF;
}  // namespace file_mode

class TABSFileStream : public TABSStream {
 public:
  // Raises "Cannot create file. FileName = %s" or "Cannot open file. FileName = %s, Mode = %d".
  TABSFileStream(const std::string& file_name, uint16_t mode);
  // A new file in the temporary directory, named with the prefix "VOZ" and deleted when the
  // stream is freed.
  static std::unique_ptr<TABSFileStream> CreateTemporary();

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Raises "Error writing to stream" when the file cannot be cut or extended.
  void SetSize(int64_t size) override;
  int64_t Size() override;

  const std::string& FileName() const { return file_name_; }
  bool IsTemporary() const { return temporary_ != nullptr; }

 private:
  explicit TABSFileStream(std::unique_ptr<platform::TempFile> temporary);

  std::unique_ptr<platform::TempFile> temporary_;
  platform::File own_file_;
  platform::File* file_;
  std::string file_name_;
  int64_t position_ = 0;
};

class TABSTemporaryStream : public TABSStream {
 public:
  static constexpr int64_t kMemoryLimit = 1048576;

  // A memory-only stream never moves to a file.
  explicit TABSTemporaryStream(bool memory_only = false);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return Current().Size(); }

  bool InMemory() const { return file_ == nullptr; }
  // The temporary file's name once the stream has moved to one.
  std::string FileName() const { return file_ ? file_->FileName() : std::string(); }

 private:
  TABSStream& Current();
  void MoveToFile();

  bool memory_only_;
  std::unique_ptr<TABSMemoryStream> memory_;
  std::unique_ptr<TABSFileStream> file_;
};

}  // namespace tabshift
