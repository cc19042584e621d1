// Posting rows of ten mixed fields through the local cursor into a memory table with one
// index, and reading them back with navigation and the field getters: the engine's share of
// a dataset's Append/Post and First/Next. Reports rows per second and the peak bytes in use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>

#include <string>
#include <utility>

#include "TenColumnRows.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/access/ABSLocalSession.h"
#include "engine/core/ABSMemory.h"

namespace tabshift {
namespace {

constexpr const char* kTable = "CursorBench";

void CreateBenchTable(TABSBaseSession& session) {
  TABSFieldDefs fields;
  bench::DefineTenColumns(fields);
  TABSIndexDefs indexes;
  bench::DefineIdIndex(indexes);
  TABSLocalCursor cursor(session);
  cursor.TableName = kTable;
  cursor.CreateTable(fields, indexes, {});
}

void AppendRows(TABSLocalCursor& cursor, int32_t rows) {
  for (int32_t row = 0; row < rows; ++row) {
    cursor.InitRecord(cursor.CurrentRecord, true);
    bench::WriteTenColumnRow(
        row, [&](int field_no, const void* value) { cursor.SetFieldData(field_no, value); });
    if (cursor.PostRecord(true) != 0) throw std::runtime_error(cursor.ResultText());
  }
}

class BenchTable {
 public:
  BenchTable() : cursor(session) {
    session.DatabaseName = "MEMORY";
    session.SetConnected(true);
    CreateBenchTable(session);
    cursor.TableName = kTable;
    cursor.OpenTable({}, {}, {});
    cursor.CurrentRecord = cursor.AllocateRecordBuffer();
  }
  ~BenchTable() {
    cursor.FreeRecordBuffer(cursor.CurrentRecord);
    cursor.CloseTable();
    cursor.DeleteTable();
  }

  TABSLocalSession session;
  TABSLocalCursor cursor;
};

void BM_CursorAppendPost(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  int64_t peak = 0;
  for (auto _ : state) {
    const int64_t before = MemoryManager().BytesInUse();
    BenchTable table;
    AppendRows(table.cursor, rows);
    peak = std::max(peak, MemoryManager().BytesInUse() - before);
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["peak_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
}
BENCHMARK(BM_CursorAppendPost)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CursorReadBack(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  BenchTable table;
  AppendRows(table.cursor, rows);
  int64_t checksum = 0;
  for (auto _ : state) {
    table.cursor.MoveToBeginning();
    while (table.cursor.NavigateRecord(TABSGetRecordMode::Next) == TABSReadResult::Found) {
      int32_t id = 0;
      int64_t total = 0;
      double price = 0;
      char name[41];
      table.cursor.GetFieldData(0, &id);
      table.cursor.GetFieldData(2, name);
      table.cursor.GetFieldData(4, &total);
      table.cursor.GetFieldData(5, &price);
      checksum += id + total;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_CursorReadBack)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tabshift
