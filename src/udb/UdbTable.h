// TUdbTable opens one table of a file set by alias and name and walks its records in stored
// order; TUdbField reads a field of the current record in the forms the converter needs. Both
// are read-only views.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Stream.h"
#include "udb/UdbFile.h"

namespace tabshift::udb {

class TUdbTable;

// A field value as the converter takes it: a day number for dates, text for everything else.
struct TUdbVariant {
  bool is_integer = false;
  int32_t integer = 0;
  std::string text;
};

class TUdbField : public TComponent {
 public:
  static constexpr uint32_t kBlobChunk = 32768;

  TUdbField(TUdbTable& table, int position);
  const char* ClassName() const override { return "TUdbField"; }

  int Position() const { return position_; }
  const std::string& FieldName() const { return name_; }
  uint8_t FieldType() const { return type_; }
  uint16_t FieldSize() const { return size_; }

  int32_t AsInteger();
  std::string AsString();
  double AsFloat();
  int64_t AsLargeint();
  TUdbVariant AsVariant();
  // Copies the declared size's stored bytes.
  void GetData(void* buffer);
  uint32_t BlobSize();
  // Appends the whole value, read in chunks of at most 32768 bytes.
  void ReadBlob(TStream& stream);

 private:
  bool RangeEmpty() const;
  // The stored bytes of the current record's value, at most `room` of them, zero-filled.
  void ReadValue(uint8_t* bytes, size_t room);
  std::string StoredText();
  void Check(int32_t code);

  TUdbTable& table_;
  int position_;
  std::string name_;
  uint8_t type_ = 0;
  uint16_t size_ = 0;
};

class TUdbTable : public TComponent {
 public:
  explicit TUdbTable(TComponent* owner = nullptr);
  ~TUdbTable() override;
  const char* ClassName() const override { return "TUdbTable"; }

  bool Active() const { return active_; }
  void SetActive(bool active) { active ? Open() : Close(); }
  void Open();
  void Close();

  const std::string& Alias() const { return alias_; }
  void SetAlias(const std::string& alias);
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);

  TUdbFile* FileSet() const { return file_; }
  int TableIndexInFile() const { return table_index_; }
  uint8_t KeyFieldCount() const { return key_field_count_; }
  uint16_t PageSize() const { return page_size_; }
  uint32_t RecordSize() const { return record_size_; }
  uint32_t RecordsPerPage() const { return records_per_page_; }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TUdbField& Fields(int index) const { return *fields_.at(static_cast<size_t>(index)); }

  uint32_t TableVersion();
  int64_t RecordCount();
  void First();
  void Next();
  bool FetchNext();
  int64_t Position() const { return position_; }
  bool Eof() const { return end_; }
  bool Bof() const { return start_; }
  int64_t RecordNumber() const { return low_ + position_; }
  bool RangeEmpty() const { return low_ == high_; }

  // Raises EUdbError for a nonzero code, naming this table and `field`.
  void Check(int32_t code, std::string_view field = {});

 private:
  void Bind();
  void Unbind();
  void ComputeRange();

  std::string alias_;
  std::string table_name_;
  bool active_ = false;
  TUdbFile* file_ = nullptr;
  int table_index_ = -1;
  uint8_t key_field_count_ = 0;
  uint16_t page_size_ = 0;
  uint32_t record_size_ = 0;
  uint32_t records_per_page_ = 0;
  std::vector<TUdbField*> fields_;
  // Key values bounding the visited range; this program never sets them.
  std::vector<std::string> range_start_;
  std::vector<std::string> range_end_;
  int64_t low_ = 0;
  int64_t high_ = 0;
  uint32_t cached_version_ = 0;
  int64_t position_ = 0;
  bool end_ = true;
  bool start_ = true;
  int64_t last_fetched_ = -1;
};

// A table without owner bound to `alias`; opened and positioned on its first record when
// `open` is set. The caller frees it.
TUdbTable* OpenUdbTable(const std::string& alias, const std::string& table_name, bool open);

}  // namespace tabshift::udb
