// The converter's staging loop on the table component: Append, ten mixed field values and Post
// on a memory table with one index, then reading every row back with First, Next and the
// field getters. Reports rows per second each way and the peak memory: the engine's bytes in
// use and the process's resident peak.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "engine/access/ABSMainTable.h"
#include "engine/core/ABSMemory.h"

namespace tabshift {
namespace {

// The process's peak resident set in MB, from the kernel's process status.
double PeakResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

void DefineFields(TFieldDefs& defs) {
  defs.Add("ID", ftInteger);
  defs.Add("CODE", ftString, 10);
  defs.Add("NAME", ftString, 40);
  defs.Add("QTY", ftSmallint);
  defs.Add("TOTAL", ftLargeint);
  defs.Add("PRICE", ftFloat);
  defs.Add("DAY", ftDate);
  defs.Add("FLAG", ftBoolean);
  defs.Add("RAW", ftBytes, 8);
  defs.Add("STAMP", ftDateTime);
}

class BenchTable {
 public:
  explicit BenchTable(const std::string& name) {
    table.SetDatabaseName("MEMORY");
    table.SetTableName(name);
    DefineFields(table.FieldDefs());
    table.CreateTable();
    table.AddIndex("ByID", "ID");
    table.Open();
    for (int i = 0; i < table.FieldCount(); ++i)
      fields[static_cast<size_t>(i)] = &table.Fields()[i];
  }
  ~BenchTable() {
    table.Close();
    table.DeleteTable();
  }

  // Appends rows; returns the engine's peak bytes in use over the appends.
  int64_t Append(int32_t rows) {
    int64_t peak = MemoryManager().BytesInUse();
    const std::string name(38, 'n');
    std::vector<std::string> codes;
    for (int i = 0; i < 1000; ++i) codes.push_back(std::to_string(1000000 + i));
    std::array<uint8_t, 8> raw{};
    for (int32_t i = 0; i < rows; ++i) {
      table.Append();
      fields[0]->SetAsInteger(i);
      fields[1]->SetAsString(codes[static_cast<size_t>(i % 1000)]);
      fields[2]->SetAsString(name);
      fields[3]->SetAsInteger(i % 30000);
      fields[4]->SetAsLargeInt(int64_t{i} * 1000003);
      fields[5]->SetAsFloat(i * 0.01);
      fields[6]->SetAsDateTime(40000 + i % 3650);
      fields[7]->SetAsBoolean((i & 1) != 0);
      raw[0] = static_cast<uint8_t>(i);
      fields[8]->SetData(raw.data());
      fields[9]->SetAsDateTime(40000.5 + i % 1000);
      table.Post();
      if (i % 10000 == 0) peak = std::max(peak, MemoryManager().BytesInUse());
    }
    return std::max(peak, MemoryManager().BytesInUse());
  }

  // Reads every field of every row; returns the rows read.
  int64_t ReadAll() {
    int64_t rows = 0;
    double sum = 0;
    std::array<uint8_t, 8> raw{};
    for (table.First(); !table.Eof(); table.Next()) {
      sum += fields[0]->AsInteger() + fields[3]->AsInteger() + fields[5]->AsFloat() +
             fields[6]->AsDateTime() + fields[9]->AsDateTime() +
             static_cast<double>(fields[4]->AsLargeInt()) + (fields[7]->AsBoolean() ? 1 : 0);
      sum += static_cast<double>(fields[1]->AsString().size() + fields[2]->AsString().size());
      fields[8]->GetData(raw.data());
      sum += raw[0];
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
    return rows;
  }

  TABSTable table;
  std::array<TField*, 10> fields{};
};

void BM_AppendTenFieldsAndPost(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  int64_t peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const int64_t before = MemoryManager().BytesInUse();
    {
      BenchTable bench("BENCH_APPEND");
      state.ResumeTiming();
      peak = bench.Append(rows) - before;
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["peak_engine_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
  state.counters["peak_process_MB"] = PeakResidentMegabytes();
}
BENCHMARK(BM_AppendTenFieldsAndPost)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ReadTenFieldsWithFirstNext(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  BenchTable bench("BENCH_READ");
  bench.Append(rows);
  for (auto _ : state) {
    if (bench.ReadAll() != rows) state.SkipWithError("rows missing");
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["peak_process_MB"] = PeakResidentMegabytes();
}
BENCHMARK(BM_ReadTenFieldsWithFirstNext)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tabshift
