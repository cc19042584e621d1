// Reading speed of the Udb reader: every field of every record of the generated 1,000,000-row
// table of 100-byte records, in Share mode (a table-lock round trip per record) and in Exclusive
// mode; the cost of the byte-lock round trip that bounds Share mode; and the decoding throughput
// of the password cipher.
#include <benchmark/benchmark.h>

#include <random>

#include "SyntheticSet.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "udb/Crypts.h"
#include "udb/Udb.h"
#include "udb/UdbFormat.h"

namespace {

using namespace tabshift::udb;
using namespace tabshift::udbgen;

constexpr uint32_t kRows = 1000000;

const std::string& SampleFile() {
  static const std::string path = [] {
    const std::string file = tabshift::platform::TemporaryDirectory() + "udb_read_bench.udb";
    SyntheticOptions options;
    options.rows = kRows;
    options.tables = 1;
    options.password = "bench";
    WriteSyntheticFile(file, options);
    return file;
  }();
  return path;
}

void ReadAll(benchmark::State& state, TOpenMode mode) {
  const std::string& path = SampleFile();
  for (auto _ : state) {
    TUdbFile file(nullptr);
    file.SetAlias("bench");
    file.SetFileName(path);
    file.SetMode(mode);
    file.SetPassword("bench");
    file.Open();
    std::unique_ptr<TUdbTable> table(OpenUdbTable("bench", "ITEMS", true));
    int64_t sum = 0;
    const int fields = table->FieldCount();
    while (table->FetchNext()) {
      for (int f = 0; f < fields; ++f) {
        TUdbField& field = table->Fields(f);
        if (field.FieldType() == 5) {
          sum += static_cast<int64_t>(field.AsString().size());
        } else if (field.FieldType() == 3) {
          sum += static_cast<int64_t>(field.AsFloat());
        } else {
          sum += field.AsLargeint();
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kRows,
                                                benchmark::Counter::kIsRate);
}

void BM_ReadShare(benchmark::State& state) {
  ReadAll(state, TOpenMode::Share);
}
void BM_ReadExclusive(benchmark::State& state) {
  ReadAll(state, TOpenMode::Exclusive);
}

// Share mode takes and releases the table's lock byte once per record (and once more per page
// load); this is that round trip alone, the floor under the Share-mode time per record.
void BM_LockRoundTrip(benchmark::State& state) {
  tabshift::platform::File file;
  if (!file.Open(SampleFile(), tabshift::platform::FileAccess::ReadWrite,
                 tabshift::platform::FileShare::ReadWrite,
                 tabshift::platform::FileCreation::OpenExisting)) {
    state.SkipWithError("cannot open the sample file");
    return;
  }
  const uint64_t table_lock = tabshift::udb::low::kTableLockBase;
  for (auto _ : state) {
    if (!file.Lock(table_lock, 1) || !file.Unlock(table_lock, 1)) {
      state.SkipWithError("lock refused");
      break;
    }
  }
}

void BM_CipherDecode(benchmark::State& state) {
  CipherDecoder decoder;
  decoder.SetKey("benchmark password");
  std::vector<uint8_t> block(static_cast<size_t>(state.range(0)));
  std::mt19937 random(5);
  for (auto& byte : block) byte = static_cast<uint8_t>(random());
  for (auto _ : state) {
    decoder.Decode(block.data(), static_cast<uint32_t>(block.size()), 0);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_ReadShare)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadExclusive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LockRoundTrip);
BENCHMARK(BM_CipherDecode)->Arg(512)->Arg(4096)->Arg(49152);

}  // namespace
