#include "engine/access/ABSLocalBLOBStream.h"

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {

namespace {

constexpr int32_t kWriteReadOnly = 10115;
constexpr int32_t kResizeReadOnly = 10116;

}  // namespace

TABSLocalBLOBStream::TABSLocalBLOBStream(std::unique_ptr<TABSBlobStream> blob,
                                         TABSBlobOpenMode mode, int field_no, uint8_t* record)
    : blob_(std::move(blob)), mode_(mode), field_no_(field_no), record_(record) {}

TABSLocalBLOBStream::~TABSLocalBLOBStream() = default;

size_t TABSLocalBLOBStream::Read(void* buffer, size_t count) {
  return blob_->Read(buffer, count);
}

size_t TABSLocalBLOBStream::Write(const void* buffer, size_t count) {
  if (!Writable()) RaiseEngineError(kWriteReadOnly, "Cannot write to read only stream");
  return blob_->Write(buffer, count);
}

int64_t TABSLocalBLOBStream::Seek(int64_t offset, SeekOrigin origin) {
  return blob_->Seek(offset, origin);
}

void TABSLocalBLOBStream::SetSize(int64_t size) {
  if (!Writable()) RaiseEngineError(kResizeReadOnly, "Cannot write to read only stream");
  blob_->SetSize(size);
}

int64_t TABSLocalBLOBStream::Size() {
  return blob_->Size();
}

bool TABSLocalBLOBStream::Modified() const {
  return blob_->Modified();
}

}  // namespace tabshift
