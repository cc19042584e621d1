// The key layout of a record index. A stored key holds, per index column, a NULL marker byte
// (1 for NULL) and the field's bytes from the record buffer; a column whose field is longer
// than its indexed size keeps only that prefix plus two reserved bytes. A full key has the same
// layout with every field whole; it settles ties between truncated prefixes. A prefix holds
// whole characters only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/access/ABSConverts.h"

namespace tabshift {

namespace index_error {
inline constexpr int32_t kCannotIndexBlob = 20295;
inline constexpr int32_t kUnknownDataType = 30050;
}  // namespace index_error

// What the index needs to know about one of its columns; the table data fills it from the
// index definition and the field definitions.
struct TABSIndexColumnInfo {
  std::string field_name;
  int32_t field_no = 0;
  BaseDataType base_type = bdtUnknown;
  int32_t buffer_offset = 0;
  int32_t buffer_size = 0;
  int32_t max_indexed_size = 20;
  bool descending = false;
  bool case_insensitive = false;
};

struct TABSRecordKeyColumn {
  int32_t stored_offset = 0;  // of the marker byte in a stored key
  int32_t stored_length = 0;  // data bytes in a stored key, without the reserved bytes
  // A wide column's odd indexed size leaves one byte after the prefix that holds no
  // character; it stays zero.
  int32_t padding = 0;
  int32_t full_offset = 0;
  int32_t full_length = 0;
  int32_t buffer_offset = 0;
  int32_t field_no = 0;
  int32_t truncation = 0;  // 2 reserved bytes after a truncated prefix, else 0
  BaseDataType base_type = bdtUnknown;
  bool descending = false;
  bool case_insensitive = false;
  int32_t partial_length = -1;  // characters compared in a leading-part search, -1 = all
};

class TABSRecordKeyRef {
 public:
  static constexpr int32_t kReferenceSize = 6;

  explicit TABSRecordKeyRef(std::span<const TABSIndexColumnInfo> columns);

  int32_t KeySize() const { return key_size_; }
  int32_t FullKeySize() const { return full_key_size_; }
  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }
  bool HasTruncatedColumns() const { return truncated_; }
  const TABSRecordKeyColumn& Column(int32_t i) const { return columns_[i]; }
  void SetPartialLength(int32_t column, int32_t length) {
    columns_[column].partial_length = length;
  }

  // The record buffer starts with the null bitmap: bit (n mod 8) of byte (n div 8) set when
  // field n is NULL.
  void BuildKey(const uint8_t* record, uint8_t* key) const;
  void BuildFullKey(const uint8_t* record, uint8_t* key) const;

  // Over the first `columns` columns. A tie on the stored prefix of a truncated column is
  // reported through `truncated_tie` and counts as equal.
  int CompareKeys(const uint8_t* left, const uint8_t* right, int32_t columns,
                  bool* truncated_tie) const;
  int CompareFullKeys(const uint8_t* left, const uint8_t* right, int32_t columns) const;

 private:
  std::vector<TABSRecordKeyColumn> columns_;
  int32_t key_size_ = 0;
  int32_t full_key_size_ = 0;
  bool truncated_ = false;
};

// Compares two values of a base type held in `length` bytes each. Strings stop at their zero
// terminator or after `partial_length` characters when that is not -1.
int CompareFieldValues(BaseDataType base, const uint8_t* left, const uint8_t* right, int32_t length,
                       bool ignore_case, int32_t partial_length);

}  // namespace tabshift
