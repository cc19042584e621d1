#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tabshift::platform {
namespace {

// Sharing modes are kept as shared open-file-description locks on four marker bytes far beyond
// any data or lock range. Each open handle marks what it does and what it denies; an opener
// first sets its own marks and then looks for a conflicting mark of another handle. Of two
// racing openers the later one to look always sees the other, so two conflicting opens can
// never both succeed.
constexpr uint64_t kSharingBase = 0x7FFFFFFFFFFFFF00ULL;
enum SharingMark : uint64_t { kReads = 0, kWrites = 1, kDeniesRead = 2, kDeniesWrite = 3 };

flock MakeLock(short type, uint64_t offset, uint64_t length) {
  flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  return lock;
}

bool SetLock(int descriptor, short type, uint64_t offset, uint64_t length) {
  flock lock = MakeLock(type, offset, length);
  return fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
}

bool HeldByOther(int descriptor, SharingMark mark) {
  flock lock = MakeLock(F_WRLCK, kSharingBase + mark, 1);
  if (fcntl(descriptor, F_OFD_GETLK, &lock) != 0) return true;
  return lock.l_type != F_UNLCK;
}

bool Readable(FileAccess access) {
  return access != FileAccess::Write;
}
bool Writable(FileAccess access) {
  return access != FileAccess::Read;
}
bool SharesRead(FileShare share) {
  return (static_cast<int>(share) & 1) != 0;
}
bool SharesWrite(FileShare share) {
  return (static_cast<int>(share) & 2) != 0;
}

int CreationFlags(FileCreation creation) {
  switch (creation) {
    case FileCreation::CreateNew:
      return O_CREAT | O_EXCL;
    case FileCreation::CreateAlways:
    case FileCreation::OpenAlways:
      return O_CREAT;
    case FileCreation::OpenExisting:
    case FileCreation::TruncateExisting:
      return 0;
  }
  return 0;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept {
  *this = std::move(other);
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
    read_write_descriptor_ = other.read_write_descriptor_;
    write_allowed_ = other.write_allowed_;
    last_error_ = other.last_error_;
    path_ = std::move(other.path_);
    locked_ = std::move(other.locked_);
  }
  return *this;
}

bool File::Fail(int error) {
  last_error_ = error;
  return false;
}

bool File::Open(const std::string& path, FileAccess access, FileShare share,
                FileCreation creation) {
  Close();
  const int flags = CreationFlags(creation) | O_CLOEXEC;
  // Byte-range locks need a descriptor open for writing, so a read-only handle still asks for
  // one where the file permits it; writes through it are refused below.
  int descriptor = open(path.c_str(), flags | O_RDWR, 0644);
  const bool read_write = descriptor >= 0;
  if (descriptor < 0 && !Writable(access) && (errno == EACCES || errno == EROFS)) {
    descriptor = open(path.c_str(), flags | O_RDONLY, 0644);
  }
  if (descriptor < 0) return Fail(errno);
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
    const int error = S_ISDIR(status.st_mode) ? EISDIR : errno;
    ::close(descriptor);
    return Fail(error);
  }
  descriptor_ = descriptor;
  read_write_descriptor_ = read_write;
  write_allowed_ = read_write && Writable(access);
  path_ = path;
  if (!ClaimSharing(access, share)) {
    const int error = last_error_;
    Close();
    return Fail(error);
  }
  if (creation == FileCreation::CreateAlways || creation == FileCreation::TruncateExisting) {
    if (!write_allowed_ || ftruncate(descriptor_, 0) != 0) {
      const int error = write_allowed_ ? errno : EACCES;
      Close();
      return Fail(error);
    }
  }
  last_error_ = 0;
  return true;
}

bool File::ClaimSharing(FileAccess access, FileShare share) {
  const bool marks[] = {Readable(access), Writable(access), !SharesRead(share),
                        !SharesWrite(share)};
  for (uint64_t mark = 0; mark < 4; ++mark) {
    if (marks[mark] && !SetLock(descriptor_, F_RDLCK, kSharingBase + mark, 1)) return Fail(errno);
  }
  const bool conflict = (Readable(access) && HeldByOther(descriptor_, kDeniesRead)) ||
                        (Writable(access) && HeldByOther(descriptor_, kDeniesWrite)) ||
                        (!SharesRead(share) && HeldByOther(descriptor_, kReads)) ||
                        (!SharesWrite(share) && HeldByOther(descriptor_, kWrites));
  return conflict ? Fail(kSharingViolation) : true;
}

void File::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);  // also drops every lock of this handle
  descriptor_ = -1;
  read_write_descriptor_ = false;
  write_allowed_ = false;
  path_.clear();
  locked_.clear();
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (descriptor_ < 0) return Fail(EBADF), -1;
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const ssize_t count =
        pread(descriptor_, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Fail(errno), -1;
    if (count == 0) break;
    done += static_cast<size_t>(count);
  }
  return static_cast<int64_t>(done);
}

int64_t File::WriteAt(uint64_t offset, const void* buffer, size_t length) {
  if (descriptor_ < 0 || !write_allowed_) return Fail(EBADF), -1;
  const auto* bytes = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const ssize_t count =
        pwrite(descriptor_, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Fail(count < 0 ? errno : ENOSPC), -1;
    done += static_cast<size_t>(count);
  }
  return static_cast<int64_t>(done);
}

int64_t File::Size() {
  struct stat status {};
  if (descriptor_ < 0) return Fail(EBADF), -1;
  if (fstat(descriptor_, &status) != 0) return Fail(errno), -1;
  return status.st_size;
}

bool File::SetSize(uint64_t size) {
  if (descriptor_ < 0 || !write_allowed_) return Fail(EBADF);
  if (ftruncate(descriptor_, static_cast<off_t>(size)) != 0) return Fail(errno);
  return true;
}

bool File::Flush() {
  if (descriptor_ < 0) return Fail(EBADF);
  if (fdatasync(descriptor_) != 0) return Fail(errno);
  return true;
}

bool File::Lock(uint64_t offset, uint64_t length) {
  if (descriptor_ < 0) return Fail(EBADF);
  if (length == 0 || offset >= kSharingBase || length > kSharingBase - offset) return Fail(EINVAL);
  for (const Range& held : locked_) {
    if (offset < held.offset + held.length && held.offset < offset + length) return Fail(EAGAIN);
  }
  // A descriptor opened read-only can only take shared locks; those still keep writers out.
  const short type = read_write_descriptor_ ? F_WRLCK : F_RDLCK;
  if (!SetLock(descriptor_, type, offset, length)) return Fail(errno == EACCES ? EAGAIN : errno);
  locked_.push_back({offset, length});
  return true;
}

bool File::Unlock(uint64_t offset, uint64_t length) {
  if (descriptor_ < 0) return Fail(EBADF);
  for (auto it = locked_.begin(); it != locked_.end(); ++it) {
    if (it->offset == offset && it->length == length) {
      if (!SetLock(descriptor_, F_UNLCK, offset, length)) return Fail(errno);
      locked_.erase(it);
      return true;
    }
  }
  return Fail(EINVAL);
}

std::string ErrorMessage(int error) {
  if (error == kSharingViolation) {
    return "The process cannot access the file because it is being used by another process";
  }
  return std::strerror(error);
}

}  // namespace tabshift::platform
