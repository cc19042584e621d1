// A selective range filter on an indexed memory table of 1,000,000 rows: through the scan
// planner, which visits the index range, against the walk over every record that the same
// filter takes without range conditions. Each iteration finds the filtered set anew (as after
// a change of the table) and reads every record of it.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSMemEngine.h"
#include "engine/core/ABSScanPlanner.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {
namespace {

constexpr int32_t kRows = 1000000;
constexpr int32_t kLow = 400000;
constexpr int32_t kHigh = 401000;  // about 1000 rows: values are drawn from 0 .. kRows - 1

// Fields A (indexed, random) and B (the row number).
struct BenchTable {
  BenchTable() {
    TABSFieldDefs fields;
    for (const char* name : {"A", "B"}) {
      TABSFieldDef& field = fields.AddNewItem();
      field.Name = name;
      field.SetDataType(adtInteger, 0);
    }
    TABSIndexDefs indexes;
    TABSIndexDef& index = indexes.AddNewItem();
    index.Name = "ByA";
    index.Columns.push_back({"A"});
    cursor.table_name = "PlannerBench";
    table = &MemoryDatabaseData().GetTableData(cursor);
    table->CreateTable(cursor, fields, indexes, {});
    buffer.assign(static_cast<size_t>(cursor.record_buffer_size), 0);
    cursor.record_buffer = buffer.data();
    std::mt19937 random(5);
    TABSBaseFieldManager& manager = *table->FieldManager();
    for (int32_t row = 0; row < kRows; ++row) {
      const auto a = static_cast<int32_t>(random() % kRows);
      manager.SetFieldData(0, &a, buffer.data());
      manager.SetFieldData(1, &row, buffer.data());
      table->InsertRecord(cursor);
    }
    index_id = table->IndexManager()->IndexDefs().ItemByName("ByA")->ObjectID;
  }

  int32_t A(const uint8_t* record) const {
    int32_t value = 0;
    return table->FieldManager()->GetFieldData(0, &value, record) ? value : -1;
  }

  void AddCondition(TABSScanSearchConditionArray& conditions, TABSScanOperator op, int32_t a) {
    std::vector<uint8_t> record(buffer.size(), 0);
    table->FieldManager()->SetFieldData(0, &a, record.data());
    const TABSRecordKeyRef& key_ref = RecordIndexOf(*table, index_id).KeyRef();
    std::vector<uint8_t> key(static_cast<size_t>(key_ref.FullKeySize()));
    key_ref.BuildFullKey(record.data(), key.data());
    TABSScanSearchCondition& condition = conditions.Add();
    condition.op = op;
    condition.index_id = index_id;
    condition.SetKey(key.data(), static_cast<int32_t>(key.size()));
  }

  TABSCursorState cursor;
  TABSTableData* table = nullptr;
  std::vector<uint8_t> buffer;
  int32_t index_id = -1;
};

BenchTable& Table() {
  static BenchTable table;
  return table;
}

void ReadFilteredSet(benchmark::State& state, bool with_conditions, bool index_order) {
  BenchTable& bench = Table();
  TABSCursorState cursor;
  std::vector<uint8_t> buffer(bench.buffer.size());
  cursor.record_buffer = buffer.data();
  cursor.index_id = index_order ? bench.index_id : -1;
  cursor.filter = [&](const uint8_t* record) {
    const int32_t a = bench.A(record);
    return a >= kLow && a < kHigh;
  };
  if (with_conditions) {
    bench.AddCondition(cursor.scan_conditions, TABSScanOperator::GreaterOrEqual, kLow);
    bench.AddCondition(cursor.scan_conditions, TABSScanOperator::Less, kHigh);
  }
  int64_t rows = 0;
  for (auto _ : state) {
    cursor.FilterChanged();
    rows = 0;
    for (auto where = TABSNavigateTo::First;
         bench.table->NavigateRecord(cursor, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      ++rows;
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_RangeThroughPlanner(benchmark::State& state) {
  ReadFilteredSet(state, true, false);
}
void BM_RangeThroughPlannerInIndexOrder(benchmark::State& state) {
  ReadFilteredSet(state, true, true);
}
void BM_RangeByFullWalk(benchmark::State& state) {
  ReadFilteredSet(state, false, false);
}
void BM_RangeByFullWalkInIndexOrder(benchmark::State& state) {
  ReadFilteredSet(state, false, true);
}
BENCHMARK(BM_RangeThroughPlanner)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RangeThroughPlannerInIndexOrder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RangeByFullWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RangeByFullWalkInIndexOrder)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tabshift
