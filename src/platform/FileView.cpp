#include "platform/FileView.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

namespace tabshift::platform {
namespace {

// A copy out of a view that is in progress on this thread: a bus error inside [begin, end)
// means the file shrank under the view, and the copy resumes at `resume` as a failed read.
struct GuardedCopy {
  sigjmp_buf resume;
  const char* begin;
  const char* end;
};

thread_local GuardedCopy* active_copy = nullptr;
struct sigaction earlier_bus_action {};

// Bus errors outside a guarded copy go to whatever handled them before; with no handler before,
// the earlier action is restored and the signal raised again, ending the process as it would
// have (a faulting access that returns here would fault again anyway).
void OnBusError(int signal, siginfo_t* info, void* context) {
  GuardedCopy* copy = active_copy;
  const char* address = static_cast<const char*>(info->si_addr);
  if (copy != nullptr && address >= copy->begin && address < copy->end) {
    active_copy = nullptr;
    siglongjmp(copy->resume, 1);
  }
  if ((earlier_bus_action.sa_flags & SA_SIGINFO) != 0 &&
      earlier_bus_action.sa_sigaction != nullptr) {
    earlier_bus_action.sa_sigaction(signal, info, context);
  } else if (earlier_bus_action.sa_handler != SIG_DFL && earlier_bus_action.sa_handler != SIG_IGN) {
    earlier_bus_action.sa_handler(signal);
  } else {
    sigaction(SIGBUS, &earlier_bus_action, nullptr);
    raise(signal);
  }
}

// SA_NODEFER keeps the signal unblocked in the handler, so jumping out of it needs no change
// of the signal mask afterwards (and no system call on the fast path to save one).
bool InstallBusErrorHandler() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    installed = sigaction(SIGBUS, &action, &earlier_bus_action) == 0;
  });
  return installed;
}

}  // namespace

FileView::~FileView() {
  Unmap();
}

bool FileView::Map(const File& file, uint64_t offset, size_t length) {
  Unmap();
  if (file.descriptor_ < 0 || length == 0 || !InstallBusErrorHandler()) return false;
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t aligned = offset - offset % page;
  const size_t total = static_cast<size_t>(offset - aligned) + length;
  void* base =
      mmap(nullptr, total, PROT_READ, MAP_SHARED, file.descriptor_, static_cast<off_t>(aligned));
  if (base == MAP_FAILED) return false;
  base_ = static_cast<char*>(base);
  mapped_length_ = total;
  base_offset_ = aligned;
  first_ = offset;
  end_ = offset + length;
  return true;
}

void FileView::Unmap() {
  if (base_ != nullptr) munmap(base_, mapped_length_);
  base_ = nullptr;
  mapped_length_ = 0;
  first_ = end_ = 0;
}

bool FileView::Read(uint64_t offset, void* buffer, size_t length) const {
  if (base_ == nullptr || offset < first_ || offset > end_ || length > end_ - offset) return false;
  const char* source = base_ + (offset - base_offset_);
  GuardedCopy copy;
  copy.begin = base_;
  copy.end = base_ + mapped_length_;
  if (sigsetjmp(copy.resume, 0) != 0) return false;
  active_copy = &copy;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(buffer, source, length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  active_copy = nullptr;
  return true;
}

}  // namespace tabshift::platform
