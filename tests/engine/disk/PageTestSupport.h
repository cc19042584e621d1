// Helpers shared by the page manager tests: expecting a coded engine error, and sizing the
// shared cache through the memory manager's limit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSMemory.h"

namespace tabshift::page_test {

inline void ExpectEngineError(const std::function<void()>& action, int32_t code,
                              const std::string& message = "") {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << code;
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), code) << error.Message();
    if (!message.empty()) {
      EXPECT_EQ(error.Message(), message);
    }
  }
}

// While alive, page managers created see `pages` × 65536 bytes of available memory, so that
// their cache holds that many pages.
class CacheCapacityScope {
 public:
  explicit CacheCapacityScope(int64_t pages) { MemoryManager().SetMemoryLimit(pages * 65536); }
  ~CacheCapacityScope() { MemoryManager().SetMemoryLimit(0); }
  CacheCapacityScope(const CacheCapacityScope&) = delete;
  CacheCapacityScope& operator=(const CacheCapacityScope&) = delete;
};

}  // namespace tabshift::page_test
