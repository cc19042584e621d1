// A small table for index tests: records of INTEGER, STRING and WIDESTRING fields held in
// memory, read
// back by record id as the table data does for indexes with truncated columns.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift::testing {

struct FieldSpec {
  BaseDataType type = bdtInteger;
  int32_t size = 0;  // characters for STRING and WIDESTRING
};

// A field value; nullopt is NULL.
struct Value {
  std::optional<int32_t> number;
  std::optional<std::string> text;
  std::optional<std::u16string> wide;
  bool IsNull() const { return !number && !text && !wide; }

  static Value Number(int32_t value) {
    Value result;
    result.number = value;
    return result;
  }
  static Value Text(std::string value) {
    Value result;
    result.text = std::move(value);
    return result;
  }
  static Value Wide(std::u16string value) {
    Value result;
    result.wide = std::move(value);
    return result;
  }
};

class TestTable : public TABSIndexTableAccess {
 public:
  explicit TestTable(std::vector<FieldSpec> fields) : fields_(std::move(fields)) {
    int32_t offset = 1;  // one null bitmap byte
    for (const FieldSpec& field : fields_) {
      offsets_.push_back(offset);
      offset += BufferSize(field);
    }
    record_size_ = offset;
  }

  static int32_t BufferSize(const FieldSpec& field) {
    if (field.type == bdtInteger) return 4;
    return IsWide(field.type) ? (field.size + 1) * 2 : field.size + 1;
  }

  static bool IsWide(BaseDataType type) { return type == bdtWideChar || type == bdtWideString; }

  TABSIndexColumnInfo Column(int32_t field_no, bool descending = false,
                             bool case_insensitive = false) const {
    TABSIndexColumnInfo column;
    column.field_name = std::to_string(field_no);
    column.field_name.insert(column.field_name.begin(), 'F');
    column.field_no = field_no;
    column.base_type = fields_[field_no].type;
    column.buffer_offset = offsets_[field_no];
    column.buffer_size = BufferSize(fields_[field_no]);
    column.descending = descending;
    column.case_insensitive = case_insensitive;
    return column;
  }

  std::vector<uint8_t> Record(const std::vector<Value>& values) const {
    std::vector<uint8_t> record(record_size_, 0);
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i].IsNull()) {
        record[0] |= static_cast<uint8_t>(1u << i);
      } else if (values[i].number) {
        std::memcpy(&record[offsets_[i]], &*values[i].number, 4);
      } else if (values[i].wide) {
        std::memcpy(&record[offsets_[i]], values[i].wide->data(),
                    std::min<size_t>(values[i].wide->size(), fields_[i].size) * 2);
      } else {
        std::memcpy(&record[offsets_[i]], values[i].text->data(),
                    std::min<size_t>(values[i].text->size(), fields_[i].size));
      }
    }
    return record;
  }

  void Store(const TABSRecordId& id, std::vector<uint8_t> record) {
    records_[Key(id)] = std::move(record);
  }
  void Remove(const TABSRecordId& id) { records_.erase(Key(id)); }

  bool ReadRecordBuffer(int32_t, const TABSRecordId& id, std::vector<uint8_t>& record) override {
    ++lookups;
    const auto found = records_.find(Key(id));
    if (found == records_.end()) return false;
    record = found->second;
    return true;
  }

  int64_t lookups = 0;

 private:
  static int64_t Key(const TABSRecordId& id) {
    return (static_cast<int64_t>(id.page_no) << 16) | static_cast<uint16_t>(id.item_no);
  }

  std::vector<FieldSpec> fields_;
  std::vector<int32_t> offsets_;
  int32_t record_size_ = 0;
  std::map<int64_t, std::vector<uint8_t>> records_;
};

}  // namespace tabshift::testing
