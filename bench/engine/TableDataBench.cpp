// Appending rows of ten mixed fields with one index to a memory table, as the upgrade does
// with each batch. Reports rows per second and the engine's peak bytes in use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TenColumnRows.h"
#include "engine/core/ABSMemEngine.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {
namespace {

void BM_AppendRowsWithOneIndex(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  int64_t peak = 0;
  for (auto _ : state) {
    const int64_t before = MemoryManager().BytesInUse();
    TABSFieldDefs fields;
    bench::DefineTenColumns(fields);
    TABSIndexDefs indexes;
    bench::DefineIdIndex(indexes);
    TABSCursorState cursor;
    cursor.table_name = "Bench";
    auto& table = static_cast<TABSMemoryTableData&>(MemoryDatabaseData().GetTableData(cursor));
    table.CreateTable(cursor, fields, indexes, {});
    std::vector<uint8_t> buffer(static_cast<size_t>(cursor.record_buffer_size));
    cursor.record_buffer = buffer.data();
    TABSBaseFieldManager& manager = *table.FieldManager();
    for (int32_t row = 0; row < rows; ++row) {
      std::fill(buffer.begin(), buffer.end(), 0);
      std::fill_n(buffer.begin(), manager.NullBitmapSize(), 0xFF);
      bench::WriteTenColumnRow(row, [&](int field_no, const void* value) {
        manager.SetFieldData(field_no, value, buffer.data());
      });
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
