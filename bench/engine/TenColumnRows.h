// The rows the engine benchmarks append: ten mixed columns (integers of three sizes, texts of
// 10 and 40 characters, a float, a date, a logical, a date-time) with values from the row number.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "engine/access/ABSBase.h"

namespace tabshift::bench {

inline void DefineTenColumns(TABSFieldDefs& fields) {
  const std::pair<const char*, AdvancedDataType> columns[] = {
      {"ID", adtInteger},     {"CODE", adtString},   {"NAME", adtString}, {"QTY", adtSmallInt},
      {"TOTAL", adtLargeInt}, {"PRICE", adtFloat},   {"DAY", adtDate},    {"FLAG", adtLogical},
      {"NOTE", adtString},    {"STAMP", adtDateTime}};
  for (const auto& [name, type] : columns) {
    TABSFieldDef& field = fields.AddNewItem();
    field.Name = name;
    const bool text = type == adtString;
    field.SetDataType(type, text ? (std::string(name) == "CODE" ? 10 : 40) : 0);
  }
}

// The one index the benchmarks keep up while appending: "ByID" over ID.
inline void DefineIdIndex(TABSIndexDefs& indexes) {
  TABSIndexDef& index = indexes.AddNewItem();
  index.Name = "ByID";
  index.Columns.push_back({"ID"});
}

// Calls set(field number, exchange-format value) for every column of row `row` that is not NULL
// (NOTE is set on every fourth row).
template <typename SetField>
void WriteTenColumnRow(int32_t row, SetField&& set) {
  static const std::string kName = "A customer name of some length";
  const std::string code = std::to_string(row % 100000);
  const auto qty = static_cast<int16_t>(row % 1000);
  const int64_t total = int64_t{row} * 37;
  const double price = row * 0.25;
  const int32_t day = 730000 + row % 3650;
  const auto flag = static_cast<int16_t>(row & 1);
  const double stamp = 738000.5 + row;
  set(0, &row);
  set(1, code.c_str());
  set(2, kName.c_str());
  set(3, &qty);
  set(4, &total);
  set(5, &price);
  set(6, &day);
  set(7, &flag);
  if (row % 4 == 0) set(8, kName.c_str());
  set(9, &stamp);
}

}  // namespace tabshift::bench
