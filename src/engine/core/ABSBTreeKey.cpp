#include "engine/core/ABSBTreeKey.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSExtended.h"
#include "platform/Collation.h"

namespace tabshift {
namespace {

template <typename T>
T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

template <typename T>
int Order(T left, T right) {
  return left < right ? -1 : (right < left ? 1 : 0);
}

bool IsWideType(BaseDataType base) {
  return base == bdtWideChar || base == bdtWideString;
}

bool IsBlobType(BaseDataType base) {
  return base == bdtBlob || base == bdtMemo || base == bdtWideMemo;
}

int CompareAnsiValues(const uint8_t* left, const uint8_t* right, int32_t length, bool ignore_case,
                      int32_t partial_length) {
  const size_t limit = partial_length >= 0 ? std::min<size_t>(partial_length, length) : length;
  const auto* l = reinterpret_cast<const char*>(left);
  const auto* r = reinterpret_cast<const char*>(right);
  return platform::CompareAnsi(std::string_view(l, strnlen(l, limit)),
                               std::string_view(r, strnlen(r, limit)), ignore_case);
}

// Wide values may sit at odd offsets in a key, so they are copied out before comparing.
std::u16string WideValue(const uint8_t* p, size_t units) {
  std::u16string text(units, u'\0');
  std::memcpy(text.data(), p, units * 2);
  const char16_t* end = std::char_traits<char16_t>::find(text.data(), units, u'\0');
  if (end != nullptr) text.resize(static_cast<size_t>(end - text.data()));
  return text;
}

int CompareWideValues(const uint8_t* left, const uint8_t* right, int32_t length, bool ignore_case,
                      int32_t partial_length) {
  size_t units = static_cast<size_t>(length) / 2;
  if (partial_length >= 0) units = std::min<size_t>(units, partial_length);
  return platform::CompareWide(WideValue(left, units), WideValue(right, units), ignore_case);
}

}  // namespace

int CompareFieldValues(BaseDataType base, const uint8_t* left, const uint8_t* right, int32_t length,
                       bool ignore_case, int32_t partial_length) {
  switch (base) {
    case bdtChar:
    case bdtString:
    case bdtBytes:
      return CompareAnsiValues(left, right, length, ignore_case, partial_length);
    case bdtWideChar:
    case bdtWideString:
      return CompareWideValues(left, right, length, ignore_case, partial_length);
    case bdtShortInt:
      return Order(Load<int8_t>(left), Load<int8_t>(right));
    case bdtSmallInt:
      return Order(Load<int16_t>(left), Load<int16_t>(right));
    case bdtInteger:
    case bdtDate:
    case bdtTime:
      return Order(Load<int32_t>(left), Load<int32_t>(right));
    case bdtLargeInt:
      return Order(Load<int64_t>(left), Load<int64_t>(right));
    case bdtByte:
      return Order(Load<uint8_t>(left), Load<uint8_t>(right));
    case bdtWord:
      return Order(Load<uint16_t>(left), Load<uint16_t>(right));
    case bdtCardinal:
      return Order(Load<uint32_t>(left), Load<uint32_t>(right));
    case bdtSingle:
      return Order(Load<float>(left), Load<float>(right));
    case bdtFloat:
    case bdtCurrency:
      return Order(Load<double>(left), Load<double>(right));
    case bdtExtended:
      return Order(ExtendedToDouble(Load<Extended80>(left)),
                   ExtendedToDouble(Load<Extended80>(right)));
    case bdtDateTime: {
      const int by_date = Order(Load<int32_t>(left), Load<int32_t>(right));
      return by_date != 0 ? by_date : Order(Load<int32_t>(left + 4), Load<int32_t>(right + 4));
    }
    case bdtLogical:
      return Order(Load<int16_t>(left) != 0, Load<int16_t>(right) != 0);
    default:
      throw EABSException(index_error::kUnknownDataType, "Unknown DataType: '%s'",
                          {std::string(DataTypeName(base))});
  }
}

TABSRecordKeyRef::TABSRecordKeyRef(std::span<const TABSIndexColumnInfo> columns) {
  for (const TABSIndexColumnInfo& info : columns) {
    if (IsBlobType(info.base_type)) {
      throw EABSException(index_error::kCannotIndexBlob,
                          "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not "
                          "supported yet, please use CAST(blob_field, string) function to "
                          "convert BLOB field to a string expression before indexing.",
                          {info.field_name});
    }
    TABSRecordKeyColumn column;
    column.stored_offset = key_size_;
    column.full_offset = full_key_size_;
    column.full_length = info.buffer_size;
    column.buffer_offset = info.buffer_offset;
    column.field_no = info.field_no;
    column.base_type = info.base_type;
    column.descending = info.descending;
    column.case_insensitive = info.case_insensitive;
    const int32_t indexed = info.max_indexed_size > 0 ? info.max_indexed_size : 20;
    const bool truncate = indexed < info.buffer_size;
    column.stored_length = truncate ? indexed : info.buffer_size;
    if (truncate && IsWideType(info.base_type)) {
      column.padding = column.stored_length % 2;
      column.stored_length -= column.padding;
    }
    column.truncation = truncate ? 2 : 0;
    truncated_ = truncated_ || truncate;
    key_size_ += 1 + column.stored_length + column.padding + column.truncation;
    full_key_size_ += 1 + info.buffer_size;
    columns_.push_back(column);
  }
}

void TABSRecordKeyRef::BuildKey(const uint8_t* record, uint8_t* key) const {
  std::memset(key, 0, key_size_);
  for (const TABSRecordKeyColumn& column : columns_) {
    const bool null = (record[column.field_no / 8] >> (column.field_no % 8)) & 1;
    key[column.stored_offset] = null ? 1 : 0;
    if (!null) {
      std::memcpy(key + column.stored_offset + 1, record + column.buffer_offset,
                  column.stored_length);
    }
  }
}

void TABSRecordKeyRef::BuildFullKey(const uint8_t* record, uint8_t* key) const {
  std::memset(key, 0, full_key_size_);
  for (const TABSRecordKeyColumn& column : columns_) {
    const bool null = (record[column.field_no / 8] >> (column.field_no % 8)) & 1;
    key[column.full_offset] = null ? 1 : 0;
    if (!null) {
      std::memcpy(key + column.full_offset + 1, record + column.buffer_offset, column.full_length);
    }
  }
}

namespace {

// Whether a truncated prefix may hide a difference: the value runs to the end of the prefix.
bool FillsPrefix(const TABSRecordKeyColumn& column, const uint8_t* data) {
  if (IsWideType(column.base_type)) {
    for (int32_t i = 0; i + 1 < column.stored_length; i += 2) {
      if (data[i] == 0 && data[i + 1] == 0) return false;
    }
    return true;
  }
  return std::memchr(data, 0, column.stored_length) == nullptr;
}

int CompareColumn(const TABSRecordKeyColumn& column, const uint8_t* left, const uint8_t* right,
                  int32_t length) {
  const bool left_null = left[0] != 0;
  const bool right_null = right[0] != 0;
  int result;
  if (left_null || right_null) {
    result = Order(!left_null, !right_null);
  } else {
    result = CompareFieldValues(column.base_type, left + 1, right + 1, length,
                                column.case_insensitive, column.partial_length);
  }
  return column.descending ? -result : result;
}

// Whether a leading-part comparison of the column ends inside its stored prefix, so that the
// prefix alone decides it as the whole values would.
bool PartWithinPrefix(const TABSRecordKeyColumn& column) {
  if (column.partial_length < 0) return false;
  const int32_t unit = IsWideType(column.base_type) ? 2 : 1;
  return static_cast<int64_t>(column.partial_length) * unit <= column.stored_length;
}

int CompareBaseLetters(const TABSRecordKeyColumn& column, const uint8_t* left,
                       const uint8_t* right) {
  const size_t length = static_cast<size_t>(column.stored_length);
  int result;
  if (IsWideType(column.base_type)) {
    result =
        platform::CompareWideBaseLetters(WideValue(left, length / 2), WideValue(right, length / 2));
  } else {
    result = platform::CompareAnsiBaseLetters(
        std::string_view(reinterpret_cast<const char*>(left), length),
        std::string_view(reinterpret_cast<const char*>(right), length));
  }
  return column.descending ? -result : result;
}

}  // namespace

int TABSRecordKeyRef::CompareKeys(const uint8_t* left, const uint8_t* right, int32_t columns,
                                  bool* truncated_tie) const {
  if (truncated_tie != nullptr) *truncated_tie = false;
  const int32_t count = std::min<int32_t>(columns, ColumnCount());
  for (int32_t i = 0; i < count; ++i) {
    const TABSRecordKeyColumn& column = columns_[i];
    const uint8_t* l = left + column.stored_offset;
    const uint8_t* r = right + column.stored_offset;
    // Two cut-off values are ordered by their prefixes only where the base letters differ: a
    // case or accent difference in the prefix can be outweighed by the letters cut off. Short
    // of that, later columns cannot decide either, and the whole values must be compared. A
    // leading part longer than the prefix is cut off the same way.
    if (column.truncation != 0 && l[0] == 0 && r[0] == 0 && !PartWithinPrefix(column) &&
        FillsPrefix(column, l + 1) && FillsPrefix(column, r + 1)) {
      const int result = CompareBaseLetters(column, l + 1, r + 1);
      if (result != 0) return result;
      if (truncated_tie != nullptr) *truncated_tie = true;
      return 0;
    }
    const int result = CompareColumn(column, l, r, column.stored_length);
    if (result != 0) return result;
  }
  return 0;
}

int TABSRecordKeyRef::CompareFullKeys(const uint8_t* left, const uint8_t* right,
                                      int32_t columns) const {
  const int32_t count = std::min<int32_t>(columns, ColumnCount());
  for (int32_t i = 0; i < count; ++i) {
    const TABSRecordKeyColumn& column = columns_[i];
    const int result = CompareColumn(column, left + column.full_offset, right + column.full_offset,
                                     column.full_length);
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace tabshift
