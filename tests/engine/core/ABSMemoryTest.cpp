#include "engine/core/ABSMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

class MemoryManagerTest : public ::testing::Test {
 protected:
  TABSMemoryManager manager_;
};

TEST_F(MemoryManagerTest, BlockKnowsItsSizeAndIsCounted) {
  void* block = manager_.Allocate(100);
  EXPECT_EQ(manager_.SizeOf(block), 100u);
  EXPECT_EQ(manager_.BytesInUse(), 100);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u);
  manager_.Free(block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(manager_.BytesInUse(), 0);
  EXPECT_EQ(manager_.SizeOf(nullptr), 0u);
  manager_.Free(block);  // null is accepted
}

TEST_F(MemoryManagerTest, AllocateZeroedClearsEveryByte) {
  auto* block = static_cast<uint8_t*>(manager_.AllocateZeroed(333));
  EXPECT_EQ(std::count(block, block + 333, 0), 333);
  manager_.Free(block);
}

TEST_F(MemoryManagerTest, OverrunIsReportedAtFreeAfterTheBlockIsCountedOff) {
  void* other = manager_.Allocate(8);  // stays in use: the counter must fall back to exactly 8
  auto* block = static_cast<uint8_t*>(manager_.Allocate(50));
  block[50] = 0;  // one byte past the end, inside the trailing guard
  EXPECT_ENGINE_ERROR(manager_.Free(block), 30137, "Memory overrun detected - Native error: 30137");
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(manager_.BytesInUse(), 8);
  manager_.Free(other);
}

TEST_F(MemoryManagerTest, ForeignPointerIsRefusedWithoutTouchingTheHeap) {
  // Memory that never came from the manager; freeing it would upset the heap and the
  // sanitizer.
  std::vector<uint8_t> foreign(64, 0);
  void* pointer = foreign.data() + 32;
  EXPECT_ENGINE_ERROR(manager_.Free(pointer), 30001, "Invalid pointer - Native error: 30001");
  EXPECT_EQ(pointer, foreign.data() + 32);
  EXPECT_ENGINE_ERROR(manager_.SizeOf(pointer), 30005, "Invalid pointer - Native error: 30005");
  EXPECT_ENGINE_ERROR(manager_.Reallocate(pointer, 10), 30014,
                      "ReallocMem error: Invalid pointer - Native error: 30002 - Native error: "
                      "30014");
  EXPECT_EQ(pointer, foreign.data() + 32);
  EXPECT_EQ(manager_.BytesInUse(), 0);
}

TEST_F(MemoryManagerTest, OverwrittenLeadingGuardIsRefused) {
  auto* block = static_cast<uint8_t*>(manager_.Allocate(16));
  const uint8_t saved = block[-1];
  block[-1] ^= 0xFF;
  void* raw = block;
  EXPECT_ENGINE_CODE(manager_.Free(raw), 30001);
  EXPECT_EQ(manager_.BytesInUse(), 16);
  block[-1] = saved;
  manager_.Free(block);
}

TEST_F(MemoryManagerTest, LimitIsEnforced) {
  manager_.SetMemoryLimit(1000);
  void* first = manager_.Allocate(900);
  EXPECT_ENGINE_ERROR(manager_.Allocate(200), 30004,
                      "Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004");
  EXPECT_EQ(manager_.BytesInUse(), 900);
  void* second = manager_.Allocate(100);
  EXPECT_EQ(manager_.BytesInUse(), 1000);
  EXPECT_LE(manager_.AvailableMemory(), 1000u);
  manager_.Free(first);
  manager_.Free(second);
  manager_.SetMemoryLimit(0);
  void* large = manager_.Allocate(5000);
  manager_.Free(large);
}

TEST_F(MemoryManagerTest, ImpossibleRequestsFail) {
  EXPECT_ENGINE_ERROR(manager_.Allocate(0), 30286, "Cannot allocate 0 bytes - Native error: 30286");
  EXPECT_ENGINE_ERROR(manager_.Allocate(size_t(1) << 40), 30015,
                      "GetMem error: Out of memory - Native error: 30015");
  EXPECT_EQ(manager_.BytesInUse(), 0);
}

TEST_F(MemoryManagerTest, ReallocateKeepsContentsAndZeroFillsGrowth) {
  auto* block = static_cast<uint8_t*>(manager_.Allocate(10));
  for (int i = 0; i < 10; ++i) block[i] = static_cast<uint8_t>(i + 1);
  manager_.Reallocate(block, 20, true);
  EXPECT_EQ(manager_.SizeOf(block), 20u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(block[i], i + 1);
  for (int i = 10; i < 20; ++i) EXPECT_EQ(block[i], 0);
  manager_.Reallocate(block, 4);
  EXPECT_EQ(manager_.SizeOf(block), 4u);
  EXPECT_EQ(block[3], 4);
  EXPECT_EQ(manager_.BytesInUse(), 4);
  manager_.Free(block);

  uint8_t* fresh = nullptr;
  manager_.Reallocate(fresh, 7, true);
  EXPECT_EQ(manager_.SizeOf(fresh), 7u);
  EXPECT_EQ(fresh[6], 0);
  manager_.Free(fresh);
}

// Blocks this large live in their own mapping, which the heap may move or extend in place.
TEST_F(MemoryManagerTest, ReallocateKeepsLargeBlocksWhetherMovedOrExtended) {
  constexpr size_t kStart = 300000;
  auto* block = static_cast<uint8_t*>(manager_.Allocate(kStart));
  for (size_t i = 0; i < kStart; ++i) block[i] = static_cast<uint8_t>(i * 31 + i / 977);
  for (size_t size : {size_t{3000000}, size_t{9000000}, size_t{100000}}) {
    const size_t kept = std::min(size, kStart);
    manager_.Reallocate(block, size, true);
    ASSERT_EQ(manager_.SizeOf(block), size);
    EXPECT_EQ(manager_.BytesInUse(), static_cast<int64_t>(size));
    for (size_t i = 0; i < kept; ++i) {
      ASSERT_EQ(block[i], static_cast<uint8_t>(i * 31 + i / 977)) << i;
    }
    for (size_t i = kept; i < size; i += 4099) ASSERT_EQ(block[i], 0) << i;
  }
  manager_.Free(block);
  EXPECT_EQ(manager_.BytesInUse(), 0);
}

TEST_F(MemoryManagerTest, ReallocateReportsAnOverrunOfTheOldBlockButKeepsTheNewOne) {
  auto* block = static_cast<uint8_t*>(manager_.Allocate(10));
  std::memset(block, 7, 11);
  EXPECT_ENGINE_ERROR(
      manager_.Reallocate(block, 30), 30014,
      "ReallocMem error: Memory overrun detected - Native error: 30137 - Native error: 30014");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(manager_.SizeOf(block), 30u);
  EXPECT_EQ(block[9], 7);
  EXPECT_EQ(manager_.BytesInUse(), 30);
  manager_.Free(block);
}

TEST_F(MemoryManagerTest, ReallocateBeyondTheLimitLeavesTheBlock) {
  manager_.SetMemoryLimit(100);
  void* block = manager_.Allocate(60);
  EXPECT_ENGINE_CODE(manager_.Reallocate(block, 50), 30014);
  EXPECT_EQ(manager_.SizeOf(block), 60u);
  manager_.Free(block);
  EXPECT_EQ(manager_.BytesInUse(), 0);
}

TEST_F(MemoryManagerTest, AvailableMemoryComesFromTheSystem) {
  const uint64_t available = manager_.AvailableMemory();
  EXPECT_GT(available, 0u);
  EXPECT_EQ(manager_.LastAvailableMemory(), available);
}

TEST_F(MemoryManagerTest, CounterStaysRightUnderConcurrentUse) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 2000; ++i) {
        void* block = manager_.Allocate(static_cast<size_t>(1 + (i * 7 + t) % 300));
        manager_.Free(block);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(manager_.BytesInUse(), 0);
}

TEST(MemoryBlockTest, OwnsAndResizesABlockOfTheProcessManager) {
  const int64_t before = MemoryManager().BytesInUse();
  {
    TABSMemoryBlock block(16, true);
    EXPECT_EQ(block.size(), 16u);
    block.data()[15] = 9;
    block.Resize(32, true);
    EXPECT_EQ(block.data()[15], 9);
    EXPECT_EQ(block.data()[31], 0);
    TABSMemoryBlock moved = std::move(block);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(MemoryManager().BytesInUse(), before + 32);
    void* released = moved.Release();
    EXPECT_TRUE(moved.empty());
    TABSMemoryBlock adopted = TABSMemoryBlock::Adopt(released);
    EXPECT_EQ(adopted.size(), 32u);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

TEST(MemoryAllocatorTest, StandardContainersTakeTheirStorageFromTheManager) {
  const int64_t before = MemoryManager().BytesInUse();
  {
    std::vector<int64_t, TABSAllocator<int64_t>> values;
    for (int64_t i = 0; i < 1000; ++i) values.push_back(i);
    EXPECT_GE(MemoryManager().BytesInUse(), before + 8000);
    EXPECT_EQ(values[999], 999);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

}  // namespace
}  // namespace tabshift
