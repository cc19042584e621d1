// A read-only view of a range of a file mapped into memory, for blocks that are read again and
// again and should cost no system call. The view shows the file's current contents, including
// what other processes write. Reading stays safe when another process shrinks the file under
// the view: bytes in pages wholly beyond the file's end make the read fail instead of the
// process; bytes beyond the end inside the file's last page read as zeros.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/File.h"

namespace tabshift::platform {

class FileView {
 public:
  FileView() = default;
  ~FileView();
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Maps [offset, offset + length) of an open file; the range may reach past the file's end.
  // Returns false (and leaves the view unmapped) when the system refuses the mapping.
  bool Map(const File& file, uint64_t offset, size_t length);
  void Unmap();
  bool IsMapped() const { return base_ != nullptr; }

  // Copies `length` bytes from file offset `offset`. False when the range is not inside the
  // view or reaches a page wholly beyond the file's current end; the buffer is then undefined.
  bool Read(uint64_t offset, void* buffer, size_t length) const;

 private:
  char* base_ = nullptr;      // start of the mapping, page-aligned
  size_t mapped_length_ = 0;  // length of the mapping
  uint64_t base_offset_ = 0;  // file offset of base_
  uint64_t first_ = 0;        // file range the view was asked for
  uint64_t end_ = 0;
};

}  // namespace tabshift::platform
