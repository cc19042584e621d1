#include "framework/Stream.h"

#include <algorithm>
#include <cstring>

#include "framework/Exception.h"

namespace tabshift {
int64_t SeekTarget(int64_t offset, SeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case SeekOrigin::Beginning:
      return offset;
    case SeekOrigin::Current:
      return position + offset;
    case SeekOrigin::End:
      return size + offset;
  }
  return position;
}

int64_t TStream::Size() {
  const int64_t position = Seek(0, SeekOrigin::Current);
  const int64_t size = Seek(0, SeekOrigin::End);
  Seek(position, SeekOrigin::Beginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 65536)));
  int64_t left = count;
  while (left > 0) {
    const size_t part = static_cast<size_t>(std::min<int64_t>(left, int64_t(chunk.size())));
    source.ReadBuffer(chunk.data(), part);
    WriteBuffer(chunk.data(), part);
    left -= static_cast<int64_t>(part);
  }
  return count;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= Size()) return 0;
  const size_t available = static_cast<size_t>(Size() - position_);
  const size_t done = std::min(count, available);
  if (done != 0) std::memcpy(buffer, data_.data() + position_, done);
  position_ += static_cast<int64_t>(done);
  return done;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  const auto end = static_cast<size_t>(position_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t target = SeekTarget(offset, origin, position_, Size());
  if (target >= 0) position_ = target;
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

TFileStream::TFileStream(const std::string& path, platform::FileAccess access,
                         platform::FileShare share, platform::FileCreation creation)
    : path_(path) {
  if (file_.Open(path, access, share, creation)) return;
  const std::string reason = platform::ErrorMessage(file_.LastError());
  const bool creating = creation == platform::FileCreation::CreateAlways ||
                        creation == platform::FileCreation::CreateNew;
  if (creating) throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
  throw EFOpenError("Cannot open file \"" + path + "\". " + reason);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  const int64_t done = file_.ReadAt(static_cast<uint64_t>(position_), buffer, count);
  if (done <= 0) return 0;
  position_ += done;
  return static_cast<size_t>(done);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  const int64_t done = file_.WriteAt(static_cast<uint64_t>(position_), buffer, count);
  if (done <= 0) return 0;
  position_ += done;
  return static_cast<size_t>(done);
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t target = SeekTarget(offset, origin, position_, file_.Size());
  if (target >= 0) position_ = target;
  return position_;
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || !file_.SetSize(static_cast<uint64_t>(size))) {
    throw EWriteError("Stream write error");
  }
  position_ = std::min(position_, size);
}

}  // namespace tabshift
