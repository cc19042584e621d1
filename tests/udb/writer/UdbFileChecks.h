// Checks of a whole written file against its description, reading it by the format rules.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "UdbFileView.h"
#include "UdbStreamWriter.h"
#include "UdbWriter.h"

namespace tabshift::udbgen::testing {

// The value of a row in the form the file stores it, for comparison with the file's bytes.
inline std::string Expected(const FieldSpec& field, const Value& value) {
  uint8_t bytes[8] = {};
  switch (field.type) {
    case UdbType::Text:
      return std::get<std::string>(value);
    case UdbType::Bytes: {  // compared without the zero bytes that pad it
      std::string bytes = std::get<std::string>(value);
      while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
      return bytes;
    }
    case UdbType::Blob: {
      BlobValue holder;
      return AsBlob(value, holder)->bytes;
    }
    case UdbType::Double:
      std::memcpy(bytes, &std::get<double>(value), 8);
      return std::string(reinterpret_cast<char*>(bytes), 8);
    default: {
      const int64_t integer =
          field.type == UdbType::Date ? std::get<Date>(value).day : std::get<int64_t>(value);
      const uint16_t size = DeclaredSize(field);
      for (int i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(integer >> (8 * i));
      return std::string(reinterpret_cast<char*>(bytes), size);
    }
  }
}

inline std::string Stored(const UdbFileView& view, const TableLayout& table, const FieldSpec& field,
                          const uint8_t* at) {
  switch (field.type) {
    case UdbType::Text:
      return std::string(reinterpret_cast<const char*>(at + 1), at[0]);
    case UdbType::Bytes: {
      std::string bytes(reinterpret_cast<const char*>(at), field.size);
      while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
      return bytes;
    }
    case UdbType::Blob:
      return view.Blob(table, Get32(at), Get32(at + 4));
    default:
      return std::string(reinterpret_cast<const char*>(at), DeclaredSize(field));
  }
}

// Checks every table of a written file against its description, reading the file by the rules.
inline void ExpectFileHolds(const UdbFileView& view, const UdbDescription& description,
                            const UdbFileLayout& layout) {
  for (size_t t = 0; t < description.tables.size(); ++t) {
    const TableSpec& described = description.tables[t];
    const TableLayout& table = layout.tables[t];
    const std::vector<uint8_t> head = view.Block(table.primary_head, 512);
    EXPECT_EQ(head, view.Block(table.back_head, 512));
    EXPECT_EQ(Get32(&head[2]), table.data_pages.size());
    EXPECT_EQ(Get32(&head[6]), table.blob_pages.size());
    EXPECT_EQ(Get32(&head[18]), described.rows.size());
    EXPECT_EQ(Get32(&head[22]), table.blob_end);
    EXPECT_EQ(Get32(&head[26]), described.version);
    EXPECT_EQ(Get32(&head[30]), table.page_index);
    EXPECT_EQ(view.Chain(Get32(&head[10]), Get32(&head[2]), table.page_size), table.data_pages);
    EXPECT_EQ(view.Chain(Get32(&head[14]), Get32(&head[6]), table.page_size), table.blob_pages);
    const std::vector<Row> rows = StoredRows(described);
    for (uint32_t n = 0; n < rows.size(); ++n) {
      const std::vector<uint8_t> record = view.Record(table, n);
      for (size_t f = 0; f < described.fields.size(); ++f) {
        const FieldSpec& field = described.fields[f];
        ASSERT_EQ(Stored(view, table, field, &record[table.field_offsets[f]]),
                  Expected(field, rows[n][f]))
            << described.name << " record " << n << " field " << field.name;
      }
    }
  }
}

}  // namespace tabshift::udbgen::testing
