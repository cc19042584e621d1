// A small concrete dataset for the dataset base's tests: its rows live in a vector, each a
// record image of the field values, and its BLOB values in a list of contents that the record
// images point to by number.
//
// Record buffer: int32 row id (the bookmark), then per field a NULL flag byte followed by the
// field's native form (DataSize bytes), or for a BLOB field the int32 number of its content.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/DataSet.h"
#include "framework/Exception.h"
#include "framework/Stream.h"

namespace tabshift::testing {

class VectorDataSet : public TDataSet {
 public:
  explicit VectorDataSet(TComponent* owner = nullptr) : TDataSet(owner) {}
  ~VectorDataSet() override { Close(); }

  struct Row {
    int32_t id;
    std::vector<uint8_t> image;  // the record buffer without the row id
  };

  bool read_only = false;
  // Makes InternalPost raise before it stores anything.
  bool refuse_post = false;
  // Makes GetRecord raise after it moved the cursor, as a failed read does.
  bool refuse_read = false;
  int cancel_calls = 0;
  int edit_calls = 0;
  int live_buffers = 0;

  const std::vector<Row>& Rows() const { return rows_; }
  // The rows as another user would change them, behind the dataset's back.
  std::vector<Row>& SharedRows() { return rows_; }
  bool CanModify() const override { return !read_only; }

 protected:
  void InternalOpen() override {
    offsets_.clear();
    size_t offset = sizeof(int32_t);
    for (int i = 0; i < FieldDefs().Count(); ++i) {
      offsets_.push_back(offset);
      const TFieldDef& def = FieldDefs()[i];
      const int size = IsBlobFieldType(def.DataType) ? 4 : FieldDataSize(def.DataType, def.Size);
      offset += 1 + static_cast<size_t>(std::max(size, 0));
    }
    record_size_ = offset;
    SetBookmarkSize(sizeof(int32_t));
    position_ = -1;
    between_ = false;
  }
  void InternalClose() override {}
  size_t RecordSize() const override { return record_size_; }

  TRecordBuffer AllocRecordBuffer() override {
    ++live_buffers;
    return TDataSet::AllocRecordBuffer();
  }
  void FreeRecordBuffer(TRecordBuffer& buffer) override {
    --live_buffers;
    TDataSet::FreeRecordBuffer(buffer);
  }

  void InternalInitRecord(TRecordBuffer buffer) override {
    std::memset(buffer, 0, record_size_);
    const int32_t no_id = -1;
    std::memcpy(buffer, &no_id, sizeof no_id);
    for (size_t offset : offsets_) buffer[offset] = 1;
  }

  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool) override {
    const int count = static_cast<int>(rows_.size());
    if (mode == gmNext) {
      position_ = between_ ? position_ : position_ + 1;
      between_ = false;
      if (position_ >= count) {
        position_ = count;
        return grEOF;
      }
    } else if (mode == gmPrior) {
      position_ -= 1;
      between_ = false;
      if (position_ < 0) {
        position_ = -1;
        return grBOF;
      }
    } else if (between_ || position_ < 0 || position_ >= count) {
      return grEOF;
    }
    if (refuse_read) throw EDatabaseError("Read refused");
    const Row& row = rows_[static_cast<size_t>(position_)];
    std::memcpy(buffer, &row.id, sizeof row.id);
    std::memcpy(buffer + sizeof row.id, row.image.data(), row.image.size());
    return grOK;
  }

  void InternalFirst() override {
    position_ = -1;
    between_ = false;
  }
  void InternalLast() override {
    position_ = static_cast<int>(rows_.size());
    between_ = false;
  }
  void GetBookmarkData(const uint8_t* buffer, uint8_t* data) const override {
    std::memcpy(data, buffer, sizeof(int32_t));
  }
  void InternalGotoBookmark(const uint8_t* bookmark) override {
    int32_t id;
    std::memcpy(&id, bookmark, sizeof id);
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [id](const Row& row) { return row.id == id; });
    position_ = static_cast<int>(found - rows_.begin());
    between_ = false;
  }
  int GetRecordCount() override { return static_cast<int>(rows_.size()); }

  bool GetFieldData(const TField& field, void* buffer) override {
    const uint8_t* slot = ActiveBuffer() + offsets_[static_cast<size_t>(field.Index())];
    if (slot[0] != 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, slot + 1, static_cast<size_t>(field.DataSize()));
    return true;
  }
  void SetFieldData(const TField& field, const void* buffer) override {
    uint8_t* slot = ActiveBuffer() + offsets_[static_cast<size_t>(field.Index())];
    slot[0] = buffer == nullptr ? 1 : 0;
    if (buffer != nullptr) std::memcpy(slot + 1, buffer, static_cast<size_t>(field.DataSize()));
  }

  std::unique_ptr<TStream> InternalCreateBlobStream(TField& field, TBlobStreamMode mode) override {
    auto stream = std::make_unique<BlobStream>(*this, field, mode);
    uint8_t* slot = BlobSlot(field);
    if (mode != bmWrite && slot[0] == 0) {
      const std::string& content = blobs_[static_cast<size_t>(BlobNumber(slot))];
      stream->WriteBuffer(content.data(), content.size());
      stream->SetPosition(0);
    }
    return stream;
  }

  void InternalEdit() override { ++edit_calls; }
  void InternalInsert(bool append) override { appending_ = append; }
  void InternalCancel(bool) override { ++cancel_calls; }

  void InternalPost(bool inserting) override {
    if (refuse_post) throw EDatabaseError("Post refused");
    for (int i = 0; i < Fields().Count(); ++i) {
      const TField& field = Fields()[i];
      if (field.Required() && field.IsNull()) {
        throw EDatabaseError("Field '" + field.FieldName() + "' must have a value");
      }
    }
    Row row{next_id_,
            std::vector<uint8_t>(ActiveBuffer() + sizeof(int32_t), ActiveBuffer() + record_size_)};
    if (!inserting) {
      std::memcpy(&row.id, ActiveBuffer(), sizeof row.id);
      rows_[static_cast<size_t>(position_)] = std::move(row);
      return;
    }
    ++next_id_;
    std::memcpy(ActiveBuffer(), &row.id, sizeof row.id);
    const bool at_end = appending_ || position_ < 0 || position_ >= static_cast<int>(rows_.size());
    rows_.insert(at_end ? rows_.end() : rows_.begin() + position_, std::move(row));
  }

  void InternalDelete() override {
    rows_.erase(rows_.begin() + position_);
    between_ = true;
  }

 private:
  class BlobStream : public TMemoryStream {
   public:
    BlobStream(VectorDataSet& owner, TField& field, TBlobStreamMode mode)
        : owner_(owner), field_(field), mode_(mode) {}
    ~BlobStream() override {
      if (mode_ == bmRead) return;
      owner_.StoreBlob(field_, std::string(reinterpret_cast<const char*>(Memory()),
                                           static_cast<size_t>(Size())));
    }

   private:
    VectorDataSet& owner_;
    TField& field_;
    TBlobStreamMode mode_;
  };

  uint8_t* BlobSlot(const TField& field) const {
    return ActiveBuffer() + offsets_[static_cast<size_t>(field.Index())];
  }
  static int32_t BlobNumber(const uint8_t* slot) {
    int32_t number;
    std::memcpy(&number, slot + 1, sizeof number);
    return number;
  }
  void StoreBlob(TField& field, std::string content) {
    blobs_.push_back(std::move(content));
    uint8_t* slot = BlobSlot(field);
    slot[0] = 0;
    const auto number = static_cast<int32_t>(blobs_.size() - 1);
    std::memcpy(slot + 1, &number, sizeof number);
    NotifyFieldChanged(field);
  }

  std::vector<Row> rows_;
  std::vector<std::string> blobs_;
  std::vector<size_t> offsets_;
  size_t record_size_ = 0;
  int32_t next_id_ = 1;
  // The cursor: before the first row (-1), on row position_, or after the last (row count).
  // After a delete it lies between position_ - 1 and position_.
  int position_ = -1;
  bool between_ = false;
  bool appending_ = false;
};

}  // namespace tabshift::testing
