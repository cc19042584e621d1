// Cost of one allocation and free through the engine memory manager, against the plain heap.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "engine/core/ABSMemory.h"

namespace {

void BM_MemoryManagerAllocateFree(benchmark::State& state) {
  auto& manager = tabshift::MemoryManager();
  const auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* block = manager.Allocate(size);
    benchmark::DoNotOptimize(block);
    manager.Free(block);
  }
}
BENCHMARK(BM_MemoryManagerAllocateFree)->Arg(16)->Arg(256)->Arg(4096);

void BM_MemoryManagerWithLimitAllocateFree(benchmark::State& state) {
  tabshift::TABSMemoryManager manager;
  manager.SetMemoryLimit(int64_t(1) << 40);
  const auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* block = manager.Allocate(size);
    benchmark::DoNotOptimize(block);
    manager.Free(block);
  }
}
BENCHMARK(BM_MemoryManagerWithLimitAllocateFree)->Arg(256);

void BM_MallocFree(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* block = std::malloc(size);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}
BENCHMARK(BM_MallocFree)->Arg(16)->Arg(256)->Arg(4096);

}  // namespace
