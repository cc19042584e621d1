// Cost of encrypting and decrypting one page data area (4056 bytes of a 4096-byte page) per
// cipher id, with the key schedule cached across calls (EncryptPage/DecryptPage) and built
// afresh for every call, and of the page checksum. A round trip (encrypt, then decrypt) counts
// its page once in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/disk/ABSCipher.h"
#include "engine/disk/ABSDecUtil.h"

namespace {

constexpr size_t kDataAreaSize = 4056;
constexpr std::string_view kPassword = "benchmark password";

std::vector<uint8_t> Page() {
  std::vector<uint8_t> page(kDataAreaSize);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 31 + 7);
  return page;
}

void Label(benchmark::State& state) {
  state.SetLabel(std::string(tabshift::kCipherNames[static_cast<size_t>(state.range(0))]));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataAreaSize);
}

void BM_RoundTripCached(benchmark::State& state) {
  const int id = static_cast<int>(state.range(0));
  std::vector<uint8_t> page = Page();
  for (auto _ : state) {
    tabshift::EncryptPage(id, page.data(), page.size(), kPassword);
    tabshift::DecryptPage(id, page.data(), page.size(), kPassword);
    benchmark::DoNotOptimize(page.data());
  }
  Label(state);
}
BENCHMARK(BM_RoundTripCached)->DenseRange(0, tabshift::kCipherCount - 1);

void BM_RoundTripUncached(benchmark::State& state) {
  const int id = static_cast<int>(state.range(0));
  std::vector<uint8_t> page = Page();
  for (auto _ : state) {
    tabshift::CreateCipher(id, kPassword)->EncodeBuffer(page.data(), page.size());
    tabshift::CreateCipher(id, kPassword)->DecodeBuffer(page.data(), page.size());
    benchmark::DoNotOptimize(page.data());
  }
  Label(state);
}
BENCHMARK(BM_RoundTripUncached)->DenseRange(0, tabshift::kCipherCount - 1);

void BM_EncryptCached(benchmark::State& state) {
  const int id = static_cast<int>(state.range(0));
  std::vector<uint8_t> page = Page();
  for (auto _ : state) {
    tabshift::EncryptPage(id, page.data(), page.size(), kPassword);
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataAreaSize);
}
BENCHMARK(BM_EncryptCached)->Arg(0);

void BM_DecryptCached(benchmark::State& state) {
  const int id = static_cast<int>(state.range(0));
  std::vector<uint8_t> page = Page();
  for (auto _ : state) {
    tabshift::DecryptPage(id, page.data(), page.size(), kPassword);
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataAreaSize);
}
BENCHMARK(BM_DecryptCached)->Arg(0);

void BM_Crc32(benchmark::State& state) {
  const std::vector<uint8_t> page = Page();
  for (auto _ : state) benchmark::DoNotOptimize(tabshift::Crc32(page.data(), page.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataAreaSize);
}
BENCHMARK(BM_Crc32);

}  // namespace
