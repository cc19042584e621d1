// A lock that the thread holding it may take again, as the engine's nested bookkeeping
// expects of its critical sections.
#pragma once

#include <mutex>

namespace tabshift::platform {

class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // For std::lock_guard and std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace tabshift::platform
