// Fetching, changing and committing pages through the memory engine's page manager.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

constexpr uint8_t kAny = page_header::kAnyPageType;

std::vector<int32_t> AddCommitted(TABSPageManager& manager, int count) {
  std::vector<int32_t> pages;
  for (int i = 0; i < count; ++i) {
    TABSPage* page = manager.AddPage(0, 12);
    pages.push_back(page->PageNo());
    manager.ReleasePage(page);
  }
  manager.CommitSessionPages(0);
  return pages;
}

// Pages fetched and released in a cycle; with more pages than the cache holds, every fetch
// reads its page again and every release evicts one.
void BM_FetchRelease(benchmark::State& state) {
  TABSMemoryPageManager manager;
  const std::vector<int32_t> pages = AddCommitted(manager, static_cast<int>(state.range(0)));
  size_t next = 0;
  for (auto _ : state) {
    TABSPage* page = manager.GetPage(0, pages[next], false, kAny);
    benchmark::DoNotOptimize(page->Data()[0]);
    manager.ReleasePage(page);
    next = next + 1 == pages.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["cache"] = manager.CacheCapacity();
}
BENCHMARK(BM_FetchRelease)->Arg(500)->Arg(5000);

// A transaction that changes 100 of 1000 pages and commits.
void BM_ChangeAndCommit(benchmark::State& state) {
  TABSMemoryPageManager manager;
  const std::vector<int32_t> pages = AddCommitted(manager, 1000);
  uint8_t value = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < pages.size(); i += 10) {
      TABSPage* page = manager.GetPage(0, pages[i], false, kAny);
      page->Data()[0] = ++value;
      page->SetDirty(true);
      manager.ReleasePage(page);
    }
    manager.CommitSessionPages(0);
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ChangeAndCommit);

}  // namespace
}  // namespace tabshift
