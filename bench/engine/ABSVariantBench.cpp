// Cost of the value operations done on every row a table copy converts: comparing INTEGER,
// FLOAT and STRING(40) values and converting an INTEGER to text. The "allocs" counter gives
// heap allocations per operation, which should be 0 for values that fit the inline storage.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/access/ABSVariant.h"

namespace {

std::atomic<int64_t> allocations{0};

}  // namespace

// The replaced global operators pair malloc with free; GCC cannot see that through the
// benchmark library's inlined allocations.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
  std::free(memory);
}

namespace {

using tabshift::TABSVariant;

template <typename Operation>
void RunCountingAllocations(benchmark::State& state, Operation operation) {
  const int64_t before = allocations.load();
  for (auto _ : state) operation();
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations.load() - before),
                                                benchmark::Counter::kAvgIterations);
}

std::vector<TABSVariant> Integers() {
  std::vector<TABSVariant> values(1024);
  uint32_t seed = 1;
  for (TABSVariant& value : values) {
    seed = seed * 1103515245 + 12345;
    value.SetAsInteger(static_cast<int32_t>(seed));
  }
  return values;
}

void BM_CompareInteger(benchmark::State& state) {
  const auto values = Integers();
  size_t i = 0;
  RunCountingAllocations(state, [&] {
    benchmark::DoNotOptimize(values[i & 1023].Compare(values[(i + 1) & 1023]));
    ++i;
  });
}
BENCHMARK(BM_CompareInteger);

void BM_CompareFloat(benchmark::State& state) {
  std::vector<TABSVariant> values(1024);
  for (size_t i = 0; i < values.size(); ++i) values[i].SetAsFloat(static_cast<double>(i) * 0.37);
  size_t i = 0;
  RunCountingAllocations(state, [&] {
    benchmark::DoNotOptimize(values[i & 1023].Compare(values[(i + 7) & 1023]));
    ++i;
  });
}
BENCHMARK(BM_CompareFloat);

void BM_CompareString40(benchmark::State& state) {
  std::vector<TABSVariant> values(1024);
  uint32_t seed = 12345;
  for (TABSVariant& value : values) {
    std::string word;
    for (int j = 0; j < 40; ++j) {
      seed = seed * 1103515245 + 12345;
      word += static_cast<char>('a' + (seed >> 16) % 26);
    }
    value.SetAsString(word);
  }
  size_t i = 0;
  RunCountingAllocations(state, [&] {
    benchmark::DoNotOptimize(values[i & 1023].Compare(values[(i + 1) & 1023]));
    ++i;
  });
}
BENCHMARK(BM_CompareString40);

void BM_CompareIntegerWithFloat(benchmark::State& state) {
  TABSVariant left;
  left.SetAsInteger(5);
  TABSVariant right;
  right.SetAsFloat(5.5);
  RunCountingAllocations(state, [&] { benchmark::DoNotOptimize(left.Compare(right)); });
}
BENCHMARK(BM_CompareIntegerWithFloat);

void BM_ConvertBufferIntegerToString(benchmark::State& state) {
  const auto values = Integers();
  tabshift::TABSValueBuffer result;
  size_t i = 0;
  RunCountingAllocations(state, [&] {
    const TABSVariant& value = values[i++ & 1023];
    tabshift::ConvertBuffer(value.Buffer(), value.Size(), tabshift::bdtInteger, tabshift::bdtString,
                            result);
    benchmark::DoNotOptimize(result.Data());
  });
}
BENCHMARK(BM_ConvertBufferIntegerToString);

void BM_ConvertToIntegerToString(benchmark::State& state) {
  const auto values = Integers();
  size_t i = 0;
  RunCountingAllocations(state, [&] {
    TABSVariant value = values[i++ & 1023];
    value.ConvertTo(tabshift::bdtString);
    benchmark::DoNotOptimize(value.Buffer());
  });
}
BENCHMARK(BM_ConvertToIntegerToString);

}  // namespace
