// Shared helpers of the Udb reader tests: writing a file set with the test writer and checking
// what the reader's components make of it, value for value.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CsvExport.h"
#include "UdbWriter.h"
#include "framework/Stream.h"
#include "support/TempDirectory.h"
#include "udb/Udb.h"

namespace tabshift::udb::testing {

using namespace tabshift::udbgen;

// A file set opened under a fresh alias; closed and unregistered when the object goes.
struct OpenSet {
  OpenSet(const std::string& path, const std::string& password, TOpenMode mode = TOpenMode::Share,
          bool open = true) {
    static int counter = 0;
    file.SetAlias("set" + std::to_string(++counter));
    file.SetFileName(path);
    file.SetMode(mode);
    file.SetPassword(password);
    if (open) file.Open();
  }
  std::unique_ptr<TUdbTable> Table(const std::string& name) {
    std::unique_ptr<TUdbTable> table(OpenUdbTable(file.Alias(), name, true));
    return table;
  }
  TUdbFile file{nullptr};
};

inline int64_t IntegerOf(const Value& value) {
  if (const auto* i = std::get_if<int64_t>(&value)) return *i;
  if (const auto* d = std::get_if<Date>(&value)) return d->day;
  return 0;
}

inline std::string BlobBytes(const Value& value) {
  if (const auto* b = std::get_if<BlobValue>(&value)) return b->bytes;
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  return {};
}

// Every getter of one field of the current record against the written value.
inline void ExpectField(TUdbField& field, const FieldSpec& field_spec, const Value& value) {
  SCOPED_TRACE(field.FieldName());
  const Row row{value};
  const std::vector<FieldSpec> one{field_spec};
  switch (field_spec.type) {
    case UdbType::UInt8:
    case UdbType::Int16:
    case UdbType::Int32:
    case UdbType::Int64:
      EXPECT_EQ(field.AsLargeint(), IntegerOf(value));
      EXPECT_EQ(field.AsInteger(), static_cast<int32_t>(IntegerOf(value)));
      EXPECT_EQ(field.AsString(), std::to_string(IntegerOf(value)));
      EXPECT_EQ(field.AsFloat(), static_cast<double>(IntegerOf(value)));
      EXPECT_FALSE(field.AsVariant().is_integer);
      break;
    case UdbType::Double: {
      const double d = std::holds_alternative<double>(value) ? std::get<double>(value)
                                                             : double(IntegerOf(value));
      EXPECT_EQ(field.AsFloat(), d);
      EXPECT_EQ(field.AsInteger(), static_cast<int32_t>(std::nearbyint(d)));
      EXPECT_EQ(field.AsString() + "\n", CsvLine(one, row));
      break;
    }
    case UdbType::Date:
      EXPECT_EQ(field.AsInteger(), IntegerOf(value));
      EXPECT_EQ(field.AsString(), DayText(static_cast<int32_t>(IntegerOf(value))));
      EXPECT_TRUE(field.AsVariant().is_integer);
      EXPECT_EQ(field.AsVariant().integer, IntegerOf(value));
      EXPECT_EQ(field.AsFloat(), static_cast<double>(IntegerOf(value)));
      break;
    case UdbType::Text:
      EXPECT_EQ(field.AsString(), std::get<std::string>(value));
      EXPECT_EQ(field.AsVariant().text, std::get<std::string>(value));
      break;
    case UdbType::Bytes: {
      std::vector<uint8_t> data(field.FieldSize());
      field.GetData(data.data());
      std::string expected = std::get<std::string>(value);
      expected.resize(field.FieldSize(), '\0');
      EXPECT_EQ(std::string(data.begin(), data.end()), expected);
      EXPECT_EQ(field.AsString(), "<Binary data>");
      EXPECT_EQ(field.BlobSize(), field.FieldSize());
      TMemoryStream stream;
      field.ReadBlob(stream);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size()),
                expected);
      break;
    }
    case UdbType::Blob: {
      const std::string bytes = BlobBytes(value);
      EXPECT_EQ(field.BlobSize(), bytes.size());
      EXPECT_EQ(field.AsInteger(), static_cast<int32_t>(bytes.size()));
      TMemoryStream stream;
      field.ReadBlob(stream);
      EXPECT_TRUE(std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size()) ==
                  bytes);
      break;
    }
  }
}

// Walks the whole table and compares every record with `rows`.
inline void ExpectRows(TUdbTable& table, const std::vector<FieldSpec>& fields,
                       const std::vector<Row>& rows) {
  ASSERT_EQ(table.FieldCount(), static_cast<int>(fields.size()));
  EXPECT_EQ(table.RecordCount(), static_cast<int64_t>(rows.size()));
  size_t index = 0;
  for (table.First(); table.FetchNext(); ++index) {
    ASSERT_LT(index, rows.size());
    EXPECT_EQ(table.Position(), static_cast<int64_t>(index));
    for (size_t f = 0; f < fields.size(); ++f) {
      ExpectField(table.Fields(static_cast<int>(f)), fields[f], rows[index][f]);
    }
  }
  EXPECT_EQ(index, rows.size());
}

}  // namespace tabshift::udb::testing
