// Byte streams: the abstract base with a position, a memory stream and a file stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

namespace tabshift {

enum class SeekOrigin : uint8_t { Beginning, Current, End };

// The position a seek by `offset` from `origin` asks for, given the current position and size.
int64_t SeekTarget(int64_t offset, SeekOrigin origin, int64_t position, int64_t size);

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads or writes up to `count` bytes at the position and moves it; returns the bytes done.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::Beginning); }
  virtual int64_t Size();

  // All or nothing: a short transfer raises EReadError "Stream read error" or EWriteError
  // "Stream write error".
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  // Copies `count` bytes from `source` at its position (the whole stream from its start when
  // `count` is 0); returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const uint8_t* Memory() const { return data_.data(); }
  uint8_t* Memory() { return data_.data(); }
  void Clear();

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

class TFileStream : public TStream {
 public:
  // Raises EFCreateError or EFOpenError with the system's reason when the file cannot be
  // created or opened.
  TFileStream(const std::string& path, platform::FileAccess access, platform::FileShare share,
              platform::FileCreation creation);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return file_.Size(); }
  // Forces written data to the device; false when that fails.
  bool Flush() { return file_.Flush(); }
  const std::string& FileName() const { return path_; }

 private:
  platform::File file_;
  std::string path_;
  int64_t position_ = 0;
};

}  // namespace tabshift
