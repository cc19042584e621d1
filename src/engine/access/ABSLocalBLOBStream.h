// The stream a dataset reads and writes one BLOB field of a record through: it forwards to the
// table data's BLOB stream and refuses writes when the field was opened for reading only. The
// cursor that opened it owns it and stores what was written when the BLOB is closed.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/access/ABSBaseCursor.h"
#include "framework/Stream.h"

namespace tabshift {

class TABSBlobStream;

class TABSLocalBLOBStream : public TStream {
 public:
  TABSLocalBLOBStream(std::unique_ptr<TABSBlobStream> blob, TABSBlobOpenMode mode, int field_no,
                      uint8_t* record);
  // Frees the underlying stream and its storage.
  ~TABSLocalBLOBStream() override;

  size_t Read(void* buffer, size_t count) override;
  // Read-only streams refuse with "Cannot write to read only stream" (10115).
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Read-only streams refuse with "Cannot write to read only stream" (10116).
  void SetSize(int64_t size) override;
  int64_t Size() override;

  TABSBlobOpenMode Mode() const { return mode_; }
  bool Writable() const { return mode_ != TABSBlobOpenMode::Read; }
  int FieldNo() const { return field_no_; }
  // The record buffer the BLOB belongs to.
  uint8_t* Record() const { return record_; }
  bool Modified() const;
  TABSBlobStream& Blob() { return *blob_; }

 private:
  std::unique_ptr<TABSBlobStream> blob_;
  TABSBlobOpenMode mode_;
  int field_no_;
  uint8_t* record_;
};

}  // namespace tabshift
