// Inserting keys into a record index over the memory engine's page manager: INTEGER keys in
// ascending and in random order, and STRING(40) keys under the locale collation.
#include <benchmark/benchmark.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

constexpr int32_t kSession = 0;
constexpr int32_t kRecordOffset = 1;  // one null bitmap byte

// Records live in a vector indexed by the page part of the record id.
class BenchTable : public TABSIndexTableAccess {
 public:
  bool ReadRecordBuffer(int32_t, const TABSRecordId& id, std::vector<uint8_t>& record) override {
    record = records[id.page_no];
    return true;
  }
  std::vector<std::vector<uint8_t>> records;
};

TABSIndexDescription OneColumn(BaseDataType type, int32_t buffer_size) {
  TABSIndexDescription description;
  TABSIndexColumnInfo column;
  column.field_name = "K";
  column.base_type = type;
  column.buffer_offset = kRecordOffset;
  column.buffer_size = buffer_size;
  description.columns = {column};
  return description;
}

void InsertAll(benchmark::State& state, BenchTable& table, TABSIndexDescription description) {
  for (auto _ : state) {
    TABSMemoryPageManager pages;
    TABSBTreeRecordIndex index(pages, table, description);
    index.BuildIndex(kSession, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
    for (size_t i = 0; i < table.records.size(); ++i) {
      index.InsertKey(kSession, table.records[i], {static_cast<int32_t>(i), 0});
    }
    pages.CommitSessionPages(kSession);
    state.PauseTiming();
    state.counters["depth"] = index.Depth(kSession);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(table.records.size()));
}

void IntegerKeys(benchmark::State& state, bool shuffled) {
  const int32_t count = static_cast<int32_t>(state.range(0));
  std::vector<int32_t> keys(count);
  std::iota(keys.begin(), keys.end(), 0);
  if (shuffled) std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
  BenchTable table;
  for (int32_t key : keys) {
    std::vector<uint8_t> record(kRecordOffset + 4, 0);
    std::memcpy(&record[kRecordOffset], &key, 4);
    table.records.push_back(std::move(record));
  }
  InsertAll(state, table, OneColumn(bdtInteger, 4));
}

void BM_InsertAscendingInteger(benchmark::State& state) {
  IntegerKeys(state, false);
}
BENCHMARK(BM_InsertAscendingInteger)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_InsertRandomInteger(benchmark::State& state) {
  IntegerKeys(state, true);
}
BENCHMARK(BM_InsertRandomInteger)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Random words of 8 to 40 letters of mixed case; about one in a thousand shares its first 20
// characters with another, which the index settles by reading both records.
void BM_InsertString40(benchmark::State& state) {
  std::mt19937 random(7);
  BenchTable table;
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int64_t i = 0; i < state.range(0); ++i) {
    std::vector<uint8_t> record(kRecordOffset + 41, 0);
    const size_t length = 8 + random() % 33;
    for (size_t c = 0; c < length; ++c) record[kRecordOffset + c] = kLetters[random() % 52];
    if (i % 1000 == 1)
      std::memcpy(&record[kRecordOffset], &table.records[i - 1][kRecordOffset], 20);
    table.records.push_back(std::move(record));
  }
  InsertAll(state, table, OneColumn(bdtString, 41));
}
BENCHMARK(BM_InsertString40)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tabshift
