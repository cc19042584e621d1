// Cost of one locale-aware comparison of short 8-bit texts, the inner step of string index
// keys.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/Collation.h"

namespace {

std::vector<std::string> Words(size_t count, size_t length) {
  std::vector<std::string> words;
  uint32_t state = 12345;
  for (size_t i = 0; i < count; ++i) {
    std::string word;
    for (size_t j = 0; j < length; ++j) {
      state = state * 1103515245 + 12345;
      word += static_cast<char>('a' + (state >> 16) % 26);
    }
    words.push_back(word);
  }
  return words;
}

void BM_CompareAnsi(benchmark::State& state) {
  const auto words = Words(1024, static_cast<size_t>(state.range(0)));
  const bool ignore_case = state.range(1) != 0;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tabshift::platform::CompareAnsi(words[i & 1023], words[(i + 1) & 1023], ignore_case));
    ++i;
  }
}
BENCHMARK(BM_CompareAnsi)->Args({8, 0})->Args({40, 0})->Args({40, 1});

void BM_CompareAnsiCommonPrefix(benchmark::State& state) {
  const std::string left(40, 'k');
  std::string right = left;
  right.back() = 'm';
  for (auto _ : state) {
    benchmark::DoNotOptimize(tabshift::platform::CompareAnsi(left, right, false));
  }
}
BENCHMARK(BM_CompareAnsiCommonPrefix);

}  // namespace
