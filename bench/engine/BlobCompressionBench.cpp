// Throughput of compressed BLOBs: writing (compressing) and reading (decompressing) a 4 MB
// BLOB of text-like bytes through TABSCompressedBLOBStream with the field's default block
// size of 102400 bytes.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/core/ABSCompressedBLOBStream.h"
#include "engine/core/BlobTestData.h"

namespace {

using tabshift::TABSBLOBDescriptor;
using tabshift::TABSCompressedBLOBStream;
using tabshift::TABSMemoryStream;

constexpr size_t kBlobSize = 4 << 20;

TABSBLOBDescriptor Descriptor(benchmark::State& state) {
  TABSBLOBDescriptor descriptor;
  descriptor.block_size = 102400;
  descriptor.compression_algorithm = static_cast<uint8_t>(state.range(0));
  descriptor.compression_mode = static_cast<uint8_t>(state.range(1));
  return descriptor;
}

void BM_BlobWrite(benchmark::State& state) {
  const auto data = tabshift::testing::CompressibleBytes(kBlobSize);
  for (auto _ : state) {
    TABSMemoryStream stored(kBlobSize);
    TABSCompressedBLOBStream blob(stored, true, Descriptor(state));
    blob.Write(data.data(), data.size());
    benchmark::DoNotOptimize(stored.Size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBlobSize));
}
BENCHMARK(BM_BlobWrite)
    ->Args({1, 1})
    ->Args({1, 6})
    ->Args({2, 1})
    ->Args({2, 9})
    ->Unit(benchmark::kMillisecond);

void BM_BlobRead(benchmark::State& state) {
  const auto data = tabshift::testing::CompressibleBytes(kBlobSize);
  TABSMemoryStream stored(kBlobSize);
  TABSBLOBDescriptor descriptor;
  {
    TABSCompressedBLOBStream blob(stored, true, Descriptor(state));
    blob.Write(data.data(), data.size());
    descriptor = blob.Descriptor();
  }
  std::vector<uint8_t> buffer(65536);
  for (auto _ : state) {
    TABSCompressedBLOBStream blob(stored, false, descriptor);
    while (blob.Read(buffer.data(), buffer.size()) > 0) {
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBlobSize));
}
BENCHMARK(BM_BlobRead)->Args({1, 1})->Args({2, 1})->Args({2, 9})->Unit(benchmark::kMillisecond);

}  // namespace
