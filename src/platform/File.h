// A file handle with the semantics the storage code was designed around: opening with an
// access and a sharing mode that other openers (in this or any other process) must respect,
// positional reads and writes, and exclusive byte-range locks that fail at once when any
// other handle holds an overlapping range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tabshift::platform {

enum class FileAccess : uint8_t { Read, Write, ReadWrite };

// Which accesses other openers may have while this handle is open.
enum class FileShare : uint8_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };

enum class FileCreation : uint8_t {
  CreateNew,         // fails when the file exists
  CreateAlways,      // creates or truncates
  OpenExisting,      // fails when the file is missing
  OpenAlways,        // opens or creates
  TruncateExisting,  // fails when the file is missing, truncates otherwise
};

// Error codes reported by LastError(): errno values, plus this one for a sharing conflict.
inline constexpr int kSharingViolation = -32;

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Returns true on success; on failure LastError() says why and the handle stays closed.
  bool Open(const std::string& path, FileAccess access, FileShare share, FileCreation creation);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }
  const std::string& Path() const { return path_; }

  // Reads up to `length` bytes at `offset`; a short count means the end of the file.
  // Returns -1 on failure.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t length);
  // Writes all `length` bytes at `offset`, growing the file as needed; -1 on failure.
  int64_t WriteAt(uint64_t offset, const void* buffer, size_t length);
  int64_t Size();
  bool SetSize(uint64_t size);
  bool Flush();

  // Exclusive lock on [offset, offset + length). Fails at once when another handle, or this
  // one, already holds an overlapping range.
  bool Lock(uint64_t offset, uint64_t length);
  // Releases a range locked earlier by this handle with exactly the same offset and length.
  bool Unlock(uint64_t offset, uint64_t length);

  int LastError() const { return last_error_; }

 private:
  friend class FileView;

  struct Range {
    uint64_t offset;
    uint64_t length;
  };

  bool Fail(int error);
  bool ClaimSharing(FileAccess access, FileShare share);

  int descriptor_ = -1;
  bool read_write_descriptor_ = false;  // opened O_RDWR: exclusive locks possible
  bool write_allowed_ = false;
  int last_error_ = 0;
  std::string path_;
  std::vector<Range> locked_;
};

// Text of an error code from LastError() or the file-system functions.
std::string ErrorMessage(int error);

}  // namespace tabshift::platform
