// Appending rows of ten mixed fields with one index to a memory table, as the upgrade does
// with each batch. Reports rows per second and the engine's peak bytes in use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/ABSMemEngine.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {
namespace {

void DefineFields(TABSFieldDefs& fields) {
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

void BM_AppendRowsWithOneIndex(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  int64_t peak = 0;
  for (auto _ : state) {
    const int64_t before = MemoryManager().BytesInUse();
    TABSFieldDefs fields;
    DefineFields(fields);
    TABSIndexDefs indexes;
    TABSIndexDef& index = indexes.AddNewItem();
    index.Name = "ByID";
    index.Columns.push_back({"ID"});
    TABSCursorState cursor;
    cursor.table_name = "Bench";
    auto& table = static_cast<TABSMemoryTableData&>(MemoryDatabaseData().GetTableData(cursor));
    table.CreateTable(cursor, fields, indexes, {});
    std::vector<uint8_t> buffer(static_cast<size_t>(cursor.record_buffer_size));
    cursor.record_buffer = buffer.data();
    TABSBaseFieldManager& manager = *table.FieldManager();
    const std::string name = "A customer name of some length";
    for (int32_t row = 0; row < rows; ++row) {
      std::fill(buffer.begin(), buffer.end(), 0);
      std::fill_n(buffer.begin(), manager.NullBitmapSize(), 0xFF);
      const int32_t id = row;
      const std::string code = std::to_string(row % 100000);
      const int16_t qty = static_cast<int16_t>(row % 1000);
      const int64_t total = int64_t{row} * 37;
      const double price = row * 0.25;
      const int32_t day = 730000 + row % 3650;
      const int16_t flag = static_cast<int16_t>(row & 1);
      const double stamp = 738000.5 + row;
      manager.SetFieldData(0, &id, buffer.data());
      manager.SetFieldData(1, code.c_str(), buffer.data());
      manager.SetFieldData(2, name.c_str(), buffer.data());
      manager.SetFieldData(3, &qty, buffer.data());
      manager.SetFieldData(4, &total, buffer.data());
      manager.SetFieldData(5, &price, buffer.data());
      manager.SetFieldData(6, &day, buffer.data());
      manager.SetFieldData(7, &flag, buffer.data());
      if (row % 4 == 0) manager.SetFieldData(8, name.c_str(), buffer.data());
      manager.SetFieldData(9, &stamp, buffer.data());
      table.InsertRecord(cursor);
    }
    peak = std::max(peak, MemoryManager().BytesInUse() - before);
    table.DropTable(cursor, false);
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["peak_engine_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
}
BENCHMARK(BM_AppendRowsWithOneIndex)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tabshift
